#include "text/profile_line.h"

#include <cstring>

#include "platform/os.h"

namespace {

const int kEndMark = 0x1a;  // Ctrl-Z

}  // namespace

bool startProfileList(std::FILE* list) {
    unsigned char start[3];
    std::size_t read = std::fread(start, 1, sizeof start, list);
    // UTF-16 is not the 8-bit text the list is made of: refused, not taken apart at its NULs.
    if (read >= 2 && ((start[0] == 0xff && start[1] == 0xfe) || (start[0] == 0xfe && start[1] == 0xff))) {
        return false;
    }
    if (read == 3 && std::memcmp(start, "\xef\xbb\xbf", 3) == 0) return true;
    return !std::ferror(list) && std::fseek(list, 0, SEEK_SET) == 0;
}

ReadResult readProfileLine(std::FILE* list, QString& line, bool& blank) {
    std::size_t count = 0;  // characters kept so far
    bool space = false;     // blanks stand between the text so far and its next character
    char* out = line.reserve(1);
    blank = false;

    int c = getcUnlocked(list);
    ReadResult result = c == EOF || c == kEndMark ? ReadResult::End : ReadResult::Line;
    for (;; c = getcUnlocked(list)) {
        if (c <= ' ') {  // every end, and every character that normalising changes
            if (c == EOF || c == '\n' || c == kEndMark) break;
            if (c == ' ' || c == '\t') {
                space = count > 0;
                continue;
            }
            if (c == '\r') {
                if (count == 0) blank = true;
                continue;
            }
            if (c == '\0') {  // the text ends here; the rest of the line is skipped
                while ((c = getcUnlocked(list)) != EOF && c != '\n' && c != kEndMark) {
                }
                break;
            }
        }
        out = line.reserve(count + 3);
        if (space) out[count++] = ' ';
        out[count++] = static_cast<char>(c);
        space = false;
    }
    out[count] = '\0';
    // Windows' text mode ends a file at its first Ctrl-Z; the list ends there
    // on every system, and stays ended for the next call.
    if (c == kEndMark) std::ungetc(c, list);
    if (c == EOF && std::ferror(list)) return ReadResult::Error;
    return result;
}

std::string_view splitKey(const QString& line) {
    std::ptrdiff_t colon = line.find(':');
    return colon < 0 ? std::string_view(line.c_str()) : std::string_view(line.c_str(), colon);
}

const char* splitValue(const QString& line) {
    std::ptrdiff_t colon = line.find(':');
    if (colon < 0) return "";
    const char* value = line.c_str() + colon + 1;
    return *value == ' ' ? value + 1 : value;
}
