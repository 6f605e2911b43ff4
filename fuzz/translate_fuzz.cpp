// Profile-list bytes in, update-file bytes out, through the program's own
// reader and writer. Checks what must hold for every list, not only that
// nothing crashes.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "profile/update_file.h"
#include "text/profile_line.h"

namespace {

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
// lines), '-' for the others.
std::string lineKinds(const std::uint8_t* data, std::size_t size) {
    ProfileList list = open(data, size);
    std::string kinds;
    QString line;
    bool blank;
    for (startProfileList(list); readProfileLine(list, line, blank) == ReadResult::Line;) {
        std::string_view key = splitKey(line);
        bool said = blank || line.c_str()[0] == '\0' || line.c_str()[0] == ';' || line.c_str()[0] == '#' ||
                    key == "Name" || key == "Date";
        kinds += key == "Typ" ? 'T' : said ? '-' : 'a';
    }
    std::fclose(list.file);
    return kinds;
}

// Past the REGEDIT4 quoted text that starts at `from`: characters other than
// " and \, and the escapes \\ and \"; npos when there is none.
std::size_t quoted(const std::string& line, std::size_t from) {
    if (line[from] != '"') return std::string::npos;
    for (std::size_t i = from + 1; i < line.size(); ++i) {
        if (line[i] == '"') return i + 1;
        if (line[i] == '\\' && (++i == line.size() || (line[i] != '\\' && line[i] != '"'))) break;
    }
    return std::string::npos;
}

// One string assignment that the registry editor reads whole:
// ("name" | @) [blank] = [blank] "data" [blank ; comment], the name not empty.
bool assignment(const std::string& line) {
    std::size_t i = line[0] == '@' ? 1 : quoted(line, 0);
    if (i == std::string::npos || i == 2) return false;
    i += line[i] == ' ';
    if (line[i++] != '=') return false;
    i = quoted(line, i + (line[i] == ' '));
    return i == line.size() || (i != std::string::npos && line.compare(i, 2, " ;") == 0);
}

// The rest of a key header after the settings key, <Typ>\<Exe>]: two parts
// at least, none of them empty (the registry editor would fold it into the
// key above) or longer than the registry's 255 characters.
bool ownKey(const std::string& rest) {
    if (rest.empty() || rest.back() != ']') return false;
    std::size_t parts = 0;
    for (std::size_t start = 0, end; start < rest.size(); start = end + 1, ++parts) {
        end = std::min(rest.find('\\', start), rest.size() - 1);
        if (end == start || end - start > 255) return false;
    }
    return parts >= 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LeftOutLines leftOut;
    std::string file = translate(data, size, leftOut);
    bool utf16 = size >= 2 && ((data[0] == 0xff && data[1] == 0xfe) || (data[0] == 0xfe && data[1] == 0xff));
    check(utf16 != !file.empty(), "a list is refused exactly when it starts with a UTF-16 mark");
    if (file.empty()) return 0;
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
        char first = line.empty() ? '\0' : line[0];
        if (first == '[') {
            check(line.rfind(keyStart, 0) == 0, "every key lies below the settings key");
            check(ownKey(line.substr(keyStart.size())), "each game has a key of its own below its Typ");
            check(i + 1 < lines.size() && lines[i + 1].rfind(kDummy, 0) == 0,
                  "each key starts with the game's name");
        } else if (first == '"' || first == '@') {
            check(previous == '[' || previous == '"' || previous == '@',
                  "values only ever go into an open key");
            check(assignment(line), "every value is one string assignment that the editor reads whole");
        } else {
            check(first == '\0' || first == ';', "every other line is empty or a game's comment");
        }
        previous = first;
    }

    // A line that must be accounted for is written (as a key header with its
    // UIDummyName line, or a value line) or noted, never both.
    if (leftOut.count() > LeftOutLines::kShown) return 0;  // the notes at hand are not all
    std::string kinds = lineKinds(data, size);
    std::size_t notedOthers = 0;
    for (const LeftOutLines::Note& note : leftOut) {
        char kind = note.number <= kinds.size() ? kinds[note.number - 1] : '\0';
        check(kind == (note.reason == LeftOutReason::TypeUnused ? 'T' : 'a'), "a line noted is one to account for");
        notedOthers += kind == 'a';
    }
    std::size_t written = std::count_if(lines.begin(), lines.end(),
                                        [](const std::string& line) { return line[0] == '"' || line[0] == '@'; });
    check(notedOthers + written == static_cast<std::size_t>(std::count(kinds.begin(), kinds.end(), 'a')),
          "every line to account for is either written or noted");
    return 0;
}
