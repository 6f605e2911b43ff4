// Profile-list bytes in, update-file bytes out, through the program's own
// reader and writer, once in Latin-1 and once in code page 932, where a
// character may take two bytes: the target is the platform's code page.
// Checks what must hold for every list, not only that nothing crashes; a
// property that does not hold aborts the run with its text.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "profile/update_file.h"
#include "text/code_page.h"
#include "text/profile_line.h"

bool codePage932 = false;  // else Latin-1, as the program has it on Linux

// Windows' lead bytes of code page 932, as IsDBCSLeadByte names them.
bool isLeadByte(char c) {
    unsigned char byte = static_cast<unsigned char>(c);
    return codePage932 && ((byte >= 0x81 && byte <= 0x9f) || (byte >= 0xe0 && byte <= 0xfc));
}

// In code page 932 only the half-width katakana, one byte each there; every
// other character as '?', as the program gives a character it cannot convert.
std::size_t ansiChar(unsigned long codePoint, char* out) {
    bool katakana = codePoint >= 0xff61 && codePoint <= 0xff9f;
    out[0] = static_cast<char>(!codePage932 ? (codePoint <= 0xff ? codePoint : '?')
                               : katakana   ? codePoint - 0xff61 + 0xa1
                                            : '?');
    return 1;
}

namespace {

void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

const char kPath[] = "HKEY_LOCAL_MACHINE\\Drv\\KYRO\\Game Settings";
const std::string kDummy = "\"UIDummyName\"=\"";

ProfileList open(const std::uint8_t* data, std::size_t size) {
    // fmemopen may refuse an empty buffer; an empty file reads the same.
    return {size > 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "r") : std::tmpfile(), false};
}

// The update file for the list, or "" when the list is refused at its start.
std::string translate(const std::uint8_t* data, std::size_t size, LeftOutLines& leftOut) {
    ProfileList list = open(data, size);
    char* bytes = nullptr;
    std::size_t length = 0;
    std::FILE* update = open_memstream(&bytes, &length);
    if (startProfileList(list)) {
        QString line;
        check(writeUpdateFile(list, update, line, kPath, leftOut) == WriteOutcome::Complete,
              "a list in memory reads whole");
    }
    std::fclose(update);
    std::fclose(list.file);
    std::string file(bytes, length);
    std::free(bytes);
    return file;
}

// Each line of the list: 'T' for a Typ line, 'a' for a line that must be
// written or noted (all but blank and empty lines, comments, Name and Date
// lines; a line of half a character counts), '-' for the others.
std::string lineKinds(const std::uint8_t* data, std::size_t size) {
    ProfileList list = open(data, size);
    std::string kinds;
    QString line;
    bool blank;
    for (startProfileList(list); readProfileLine(list, line, blank) == ReadResult::Line;) {
        bool cut = cutLoneLeadByte(line);
        char first = line.c_str()[0];
        std::string_view key = splitKey(line);
        bool said = blank || (first == '\0' && !cut) || first == ';' || first == '#' || key == "Name" ||
                    key == "Date";
        kinds += key == "Typ" ? 'T' : said ? '-' : 'a';
    }
    std::fclose(list.file);
    return kinds;
}

using Characters = std::vector<std::string_view>;
const std::size_t npos = std::string::npos;

// A line of the update file as the registry editor reads it in the code
// page: a lead byte and the byte after it are one character.
Characters characters(const std::string& line) {
    Characters result;
    for (std::size_t i = 0, n; i < line.size(); i += n) {
        n = isLeadByte(line[i]) && i + 1 < line.size() ? 2 : 1;
        result.push_back(std::string_view(line).substr(i, n));
    }
    return result;
}

// Past the quoted text that starts at character `from`: characters other
// than " and \, and the escapes \\ and \"; npos when there is none. `length`
// and `bytes` count what it holds once its escapes are read.
std::size_t quoted(const Characters& line, std::size_t from, std::size_t& length, std::size_t& bytes) {
    length = bytes = 0;
    if (from >= line.size() || line[from] != "\"") return npos;
    for (std::size_t i = from + 1; i < line.size(); ++i, ++length) {
        if (line[i] == "\"") return i + 1;
        if (line[i] == "\\" && (++i == line.size() || (line[i] != "\\" && line[i] != "\""))) break;
        bytes += line[i].size();
    }
    return npos;
}

// One string assignment that the registry editor reads whole and the
// registry holds: ("name" | @) [blank] = [blank] "data" [blank ; comment],
// the name of 1 to 255 characters, the data of at most 16,300 bytes.
bool assignment(const Characters& line) {
    std::size_t length = 0, bytes, unused;
    std::size_t i = line[0] == "@" ? 1 : quoted(line, 0, length, unused);
    if (i == npos || i == 2 || length > 255) return false;
    i += i < line.size() && line[i] == " ";
    if (i == line.size() || line[i++] != "=") return false;
    i = quoted(line, i + (i < line.size() && line[i] == " "), unused, bytes);
    bool end = i == line.size() || (i != npos && i + 1 < line.size() && line[i] == " " && line[i + 1] == ";");
    return end && bytes <= 16300;
}

// The rest of a key header after the settings key, <Typ>\<file name>]: a Typ
// of 1 to 30 parts and at most 255 characters, then a file name without any
// of "*<>?| or a control character; no part empty (the registry editor would
// fold it into the key above), longer than 255 characters or with a blank at
// either end.
bool ownKey(const Characters& rest) {
    std::vector<Characters> parts(1);
    for (std::string_view c : rest) {
        if (c == "\\") {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    Characters& name = parts.back();  // the file name, and the closing ]
    if (name.empty() || name.back() != "]" || parts.size() < 2 || parts.size() > 31) return false;
    name.pop_back();
    std::size_t typLength = parts.size() - 2;  // the backslashes between the Typ's parts
    for (const Characters& part : parts) {
        if (part.empty() || part.size() > 255 || part.front() == " " || part.back() == " ") return false;
        typLength += &part != &name ? part.size() : 0;
    }
    return typLength <= 255 && std::none_of(name.begin(), name.end(), [](std::string_view c) {
               return c.size() == 1 &&
                      (static_cast<unsigned char>(c[0]) < 0x20 || std::strchr("\"*<>?|", c[0]) != nullptr);
           });
}

void checkTranslation(const std::uint8_t* data, std::size_t size) {
    LeftOutLines leftOut;
    std::string file = translate(data, size, leftOut);
    bool utf16 = size >= 2 && ((data[0] == 0xff && data[1] == 0xfe) || (data[0] == 0xfe && data[1] == 0xff));
    check(utf16 != !file.empty(), "a list is refused exactly when it starts with a UTF-16 mark");
    if (file.empty()) return;
    check(file.rfind("REGEDIT4\n", 0) == 0, "the file starts with REGEDIT4 and a line end");
    check(file.back() == '\n', "the file ends with a line break");
    check(file.find('\0') == std::string::npos, "the file holds no NUL byte");

    std::vector<std::string> lines;  // after REGEDIT4, without their line breaks
    for (std::size_t start = 9; start < file.size(); start = file.find('\n', start) + 1) {
        lines.push_back(file.substr(start, file.find('\n', start) - start));
    }
    const std::string keyStart = std::string("[") + kPath + "\\";
    char previous = 'R';  // the first character of the line before: R for REGEDIT4
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        Characters text = characters(line);
        check(text.empty() || text.back().size() == 2 || !isLeadByte(line.back()),
              "every line ends between two characters");
        char first = line.empty() ? '\0' : line[0];
        if (first == '[') {
            check(line.rfind(keyStart, 0) == 0, "every key lies below the settings key");
            check(ownKey(Characters(text.begin() + keyStart.size(), text.end())),
                  "each game has a key of its own below its Typ");
            check(i + 1 < lines.size() && lines[i + 1].rfind(kDummy, 0) == 0,
                  "each key starts with the game's name");
        } else if (first == '"' || first == '@') {
            check(previous == '[' || previous == '"' || previous == '@',
                  "values only ever go into an open key");
            check(assignment(text),
                  "every value is one string assignment that the editor reads and the registry holds");
        } else {
            check(first == '\0' || first == ';', "every other line is empty or a game's comment");
        }
        previous = first;
    }

    // A line that must be accounted for is written (as a key header with its
    // UIDummyName line, or a value line) or noted, never both.
    if (leftOut.count() > LeftOutLines::kShown) return;  // the notes at hand are not all
    std::string kinds = lineKinds(data, size);
    std::size_t notedOthers = 0;
    for (const LeftOutLines::Note& note : leftOut) {
        char kind = note.number <= kinds.size() ? kinds[note.number - 1] : '\0';
        bool typ = note.reason == LeftOutReason::TypeUnused || note.reason == LeftOutReason::TypeTooLong;
        check(kind == (typ ? 'T' : 'a'), "a line noted is one to account for");
        notedOthers += kind == 'a';
    }
    std::size_t written = std::count_if(
        lines.begin(), lines.end(), [](const std::string& line) { return line[0] == '"' || line[0] == '@'; });
    check(notedOthers + written == static_cast<std::size_t>(std::count(kinds.begin(), kinds.end(), 'a')),
          "every line to account for is either written or noted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (bool japanese : {false, true}) {
        codePage932 = japanese;
        checkTranslation(data, size);
    }
    return 0;
}
