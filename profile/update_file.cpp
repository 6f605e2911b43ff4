#include "profile/update_file.h"

#include <cstring>
#include <optional>

#include "profile/left_out.h"
#include "text/code_page.h"
#include "text/profile_line.h"

namespace {

// What the registry holds, on every Windows the KYRO drivers run on:
// characters in a key's name, and in a Typ's path below the settings key;
const std::size_t kKeyNameLimit = 255;
// keys below the settings key that one import may create (Typ parts and
// file name: with "Game Settings" itself, 32 levels in one call);
const std::size_t kNewKeyLevels = 31;
// characters in a value's name, and bytes of a string value, its terminator
// aside (Windows 98 and ME).
const std::size_t kValueNameLimit = 255;
const std::size_t kValueDataLimit = 16300;

// The registry editor reads the file as characters of the ANSI code page
// before it reads escapes and separators: so every walk below goes by
// nextChar, and a second byte never counts alone, whatever it looks like.

// REGEDIT4 string data: a backslash or double quote would otherwise end the
// string early or be taken for an escape.
void putQuoted(std::FILE* out, const char* text) {
    const char* run = text;  // what goes out as it stands
    const char* p = text;
    for (; *p != '\0'; p = nextChar(p)) {
        if (*p != '\\' && *p != '"') continue;
        std::fwrite(run, 1, static_cast<std::size_t>(p - run), out);
        std::putc('\\', out);
        run = p;  // the character itself goes out with the next run
    }
    std::fwrite(run, 1, static_cast<std::size_t>(p - run), out);
}

// The end of the REGEDIT4 quoted text whose opening quote is at `p`, past
// its closing quote; null when the registry editor would not read it whole.
// `characters` and `bytes` count the text once its escapes are read.
const char* skipQuoted(const char* p, std::size_t& characters, std::size_t& bytes) {
    characters = bytes = 0;
    std::size_t n;  // the bytes of the character at p: counted once, as the value lines are many
    for (p = nextChar(p); *p != '"'; p += n) {
        if (*p == '\0') return nullptr;
        if (*p == '\\') {  // an escape: the character after it stands for itself
            p = nextChar(p);
            if (*p != '\\' && *p != '"') return nullptr;
        }
        n = charLength(p);
        ++characters;
        bytes += n;
    }
    return p + 1;
}

// Whether a line is one REGEDIT4 string assignment that the registry editor
// reads whole, so that it can never swallow the lines after it:
//     ( "name" | @ ) [blank] = [blank] "data" [ blank ; comment ]
// with at least one character in the name, and in name and data characters
// other than " and \, or the escapes \\ and \". `nameCharacters` and
// `dataBytes` are what the registry would hold (0 characters for @).
bool isValueAssignment(const char* p, std::size_t& nameCharacters, std::size_t& dataBytes) {
    std::size_t unused;
    nameCharacters = 0;
    if (*p == '@') {
        ++p;
    } else if (*p == '"' && p[1] != '"') {
        p = skipQuoted(p, nameCharacters, unused);
        if (p == nullptr) return false;
    } else {
        return false;
    }
    if (*p == ' ') ++p;
    if (*p != '=') return false;
    ++p;
    if (*p == ' ') ++p;
    if (*p != '"') return false;
    p = skipQuoted(p, unused, dataBytes);
    return p != nullptr && (*p == '\0' || (p[0] == ' ' && p[1] == ';'));
}

// Why a value line, whose key (splitKey) is `key`, cannot go into the update
// file as it stands; nothing when it can: when it holds no colon (a typed
// value such as dword:, a drive letter, something the editor could take for
// a key), is one whole string assignment (isValueAssignment), and the
// registry holds its name and data as written.
std::optional<LeftOutReason> valueLineFault(const char* line, std::string_view key) {
    if (line[key.size()] == ':') return LeftOutReason::ValueColon;
    std::size_t nameCharacters, dataBytes;
    if (!isValueAssignment(line, nameCharacters, dataBytes)) return LeftOutReason::ValueNotWhole;
    if (nameCharacters > kValueNameLimit) return LeftOutReason::ValueNameTooLong;
    if (dataBytes > kValueDataLimit) return LeftOutReason::ValueDataTooLong;
    return std::nullopt;
}

// Whether a Typ or Exe line's value holds a comment or a list, where a
// user meant one name: it starts with ';' or '#', or holds a blank followed
// by one of them, or a comma followed by a blank.
bool holdsCommentOrList(const char* value) {
    // The usual value holds none of these bytes: nothing to walk.
    if (std::strpbrk(value, ";#,") == nullptr) return false;
    char before = ' ';  // the character before p when it is one byte; a blank before the first
    for (const char* p = value; *p != '\0'; p = nextChar(p)) {
        if ((before == ' ' && (*p == ';' || *p == '#')) || (before == ',' && *p == ' ')) return true;
        before = charLength(p) == 1 ? *p : '\0';
    }
    return false;
}

// Why a Typ line's value gives its game no type; nothing when it does, and
// then `type` is the key path it names below the settings key: its parts
// with one backslash between two, none empty (the editor would fold an empty
// part into the key above it), none with a blank at either end; empty when
// no part is left. It gives none when it holds a comment or a list, or when
// the path is longer than a key's name may be, or, with the file name below
// it, deeper than Windows makes keys in one go.
std::optional<LeftOutReason> typeLineFault(const char* value, QString& type) {
    if (holdsCommentOrList(value)) {
        type = "";
        return LeftOutReason::CommentOrList;
    }
    char path[2 * kKeyNameLimit + 1];  // its characters take up to two bytes each
    std::size_t length = 0;            // bytes in the path so far
    std::size_t characters = 0;
    std::size_t parts = 0;
    bool partOpen = false;      // a part has begun, and the next backslash ends it
    bool blankPending = false;  // a blank waits to go out before the part's next character
    for (const char* p = value; *p != '\0'; p = nextChar(p)) {
        if (*p == '\\') {  // the part ends, and a blank before it goes
            partOpen = blankPending = false;
            continue;
        }
        if (*p == ' ') {  // it goes out only when its part goes on
            blankPending = partOpen;
            continue;
        }
        // A backslash before a new part, or a blank inside one, goes out first.
        char before = !partOpen && parts > 0 ? '\\' : blankPending ? ' ' : '\0';
        characters += before != '\0' ? 2 : 1;
        if (characters > kKeyNameLimit) break;  // nothing written that does not fit
        if (before != '\0') path[length++] = before;
        path[length++] = p[0];
        if (charLength(p) == 2) path[length++] = p[1];
        if (!partOpen) ++parts;
        partOpen = true;
        blankPending = false;
    }
    std::optional<LeftOutReason> fault;
    if (characters > kKeyNameLimit || parts >= kNewKeyLevels) fault = LeftOutReason::TypeTooLong;
    path[fault ? 0 : length] = '\0';
    type = path;
    return fault;
}

// Whether a file name may hold the one-byte character `c`: Windows allows
// none of these, beside the separators '\', '/' and ':'.
bool allowedInFileName(char c) {
    return static_cast<unsigned char>(c) >= 0x20 && c != '"' && c != '*' && c != '<' && c != '>' &&
           c != '?' && c != '|';
}

// The program's file name that an Exe line's value names its key by: the
// text after its last '\', '/' or ':', less the blanks at its ends and the
// '\' and '/' at the value's end. Empty when that is no name a Windows
// program can have: nothing, more than a file name may hold, a name without
// an extension (no dot after its first character, or one at its end, which
// Windows drops), or with '"', '*', '<', '>', '?', '|' or a control
// character (such as a value typed onto the Exe line, or a character the
// list's UTF-8 had and the code page lacks).
std::string_view fileName(const char* value) {
    const char* afterSeparator = value;
    const char* start = value;  // the name's: after the last separator before its last character
    const char* end = value;    // after the name's last character
    for (const char* p = value; *p != '\0'; p = nextChar(p)) {
        if (*p == '\\' || *p == '/' || *p == ':') afterSeparator = p + 1;
        if (*p == '\\' || *p == '/' || *p == ' ') continue;  // left out at the value's end
        start = afterSeparator;
        end = nextChar(p);
    }
    if (start < end && *start == ' ') ++start;  // a line holds no two blanks in a row
    std::size_t characters = 0;
    const char* lastDot = nullptr;
    for (const char* p = start; p < end; p = nextChar(p)) {
        if (!allowedInFileName(*p)) return std::string_view();
        if (*p == '.') lastDot = p;
        ++characters;
    }
    // A dot after the name's first character, and none at its end: Windows drops that one.
    bool extension = lastDot != nullptr && lastDot != start && lastDot + 1 != end;
    return extension && characters <= kKeyNameLimit ? std::string_view(start, end - start)
                                                    : std::string_view();
}

}  // namespace

WriteOutcome writeUpdateFile(ProfileList& list, std::FILE* update, QString& line,
                             const QString& settingsKeyPath, LeftOutLines& leftOut) {
    QString currentName;          // the game runs from its Name line to the next
    bool nameFits = true;         // in "UIDummyName"; a game whose name does not writes nothing
    QString currentTyp;           // empty: the game has no type yet
    bool keyOpen = false;         // a key of the game is open for its values
    bool afterComment = false;    // the game's comment line is the last line written
    QString typLine;              // the game's last Typ line, while no key was made with it
    unsigned long typNumber = 0;  // that line's number; 0 for none
    unsigned long number = 0;     // of the line in the list, 1 for the first
    ReadResult result = ReadResult::End;
    bool blank;
    // A Typ line is left out when its game ends, or a new type replaces it,
    // before an Exe line made a key with it.
    auto noteUnusedTyp = [&] {
        if (typNumber != 0) leftOut.note(typNumber, LeftOutReason::TypeUnused, typLine);
        typNumber = 0;
    };

    std::fputs("REGEDIT4\n", update);
    while (!std::ferror(update) && (result = readProfileLine(list, line, blank)) == ReadResult::Line) {
        ++number;
        if (blank) continue;
        if (cutLoneLeadByte(line) && line.empty()) {
            // nothing but half a character: an unknown line, shown as the console cannot show it
            leftOut.note(number, LeftOutReason::Unknown, "?");
            continue;
        }
        std::string_view key = splitKey(line);
        char first = line.c_str()[0];
        if (key == "Name") {  // a new game, written as a comment when the registry holds its name
            noteUnusedTyp();
            currentName = splitValue(line);
            nameFits = std::strlen(currentName) <= kValueDataLimit;
            currentTyp = "";
            keyOpen = false;
            afterComment = nameFits;
            if (!nameFits) {
                leftOut.note(number, LeftOutReason::GameNameTooLong, line);
                continue;
            }
            std::fputs("\n; ", update);
            std::fputs(currentName, update);
            std::putc('\n', update);
        } else if (key == "Typ") {  // the game's type, below which its Exe lines make keys
            noteUnusedTyp();
            keyOpen = false;
            std::optional<LeftOutReason> fault = typeLineFault(splitValue(line), currentTyp);
            if (fault) {
                leftOut.note(number, *fault, line);
            } else {
                typLine = line.c_str();
                typNumber = number;
            }
        } else if (key == "Exe") {  // a key of the game below its type, named by the program's file
            const char* value = splitValue(line);
            std::string_view exe = fileName(value);
            std::optional<LeftOutReason> fault = holdsCommentOrList(value) ? LeftOutReason::CommentOrList
                                                 : !nameFits               ? LeftOutReason::GameNameTooLong
                                                 : currentTyp.empty()      ? LeftOutReason::NoType
                                                 : exe.empty()             ? LeftOutReason::NoFileName
                                                                           : std::optional<LeftOutReason>();
            keyOpen = !fault;
            if (fault) {
                leftOut.note(number, *fault, line);
                continue;
            }
            typNumber = 0;
            std::fputs(afterComment ? "[" : "\n[", update);
            std::fputs(settingsKeyPath, update);
            std::putc('\\', update);
            std::fputs(currentTyp, update);
            std::putc('\\', update);
            std::fwrite(exe.data(), 1, exe.size(), update);
            std::fputs("]\n\"UIDummyName\"=\"", update);
            putQuoted(update, currentName);
            std::fputs("\"\n", update);
            afterComment = false;
            leftOut.noteKey();
        } else if (key == "Date" || first == '\0' || first == ';' || first == '#') {
            // the list's date, an empty line, a comment: nothing to write, nothing to say
        } else if (first == '"' || first == '@') {  // a value, for the key that is open
            std::optional<LeftOutReason> fault = valueLineFault(line, key);
            if (fault) {
                leftOut.note(number, *fault, line);
            } else if (!keyOpen) {
                leftOut.note(number, LeftOutReason::NoKeyOpen, line);
            } else {
                std::fputs(line, update);
                std::putc('\n', update);
            }
        } else {
            leftOut.note(number, LeftOutReason::Unknown, line);
        }
    }
    noteUnusedTyp();
    if (std::ferror(update)) return WriteOutcome::WriteFailed;
    return result == ReadResult::Error ? WriteOutcome::ReadFailed : WriteOutcome::Complete;
}
