#include "text/profile_line.h"

#include <cstring>

#include "text/code_page.h"

namespace {

const int kEndMark = 0x1a;  // Ctrl-Z

// The length of the well-formed UTF-8 sequence of two to four bytes at `p`,
// with its code point in `codePoint`; 0 when `p` starts none: a stray or
// missing continuation byte, an overlong form, a surrogate, or a code point
// beyond U+10FFFF.
std::size_t decodeUtf8(const unsigned char* p, unsigned long& codePoint) {
    std::size_t length = p[0] >= 0xc2 && p[0] <= 0xdf   ? 2
                         : p[0] >= 0xe0 && p[0] <= 0xef ? 3
                         : p[0] >= 0xf0 && p[0] <= 0xf4 ? 4
                                                        : 0;
    if (length == 0) return 0;
    codePoint = p[0] & (0x3f >> (length - 1));
    for (std::size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xc0) != 0x80) return 0;  // the terminator stops it too
        codePoint = codePoint << 6 | (p[i] & 0x3f);
    }
    bool overlong = length > 2 && codePoint < (length == 3 ? 0x800ul : 0x10000ul);
    bool surrogate = codePoint >= 0xd800 && codePoint <= 0xdfff;
    return overlong || surrogate || codePoint > 0x10ffff ? 0 : length;
}

// Converts a UTF-8 text to the ANSI code page in place: a character takes
// no more bytes there than in UTF-8, so it never overtakes the text still to
// be read. Each byte that starts no well-formed sequence becomes '?', the
// same on every system.
void toAnsiCodePage(char* text) {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    char* out = text;
    while (*in != '\0') {
        unsigned long codePoint;
        std::size_t length = *in < 0x80 ? 1 : decodeUtf8(in, codePoint);
        if (length < 2) {  // ASCII as it stands, and '?' for a byte that starts nothing
            *out++ = length == 1 ? static_cast<char>(*in) : '?';
            ++in;
            continue;
        }
        out += ansiChar(codePoint, out);
        in += length;
    }
    *out = '\0';
}

}  // namespace

bool startProfileList(ProfileList& list) {
    unsigned char start[3];
    std::size_t read = std::fread(start, 1, sizeof start, list.file);
    // UTF-16 is not the 8-bit text the list is made of: refused, not taken apart at its NULs.
    if (read >= 2 && ((start[0] == 0xff && start[1] == 0xfe) || (start[0] == 0xfe && start[1] == 0xff))) {
        return false;
    }
    list.utf8 = read == 3 && std::memcmp(start, "\xef\xbb\xbf", 3) == 0;
    return list.utf8 || (!std::ferror(list.file) && std::fseek(list.file, 0, SEEK_SET) == 0);
}

ReadResult readProfileLine(ProfileList& list, QString& line, bool& blank) {
    std::size_t count = 0;      // characters kept so far
    bool blankPending = false;  // blanks stand between the text so far and its next character
    char* out = line.reserve(1);
    blank = false;

    int c = getcUnlocked(list.file);
    ReadResult result = c == EOF || c == kEndMark ? ReadResult::End : ReadResult::Line;
    for (;; c = getcUnlocked(list.file)) {
        if (c <= ' ') {  // every end, and every character that normalising changes
            if (c == EOF || c == '\n' || c == kEndMark) break;
            if (c == ' ' || c == '\t') {
                blankPending = count > 0;
                continue;
            }
            if (c == '\r') {
                if (count == 0) blank = true;
                continue;
            }
            if (c == '\0') {  // the text ends here; the rest of the line is skipped
                while ((c = getcUnlocked(list.file)) != EOF && c != '\n' && c != kEndMark) {
                }
                break;
            }
        }
        out = line.reserve(count + 3);
        if (blankPending) out[count++] = ' ';
        out[count++] = static_cast<char>(c);
        blankPending = false;
        // A UTF-8 byte-order mark (where two lists were joined with copy /b)
        // is no part of the line: at its start in any list, and anywhere in a
        // UTF-8 list, it reads as if it were not there, with the blank that it
        // brought out pending again. In a list of the ANSI code page no line
        // the program knows starts with those three bytes.
        if (c == 0xbf && (list.utf8 ? count >= 3 : count == 3) &&
            std::memcmp(out + count - 3, "\xef\xbb\xbf", 3) == 0) {
            count -= 3;
            blankPending = count > 0 && out[count - 1] == ' ';
            count -= blankPending ? 1 : 0;
        }
    }
    out[count] = '\0';
    if (list.utf8) toAnsiCodePage(out);
    // Windows' text mode ends a file at its first Ctrl-Z; the list ends there
    // on every system, and stays ended for the next call.
    if (c == kEndMark) std::ungetc(c, list.file);
    if (c == EOF && std::ferror(list.file)) return ReadResult::Error;
    return result;
}

bool cutLoneLeadByte(QString& line) {
    const char* text = line.c_str();
    std::size_t length = std::strlen(text);
    // The usual case, nothing to walk: no code page's lead byte is ASCII.
    char lastByte = length > 0 ? text[length - 1] : '\0';
    if (static_cast<unsigned char>(lastByte) < 0x80 || !isLeadByte(lastByte)) return false;
    const char* last = lastChar(text, text + length);
    if (!isLoneLeadByte(last)) return false;
    // Every character before the last is whole, and a blank is one of its
    // own: once it goes too, the line ends between two characters.
    const char* before = lastChar(text, last);
    line.cut(static_cast<std::size_t>((*before == ' ' ? before : last) - text));
    return true;
}

std::string_view splitKey(const QString& line) {
    const char* text = line.c_str();
    const char* p = text;
    while (*p != '\0' && *p != ':') p = nextChar(p);
    return std::string_view(text, static_cast<std::size_t>(p - text));
}

const char* splitValue(const QString& line) {
    const char* colon = line.c_str() + splitKey(line).size();
    if (*colon != ':') return "";
    return colon[1] == ' ' ? colon + 2 : colon + 1;
}
