// Stands in for the Windows registry on Linux, where the tests run the
// program: the three calls answered from the machine hive of a Wine prefix,
// $WINEPREFIX/system.reg (or ~/.wine/system.reg). It reads only what the
// tests and the bundled example write there: a key written as a line of its
// own, and in it string, expandable string, dword and hex(1) values on one
// line each, strings in ASCII with the escapes \\, \", \n and \0. Anything
// else in the file is skipped; a value line it cannot read is a value that
// cannot be read.

#include "platform/registry.h"

#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

struct HKEY__ {
    std::string values;  // the key's lines, each ended by a line break
};

namespace {

bool startsWith(const std::string& text, std::size_t at, const char* prefix) {
    return text.compare(at, std::strlen(prefix), prefix) == 0;
}

// Where the line after the one at `at` starts; the end for the last line.
std::size_t nextLine(const std::string& text, std::size_t at) {
    std::size_t end = text.find('\n', at);
    return end == std::string::npos ? text.size() : end + 1;
}

// The machine hive's text; empty when there is none or it cannot be read.
std::string readHive() {
    const char* prefix = std::getenv("WINEPREFIX");
    const char* home = std::getenv("HOME");
    std::string path = prefix != nullptr && *prefix != '\0' ? std::string(prefix) + "/system.reg"
                       : home != nullptr                    ? std::string(home) + "/.wine/system.reg"
                                                            : std::string();
    std::string text;
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (file == nullptr) return text;
    for (int c; (c = std::getc(file)) != EOF;) text += static_cast<char>(c);
    if (std::ferror(file)) text.clear();
    std::fclose(file);
    return text;
}

// The data of a value line after its '=': the type, and the bytes as the A
// functions hand them out (8-bit strings with their terminator). False when
// the line is none of the forms read here.
bool parseData(const std::string& line, std::size_t at, DWORD& type, std::string& data) {
    if (startsWith(line, at, "dword:")) {  // as stored: four bytes, the lowest first, as on x86
        std::uint32_t number = static_cast<std::uint32_t>(std::strtoul(line.c_str() + at + 6, nullptr, 16));
        type = REG_DWORD;
        data.assign(reinterpret_cast<const char*>(&number), sizeof number);
        return true;
    }
    if (startsWith(line, at, "hex(1):")) {  // UTF-16LE, as stored, with or without a terminator
        type = REG_SZ;
        char* end;
        for (const char* p = line.c_str() + at + 7; *p != '\0'; p = *end == ',' ? end + 1 : end) {
            unsigned long low = std::strtoul(p, &end, 16);
            if (end == p || *end != ',') return false;
            unsigned long high = std::strtoul(end + 1, &end, 16);
            data += high == 0 ? static_cast<char>(low) : '?';
        }
        return true;
    }
    type = startsWith(line, at, "str(2):") ? REG_EXPAND_SZ : REG_SZ;
    if (type == REG_EXPAND_SZ) at += 7;
    if (line[at] != '"') return false;
    for (const char* p = line.c_str() + at + 1; *p != '\0'; ++p) {
        if (*p == '"') {
            data += '\0';  // Wine keeps the terminator with the data
            return true;
        }
        if (*p != '\\') {
            data += *p;
            continue;
        }
        if (*++p == '\0') return false;
        data += *p == 'n' ? '\n' : *p == '0' ? '\0' : *p;  // \\ and \" stand for themselves
    }
    return false;
}

}  // namespace

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    std::string hive = root == HKEY_LOCAL_MACHINE ? readHive() : std::string();
    if (!startsWith(hive, 0, "WINE REGISTRY Version 2\n")) return ERROR_FILE_NOT_FOUND;
    // The key's line: its path in brackets with each backslash doubled, then
    // a blank and its time. ASCII letters compare without regard to case.
    std::string header = "[";
    for (const char* c = subKey; *c != '\0'; ++c) header += *c == '\\' ? "\\\\" : std::string(1, *c);
    header += "] ";
    for (std::size_t line = 0; line < hive.size(); line = nextLine(hive, line)) {
        if (strncasecmp(hive.c_str() + line, header.c_str(), header.size()) != 0) continue;
        std::size_t start = nextLine(hive, line), end = start;
        while (end < hive.size() && hive[end] != '[') end = nextLine(hive, end);
        *result = new HKEY__{hive.substr(start, end - start)};
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    const std::string& lines = key->values;
    std::string name = std::string("\"") + valueName + "\"=";
    for (std::size_t at = 0; at < lines.size(); at = nextLine(lines, at)) {
        if (!startsWith(lines, at, name.c_str())) continue;
        std::string line = lines.substr(at, lines.find('\n', at) - at);
        std::string bytes;
        if (!parseData(line, name.size(), *type, bytes)) return ERROR_INVALID_DATA;
        DWORD room = *size;
        *size = static_cast<DWORD>(bytes.size());
        if (*size > room) return ERROR_MORE_DATA;
        std::memcpy(data, bytes.data(), bytes.size());
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY key) {
    delete key;
    return ERROR_SUCCESS;
}
