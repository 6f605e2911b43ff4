#include "profile/update_file.h"

#include <cstring>

#include "platform/os.h"
#include "profile/left_out.h"
#include "text/profile_line.h"

namespace {

// What the registry holds, on every Windows the KYRO drivers run on.
const std::size_t kKeyNameLimit = 255;     // characters in a key's name, and in a Typ's path below the settings key
const std::size_t kNewKeyLevels = 31;      // keys below the settings key that one import may create: Typ parts and file name
const std::size_t kValueNameLimit = 255;   // characters in a value's name (Windows 98 and ME)
const std::size_t kValueDataLimit = 16300;  // bytes of a string value, its terminator aside (Windows 98 and ME)

// The registry editor reads the file as characters of the ANSI code page
// before it reads escapes and separators: so every walk below goes by
// charLength, and a second byte never counts alone, whatever it looks like.

// REGEDIT4 string data: a backslash or double quote would otherwise end the
// string early or be taken for an escape.
void putQuoted(std::FILE* out, const char* text) {
    for (;;) {
        const char* run = text;  // what goes out as it stands
        while (*text != '\0' && *text != '\\' && *text != '"') text += charLength(text);
        std::fwrite(run, 1, static_cast<std::size_t>(text - run), out);
        if (*text == '\0') return;
        std::putc('\\', out);
        std::putc(*text++, out);
    }
}

// The end of the REGEDIT4 quoted text whose opening quote is at `p`, past
// its closing quote; null when the registry editor would not read it whole.
// `characters` and `bytes` count the text once its escapes are read.
const char* skipQuoted(const char* p, std::size_t& characters, std::size_t& bytes) {
    characters = bytes = 0;
    for (++p; *p != '"'; ++characters) {
        if (*p == '\0') return nullptr;
        if (*p == '\\' && *++p != '\\' && *p != '"') return nullptr;
        std::size_t n = charLength(p);
        bytes += n;
        p += n;
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
    } else if (*p != '"' || p[1] == '"' || (p = skipQuoted(p, nameCharacters, unused)) == nullptr) {
        return false;
    }
    if (*p == ' ') ++p;
    if (*p++ != '=') return false;
    if (*p == ' ') ++p;
    if (*p != '"' || (p = skipQuoted(p, unused, dataBytes)) == nullptr) return false;
    return *p == '\0' || (p[0] == ' ' && p[1] == ';');
}

// A Typ line's value as the key path it names below the settings key: its
// parts with one backslash between two, none empty (the editor would fold an
// empty part into the key above it), none with a blank at either end. Empty
// when no part is left. False, with the type empty, when the path is longer
// than a key's name may be, or, with the file name below it, deeper than
// Windows makes keys in one go.
bool setType(QString& type, const char* value) {
    char* out = type.reserve(std::strlen(value) + 1);
    std::size_t length = 0;
    std::size_t characters = 0;  // in the path so far
    std::size_t parts = 0;
    bool partOpen = false;  // a part has begun, and the next backslash ends it
    bool blank = false;     // a blank waits to go out before the part's next character
    std::size_t n;
    for (const char* p = value; *p != '\0' && characters <= kKeyNameLimit; p += n) {
        n = charLength(p);
        if (n == 1 && *p == '\\') {  // the part ends, and a blank before it goes
            partOpen = blank = false;
            continue;
        }
        if (n == 1 && *p == ' ') {  // it goes out only when its part goes on
            blank = partOpen;
            continue;
        }
        if (!partOpen && parts++ > 0) {
            out[length++] = '\\';
            ++characters;
        } else if (blank) {
            out[length++] = ' ';
            ++characters;
        }
        partOpen = true;
        blank = false;
        ++characters;
        std::memcpy(out + length, p, n);
        length += n;
    }
    bool fits = characters <= kKeyNameLimit && parts < kNewKeyLevels;
    out[fits ? length : 0] = '\0';
    return fits;
}

// Whether a file name may hold the one-byte character `c`: Windows allows
// none of these, beside the separators '\', '/' and ':'.
bool allowedInFileName(char c) {
    switch (c) {
        case '"': case '*': case '<': case '>': case '?': case '|': return false;
        default: return static_cast<unsigned char>(c) >= 0x20;
    }
}

// The program's file name that an Exe line's value names its key by: the
// text after its last '\', '/' or ':', less the blanks at its ends and the
// '\' and '/' at the value's end. Empty when that leaves nothing, more than
// a file name may hold, or a character that no Windows file name holds:
// '"', '*', '<', '>', '?', '|' or a control character (such as a value typed
// onto the Exe line, or a character the list's UTF-8 had and the code page
// lacks): no such program can exist.
std::string_view fileName(const char* value) {
    const char* afterSeparator = value;
    const char* start = value;
    const char* end = value;
    std::size_t length;
    for (const char* p = value; *p != '\0'; p += length) {
        length = charLength(p);
        bool separator = length == 1 && (*p == '\\' || *p == '/' || *p == ':');
        if (separator) afterSeparator = p + 1;
        if ((separator && *p != ':') || *p == ' ') continue;  // dropped at the end
        start = afterSeparator;
        end = p + length;
    }
    if (start < end && *start == ' ') ++start;  // a line holds no two blanks in a row
    std::size_t characters = 0;
    for (const char* p = start; p < end; p += length, ++characters) {
        length = charLength(p);
        if (length == 1 && !allowedInFileName(*p)) return std::string_view();
    }
    return characters <= kKeyNameLimit ? std::string_view(start, end - start) : std::string_view();
}

}  // namespace

WriteOutcome writeUpdateFile(ProfileList& list, std::FILE* update, QString& line, const QString& settingsKeyPath,
                             LeftOutLines& leftOut) {
    QString currentName;        // the game runs from its Name line to the next
    QString currentTyp;         // empty: the game has no type yet
    bool keyOpen = false;       // a key of the game is open for its values
    bool afterComment = false;  // the game's comment line is the last line written
    QString typLine;            // the game's last Typ line, while no key was made with it
    unsigned long typNumber = 0;  // that line's number; 0 for none
    unsigned long number = 0;     // the line's in the list
    std::size_t nameCharacters, dataBytes;  // a value line's, as the registry would hold them
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
        if (cutLoneLeadByte(line) && line.c_str()[0] == '\0') {
            // nothing but half a character: an unknown line, shown as the console cannot show it
            leftOut.note(number, LeftOutReason::Unknown, "?");
            continue;
        }
        std::string_view key = splitKey(line);
        char first = line.c_str()[0];
        if (key == "Name") {
            noteUnusedTyp();
            currentName = splitValue(line);
            currentTyp = "";
            std::fputs("\n; ", update);
            std::fputs(currentName, update);
            std::putc('\n', update);
            keyOpen = false;
            afterComment = true;
        } else if (key == "Typ") {
            noteUnusedTyp();
            if (setType(currentTyp, splitValue(line))) {
                typLine = line.c_str();
                typNumber = number;
            } else {
                leftOut.note(number, LeftOutReason::TypeTooLong, line);
            }
            keyOpen = false;
        } else if (key == "Exe") {
            std::string_view exe = fileName(splitValue(line));
            bool typed = currentTyp.c_str()[0] != '\0';
            keyOpen = typed && !exe.empty();
            if (!keyOpen) {
                leftOut.note(number, typed ? LeftOutReason::NoFileName : LeftOutReason::NoType, line);
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
        } else if (key == "Date" || first == '\0' || first == ';' || first == '#') {
            // the list's date, an empty line, a comment: nothing to write, nothing to say
        } else if (first != '"' && first != '@') {
            leftOut.note(number, LeftOutReason::Unknown, line);
        } else if (line.c_str()[key.size()] == ':') {  // the key ends at the first colon, if any
            // a typed value, a drive letter, or something the editor could take for a key
            leftOut.note(number, LeftOutReason::ValueColon, line);
        } else if (!isValueAssignment(line, nameCharacters, dataBytes)) {
            leftOut.note(number, LeftOutReason::ValueNotWhole, line);
        } else if (nameCharacters > kValueNameLimit) {
            leftOut.note(number, LeftOutReason::NameTooLong, line);
        } else if (dataBytes > kValueDataLimit) {
            leftOut.note(number, LeftOutReason::DataTooLong, line);
        } else if (!keyOpen) {
            leftOut.note(number, LeftOutReason::NoKeyOpen, line);
        } else {
            std::fputs(line, update);
            std::putc('\n', update);
        }
    }
    noteUnusedTyp();
    if (std::ferror(update)) return WriteOutcome::WriteFailed;
    return result == ReadResult::Error ? WriteOutcome::ReadFailed : WriteOutcome::Complete;
}
