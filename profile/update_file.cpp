#include "profile/update_file.h"

#include <cstring>

#include "platform/os.h"
#include "profile/left_out.h"
#include "text/profile_line.h"

namespace {

const std::size_t kKeyNameLimit = 255;  // characters in the name of a registry key

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
const char* skipQuoted(const char* p) {
    for (++p; *p != '"'; p += charLength(p)) {
        if (*p == '\0') return nullptr;
        if (*p == '\\' && *++p != '\\' && *p != '"') return nullptr;
    }
    return p + 1;
}

// Whether a line is one REGEDIT4 string assignment that the registry editor
// reads whole, so that it can never swallow the lines after it:
//     ( "name" | @ ) [blank] = [blank] "data" [ blank ; comment ]
// with at least one character in the name, and in name and data characters
// other than " and \, or the escapes \\ and \".
bool isValueAssignment(const char* p) {
    if (*p == '@') {
        ++p;
    } else if (*p != '"' || p[1] == '"' || (p = skipQuoted(p)) == nullptr) {
        return false;
    }
    if (*p == ' ') ++p;
    if (*p++ != '=') return false;
    if (*p == ' ') ++p;
    if (*p != '"' || (p = skipQuoted(p)) == nullptr) return false;
    return *p == '\0' || (p[0] == ' ' && p[1] == ';');
}

// A Typ line's value as the key path it names below the settings key: one
// backslash between two parts, none at either end, none doubled (the editor
// would fold an empty part into the key above it). Empty when no part is
// left, or when a part is longer than a key's name may be.
void setType(QString& type, const char* value) {
    char* out = type.reserve(std::strlen(value) + 1);
    std::size_t length = 0;
    std::size_t partLength = 0;  // characters of the part so far
    for (const char* p = value; *p != '\0' && partLength <= kKeyNameLimit;) {
        if (*p == '\\') {
            partLength = 0;
            ++p;
            continue;
        }
        if (partLength++ == 0 && length > 0) out[length++] = '\\';
        for (std::size_t n = charLength(p); n > 0; --n) out[length++] = *p++;
    }
    out[partLength <= kKeyNameLimit ? length : 0] = '\0';
}

// The program's file name that an Exe line's value names its key by: the
// value less the blanks, '\' and '/' at its end, from after its last '\',
// '/' or ':'. Empty when that leaves nothing or more than a key's name may
// hold.
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
    std::size_t characters = 0;
    for (const char* p = start; p < end; p += charLength(p)) ++characters;
    return characters <= kKeyNameLimit ? std::string_view(start, end - start) : std::string_view();
}

// Cuts a lead byte that starts the text's last character, and the blank
// before it: alone, it would take the line break or the delimiter written
// after it for its second byte.
void cutLoneLeadByte(QString& line) {
    std::size_t length = std::strlen(line);
    if (length == 0 || !isLeadByte(line.c_str()[length - 1])) return;  // the usual case: nothing to walk
    char* p = line.reserve(length + 1);
    while (*p != '\0' && !(isLeadByte(*p) && p[1] == '\0')) p += charLength(p);
    if (*p != '\0' && p > line.c_str() && p[-1] == ' ') --p;
    *p = '\0';
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
        cutLoneLeadByte(line);
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
            typLine = line.c_str();
            typNumber = number;
            setType(currentTyp, splitValue(line));
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
        } else if (!isValueAssignment(line)) {
            leftOut.note(number, LeftOutReason::ValueNotWhole, line);
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
