// Profile-list bytes in, update-file bytes out, through the program's own
// reader and writer, once in Latin-1 and once in code page 932, where a
// character may take two bytes: this target supplies the code page that
// text/code_page.h asks for. Checks properties that hold for every list,
// not only that nothing crashes; one that does not hold aborts the run with
// its text.

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

const char kSettingsKey[] = "HKEY_LOCAL_MACHINE\\Drv\\KYRO\\Game Settings";

// A text as the registry editor reads it: characters of the code page.
using Characters = std::vector<std::string_view>;
Characters characters(std::string_view text) {
    Characters result;
    for (std::size_t i = 0; i < text.size(); i += result.back().size()) {
        result.push_back(text.substr(i, isLeadByte(text[i]) && i + 1 < text.size() ? 2 : 1));
    }
    return result;
}

// Reads the REGEDIT4 quoted text whose opening quote is character `i` into
// `text`, its escapes \\ and \" read, and leaves `i` past its closing quote;
// false when the editor would not read it whole.
bool unquote(const Characters& line, std::size_t& i, std::string& text) {
    if (i >= line.size() || line[i] != "\"") return false;
    for (++i; i < line.size() && line[i] != "\""; ++i) {
        bool escape = line[i] == "\\";
        i += escape;
        if (escape && (i == line.size() || (line[i] != "\\" && line[i] != "\""))) return false;
        text += line[i];
    }
    return i++ < line.size();  // past the closing quote, when there is one
}

// ("name" | @) [blank] = [blank] "data" [blank ; comment]: one string
// assignment that the editor reads whole, the name of 1 to 255 characters
// and the data of at most 16,300 bytes, as the registry holds them.
bool assignment(const Characters& line, std::string& data) {
    std::string name;
    std::size_t i = line[0] == "@" ? 1 : 0;
    if (i == 0 && (!unquote(line, i, name) || name.empty() || characters(name).size() > 255)) return false;
    i += i < line.size() && line[i] == " ";
    if (i == line.size() || line[i++] != "=") return false;
    i += i < line.size() && line[i] == " ";
    if (!unquote(line, i, data) || data.size() > 16300) return false;
    return i == line.size() || (i + 1 < line.size() && line[i] == " " && line[i + 1] == ";");
}

// The key below the settings key, <Typ>\<file name>: a Typ of 1 to 30 parts
// and at most 255 characters, each part one the list's Typ lines hold, then
// a file name that an Exe line holds, with an extension and without any of
// "*<>?| or a control character. No part empty (the editor would fold it
// into the key above), over 255 characters, with a blank at either end, or
// holding a comment or a list (" ;", " #", ", ").
bool ownKey(const Characters& key, const std::string& typText, const std::string& exeText) {
    std::vector<std::string> parts(1);
    for (std::string_view c : key) {
        if (c == "\\") parts.emplace_back();
        if (c != "\\") parts.back() += c;
    }
    std::size_t typLength = 0;
    for (const std::string& part : parts) {
        Characters chars = characters(part);
        bool name = &part == &parts.back();
        typLength += name ? 0 : chars.size() + (&part != &parts[0]);
        if (chars.empty() || chars.size() > 255 || chars.front() == " " || chars.back() == " ") return false;
        if ((name ? exeText : typText).find(part) == std::string::npos) return false;
        bool dot = std::find(chars.begin() + 1, chars.end(), ".") != chars.end();
        if (name && (!dot || chars.back() == ".")) return false;  // a program's name has an extension
        for (std::size_t i = 0; i < chars.size(); ++i) {
            std::string_view c = chars[i], before = i > 0 ? chars[i - 1] : "";
            bool odd =
                c.size() == 1 && (static_cast<unsigned char>(c[0]) < 0x20 || std::strchr("\"*<>?|", c[0]));
            if ((name && odd) || (before == " " && (c == ";" || c == "#")) || (before == "," && c == " "))
                return false;
        }
    }
    return parts.size() >= 2 && parts.size() <= 31 && typLength <= 255;
}

void checkTranslation(const std::uint8_t* data, std::size_t size) {
    // The list as the reader gives it: which lines must go in or be noted
    // ('a': all but blank and empty lines, comments, Name, Typ and Date
    // lines; a line of half a character counts; 'N' and 'T' for Name and
    // Typ lines, which may be noted), and the text of its Typ and Exe lines,
    // which every key is made of.
    std::string kinds, typText, exeText;
    ProfileList list{fmemopen(const_cast<std::uint8_t*>(data), size, "r"), false};
    bool utf16 = !startProfileList(list);
    QString line;
    bool blank;
    while (!utf16 && readProfileLine(list, line, blank) == ReadResult::Line) {
        bool cut = cutLoneLeadByte(line);
        std::string_view key = splitKey(line);
        bool silent = blank || (line.empty() && !cut) || line[0] == ';' || line[0] == '#';
        kinds += key == "Typ" ? 'T' : key == "Name" ? 'N' : silent || key == "Date" ? '-' : 'a';
        if (key == "Typ") (typText += line) += '\n';
        if (key == "Exe") (exeText += line) += '\n';
    }
    std::fclose(list.file);
    check(utf16 ==
              (size >= 2 && (std::memcmp(data, "\xff\xfe", 2) == 0 || std::memcmp(data, "\xfe\xff", 2) == 0)),
          "a list is refused exactly when it starts with a UTF-16 mark");
    if (utf16) return;

    list.file = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    startProfileList(list);
    char* written = nullptr;
    std::size_t length = 0;
    std::FILE* update = open_memstream(&written, &length);
    LeftOutLines leftOut;
    check(writeUpdateFile(list, update, line, kSettingsKey, leftOut) == WriteOutcome::Complete,
          "a list in memory reads whole");
    std::fclose(update);
    std::fclose(list.file);
    std::string file(written, length);
    std::free(written);

    check(file.rfind("REGEDIT4\n", 0) == 0 && file.back() == '\n' && file.find('\0') == std::string::npos,
          "the file starts with REGEDIT4 and a line end, ends with a line break and holds no NUL");
    const std::string keyStart = std::string("[") + kSettingsKey + "\\";
    std::string name;        // of the game whose comment came last
    char previous = 'R';     // the first character of the line before: R for REGEDIT4
    std::size_t values = 0;  // lines written, the UIDummyName line of each key among them
    for (std::size_t start = 9, end; start < file.size(); start = end + 1) {
        end = file.find('\n', start);
        std::string_view text(file.data() + start, end - start);
        Characters chars = characters(text);
        check(chars.empty() || chars.back().size() == 2 || !isLeadByte(text.back()),
              "every line ends between two characters");
        char first = text.empty() ? '\0' : text[0];
        std::string data;
        bool assigns = (first == '"' || first == '@') && assignment(chars, data);
        check(previous != '[' || (assigns && text.rfind("\"UIDummyName\"=", 0) == 0 && data == name),
              "each key starts with its game's name");
        if (first == '[') {
            check(text.rfind(keyStart, 0) == 0 && text.back() == ']',
                  "every key lies below the settings key");
            check(ownKey(characters(text.substr(keyStart.size(), text.size() - keyStart.size() - 1)), typText,
                         exeText),
                  "each game has a key of its own below its Typ, made of its Typ and Exe lines");
        } else if (first == '"' || first == '@') {
            check(previous == '[' || previous == '"' || previous == '@',
                  "values only ever go into an open key");
            check(assigns, "every value is one string assignment that the registry holds");
            ++values;
        } else {
            check(first == '\0' || text.rfind("; ", 0) == 0, "every other line is empty or a game's comment");
            if (first == ';') name = text.substr(2);
        }
        previous = first;
    }
    check(previous != '[', "each key starts with its game's name");

    // A line that must be accounted for is written (as a key header with its
    // UIDummyName line, or a value line) or noted, never both.
    if (leftOut.count() > LeftOutLines::kShown) return;  // the notes at hand are not all
    std::size_t notedOthers = 0;
    for (const LeftOutLines::Note& note : leftOut) {
        char kind = note.number <= kinds.size() ? kinds[note.number - 1] : '\0';
        bool typ = note.reason == LeftOutReason::TypeUnused || note.reason == LeftOutReason::TypeTooLong;
        check(kind == 'a'   ? !typ
              : kind == 'T' ? typ || note.reason == LeftOutReason::CommentOrList
                            : kind == 'N' && note.reason == LeftOutReason::GameNameTooLong,
              "a line noted is one to account for, for a reason of its kind");
        notedOthers += kind == 'a';
    }
    check(notedOthers + values == static_cast<std::size_t>(std::count(kinds.begin(), kinds.end(), 'a')),
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
