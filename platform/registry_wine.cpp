// The registry calls, answered from the machine hive that Wine keeps in
// $WINEPREFIX/system.reg (or ~/.wine/system.reg). Read-only: the file is
// read afresh at every open, and nothing is ever written back. Answers what
// the program asks: a key below HKEY_LOCAL_MACHINE, a named value into a
// buffer with its type and size.

#include "platform/registry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

struct HiveValue {
    std::u16string name;
    DWORD type;
    std::vector<unsigned char> data;  // as Wine stores it: strings in UTF-16LE
};

struct HKEY__ {
    std::vector<HiveValue> values;
};

namespace {

const char kFirstLine[] = "WINE REGISTRY Version 2";

// Names compare without regard to the case of ASCII letters: the program's
// names are ASCII.
char16_t fold(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool sameName(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

// The caller's 8-bit names, taken as Latin-1.
std::u16string widen(const char* text) {
    std::u16string wide;
    for (; *text != '\0'; ++text) wide += static_cast<unsigned char>(*text);
    return wide;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads up to `maxDigits` hexadecimal digits; false when there is none.
bool parseHex(const char*& p, const char* end, int maxDigits, DWORD& value) {
    int digits = 0;
    value = 0;
    while (digits < maxDigits && p < end && hexDigit(*p) >= 0) {
        value = value * 16 + static_cast<DWORD>(hexDigit(*p++));
        ++digits;
    }
    return digits > 0;
}

// One UTF-8 sequence. A byte that starts no valid sequence becomes U+FFFD,
// and so does a code point beyond U+FFFF: no 8-bit text holds either, and
// both reach the program as one '?'.
void decodeUtf8(const char*& p, const char* end, std::u16string& out) {
    unsigned char lead = static_cast<unsigned char>(*p++);
    if (lead < 0x80) {
        out += lead;
        return;
    }
    int more = lead >= 0xf0 && lead <= 0xf4 ? 3 : lead >= 0xe0 ? 2 : lead >= 0xc2 && lead < 0xe0 ? 1 : 0;
    if (more == 0 || lead > 0xf4 || end - p < more) {
        out += u'\xfffd';
        return;
    }
    std::uint32_t cp = lead & (0x3fu >> more);
    for (int i = 0; i < more; ++i) {
        unsigned char next = static_cast<unsigned char>(p[i]);
        if ((next & 0xc0) != 0x80) {
            out += u'\xfffd';
            return;
        }
        cp = (cp << 6) | (next & 0x3f);
    }
    static const std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < smallest[more] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) {
        out += u'\xfffd';
        return;
    }
    p += more;
    out += cp > 0xffff ? u'\xfffd' : static_cast<char16_t>(cp);
}

// A quoted text up to the unescaped `close`, which is consumed. False when the
// line ends first.
bool parseString(const char*& p, const char* end, char close, std::u16string& out) {
    while (p < end) {
        if (*p == close) {
            ++p;
            return true;
        }
        if (*p != '\\') {
            decodeUtf8(p, end, out);
            continue;
        }
        if (++p == end) return false;
        char escaped = *p++;
        switch (escaped) {
            case 'a': out += u'\a'; break;
            case 'b': out += u'\b'; break;
            case 'e': out += u'\x1b'; break;
            case 'f': out += u'\f'; break;
            case 'n': out += u'\n'; break;
            case 'r': out += u'\r'; break;
            case 't': out += u'\t'; break;
            case 'v': out += u'\v'; break;
            case 'x': {
                DWORD unit;
                if (parseHex(p, end, 4, unit)) {
                    out += static_cast<char16_t>(unit);
                } else {
                    out += u'x';
                }
                break;
            }
            default:
                if (escaped >= '0' && escaped <= '7') {
                    unsigned value = static_cast<unsigned>(escaped - '0');
                    for (int i = 1; i < 3 && p < end && *p >= '0' && *p <= '7'; ++i) {
                        value = value * 8 + static_cast<unsigned>(*p++ - '0');
                    }
                    out += static_cast<char16_t>(value);
                } else {
                    --p;  // the character stands for itself, whatever its length in UTF-8
                    decodeUtf8(p, end, out);
                }
        }
    }
    return false;
}

void skipBlanks(const char*& p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
}

bool startsWith(const char* p, const char* end, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    return static_cast<std::size_t>(end - p) >= n && std::memcmp(p, prefix, n) == 0;
}

std::vector<unsigned char> utf16le(const std::u16string& text) {
    std::vector<unsigned char> bytes;
    bytes.reserve(text.size() * 2 + 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xff));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    bytes.push_back(0);  // Wine keeps the terminator with the data
    bytes.push_back(0);
    return bytes;
}

// The hive file, line by line, with a CR before each line end dropped.
class Lines {
public:
    explicit Lines(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

    bool next(const char*& begin, const char*& end) {
        if (p_ == end_) return false;
        const char* newline = static_cast<const char*>(std::memchr(p_, '\n', end_ - p_));
        begin = p_;
        end = newline != nullptr ? newline : end_;
        p_ = newline != nullptr ? newline + 1 : end_;
        if (end > begin && end[-1] == '\r') --end;
        return true;
    }

private:
    const char* p_;
    const char* end_;
};

// A list of hexadecimal bytes, continued on the next line after a trailing
// backslash. False when it is malformed or still continued at the end of the file.
bool parseHexList(const char* p, const char* end, Lines& lines, std::vector<unsigned char>& data) {
    for (;;) {
        skipBlanks(p, end);
        if (p == end) return true;
        if (*p == '\\') {
            if (!lines.next(p, end)) return false;
            continue;
        }
        DWORD byte;
        if (!parseHex(p, end, 2, byte)) return false;
        data.push_back(static_cast<unsigned char>(byte));
        skipBlanks(p, end);
        if (p < end && *p == ',') ++p;
        else if (p < end && *p != '\\') return false;
    }
}

// The data after "name"=, in any of the forms wineserver writes.
bool parseData(const char* p, const char* end, Lines& lines, HiveValue& value) {
    DWORD number;
    std::u16string text;
    if (p == end) return false;
    if (*p == '"' || startsWith(p, end, "str:\"")) {
        p += *p == '"' ? 1 : 5;
        value.type = REG_SZ;
    } else if (startsWith(p, end, "str(")) {
        p += 4;
        if (!parseHex(p, end, 8, value.type) || !startsWith(p, end, "):\"")) return false;
        p += 3;
    } else if (startsWith(p, end, "dword:")) {
        p += 6;
        if (!parseHex(p, end, 8, number)) return false;
        value.type = REG_DWORD;
        for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<unsigned char>(number >> (8 * i)));
        return true;
    } else if (startsWith(p, end, "hex:")) {
        value.type = REG_BINARY;
        return parseHexList(p + 4, end, lines, value.data);
    } else if (startsWith(p, end, "hex(")) {
        p += 4;
        if (!parseHex(p, end, 8, value.type) || !startsWith(p, end, "):")) return false;
        return parseHexList(p + 2, end, lines, value.data);
    } else {
        return false;
    }
    if (!parseString(p, end, '"', text)) return false;
    value.data = utf16le(text);
    return true;
}

// Reads the whole file; false when it cannot be opened or read.
bool readFile(const std::string& path, std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char block[64 * 1024];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, n);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

std::string hivePath() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix != nullptr && *prefix != '\0') return std::string(prefix) + "/system.reg";
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return std::string(home) + "/.wine/system.reg";
    return std::string();
}

// Finds the key at `path` in the hive and collects its values. A key exists
// when it is written itself or when a key below it is.
bool findKey(std::string_view hive, const std::u16string& path, std::vector<HiveValue>& values) {
    Lines lines(hive);
    const char* begin;
    const char* end;
    if (!lines.next(begin, end) || std::string_view(begin, end - begin) != kFirstLine) return false;

    bool found = false;
    bool inKey = false;
    while (lines.next(begin, end)) {
        const char* p = begin;
        skipBlanks(p, end);
        if (p == end) continue;
        if (*p == '[') {
            std::u16string keyPath;
            ++p;
            inKey = parseString(p, end, ']', keyPath) && sameName(keyPath, path);
            if (inKey || (keyPath.size() > path.size() && keyPath[path.size()] == u'\\' &&
                          sameName(keyPath.substr(0, path.size()), path))) {
                found = true;
            }
        } else if (inKey && (*p == '"' || *p == '@')) {
            HiveValue value;  // '@' is the default value, whose name is empty
            if (*p++ == '"' && !parseString(p, end, '"', value.name)) continue;
            if (p == end || *p != '=' || !parseData(p + 1, end, lines, value)) continue;
            auto same = [&](const HiveValue& old) { return sameName(old.name, value.name); };
            auto old = std::find_if(values.begin(), values.end(), same);
            if (old != values.end()) {
                *old = value;  // a later line for the same name wins
            } else {
                values.push_back(value);
            }
        }
    }
    return found;
}

bool isString(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Wine's UTF-16 text as an 8-bit program sees it: what Latin-1 can hold as
// that byte, anything else as '?', a surrogate pair as one '?'.
std::vector<unsigned char> narrow(const std::vector<unsigned char>& utf16) {
    std::vector<unsigned char> bytes;
    std::size_t units = utf16.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        char16_t unit = static_cast<char16_t>(utf16[2 * i] | (utf16[2 * i + 1] << 8));
        if (unit >= 0xd800 && unit <= 0xdbff && i + 1 < units) {
            char16_t low = static_cast<char16_t>(utf16[2 * i + 2] | (utf16[2 * i + 3] << 8));
            if (low >= 0xdc00 && low <= 0xdfff) ++i;
        }
        bytes.push_back(unit <= 0xff ? static_cast<unsigned char>(unit) : '?');
    }
    return bytes;
}

}  // namespace

HKEY openHiveKey(std::string_view hive, LPCSTR path) {
    HKEY key = new HKEY__;
    if (findKey(hive, widen(path), key->values)) return key;
    delete key;
    return nullptr;
}

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    // Only the machine hive is at hand.
    std::string hive;
    std::string file = hivePath();
    if (root != HKEY_LOCAL_MACHINE || file.empty() || !readFile(file, hive)) return ERROR_FILE_NOT_FOUND;
    *result = openHiveKey(hive, subKey);
    return *result != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    std::u16string name = widen(valueName);
    for (const HiveValue& value : key->values) {
        if (!sameName(value.name, name)) continue;
        std::vector<unsigned char> bytes = isString(value.type) ? narrow(value.data) : value.data;
        DWORD room = *size;
        *type = value.type;
        *size = static_cast<DWORD>(bytes.size());
        if (*size > room) return ERROR_MORE_DATA;
        std::copy(bytes.begin(), bytes.end(), data);
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY key) {
    delete key;
    return ERROR_SUCCESS;
}
