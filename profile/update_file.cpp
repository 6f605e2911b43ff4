#include "profile/update_file.h"

#include <cstring>

#include "platform/os.h"
#include "text/profile_line.h"

namespace {

// The length of the run at `text` that goes out as it stands: up to its end
// or to the first `stop` or `otherStop` that is a character of its own. A
// character of the ANSI code page may take two bytes, and its second byte
// never counts alone, whatever it looks like: the registry editor reads the
// file as characters before it reads escapes and separators.
std::size_t plainRun(const char* text, char stop, char otherStop) {
    const char* p = text;
    while (*p != '\0' && *p != stop && *p != otherStop) p += isLeadByte(*p) && p[1] != '\0' ? 2 : 1;
    return static_cast<std::size_t>(p - text);
}

// REGEDIT4 string data: a backslash or double quote would otherwise end the
// string early or be taken for an escape.
void putQuoted(std::FILE* out, const char* text) {
    for (;;) {
        std::size_t run = plainRun(text, '\\', '"');
        std::fwrite(text, 1, run, out);
        text += run;
        if (*text == '\0') return;
        std::putc('\\', out);
        std::putc(*text++, out);
    }
}

// What a Typ or Exe line names its key by: its value less the backslashes
// at its start, or the whole line (which starts with its key word) when
// that leaves nothing.
const char* keyText(const QString& line) {
    const char* value = splitValue(line);
    value += std::strspn(value, "\\");
    return *value != '\0' ? value : line.c_str();
}

// Writes `text`, which starts with no backslash, as parts of a key path with
// one backslash between two parts: none at its end, none doubled. An empty
// part would make the registry editor fold the key into the one above it.
void putKeyParts(std::FILE* out, const char* text) {
    for (;;) {
        std::size_t run = plainRun(text, '\\', '\\');
        std::fwrite(text, 1, run, out);
        text += run;
        text += std::strspn(text, "\\");
        if (*text == '\0') return;
        std::putc('\\', out);
    }
}

// Cuts a lead byte that starts the text's last character: alone, it would
// take the line break or the delimiter written after it for its second byte.
void cutLoneLeadByte(QString& line) {
    std::size_t length = std::strlen(line);
    if (length == 0 || !isLeadByte(line.c_str()[length - 1])) return;  // the usual case: nothing to walk
    char* p = line.reserve(length + 1);
    while (*p != '\0' && !(isLeadByte(*p) && p[1] == '\0')) p += isLeadByte(*p) ? 2 : 1;
    *p = '\0';
}

}  // namespace

WriteOutcome writeUpdateFile(ProfileList& list, std::FILE* update, QString& line, const QString& settingsKeyPath) {
    QString currentName;        // the game runs from its Name line to the next
    QString currentTyp;         // empty: the game has no type yet
    bool keyOpen = false;       // a key of the game is open for its values
    bool afterComment = false;  // the game's comment line is the last line written
    ReadResult result = ReadResult::End;
    bool blank;

    std::fputs("REGEDIT4\n", update);
    while (!std::ferror(update) && (result = readProfileLine(list, line, blank)) == ReadResult::Line) {
        if (blank) continue;
        cutLoneLeadByte(line);
        std::string_view key = splitKey(line);
        if (key == "Name") {
            currentName = splitValue(line);
            currentTyp = "";
            std::fputs("\n; ", update);
            std::fputs(currentName, update);
            std::putc('\n', update);
            keyOpen = false;
            afterComment = true;
        } else if (key == "Typ") {
            currentTyp = keyText(line);
            keyOpen = false;
        } else if (key == "Exe") {
            keyOpen = currentTyp.c_str()[0] != '\0';
            if (!keyOpen) continue;
            std::fputs(afterComment ? "[" : "\n[", update);
            std::fputs(settingsKeyPath, update);
            std::putc('\\', update);
            putKeyParts(update, currentTyp);
            std::putc('\\', update);
            putKeyParts(update, keyText(line));
            std::fputs("]\n\"UIDummyName\"=\"", update);
            putQuoted(update, currentName);
            std::fputs("\"\n", update);
            afterComment = false;
        } else if (keyOpen && (line.c_str()[0] == '"' || line.c_str()[0] == '@') && line.find(':') < 0) {
            // A REGEDIT4 value assignment without a colon: no typed value,
            // no drive letter, nothing the editor could take for a key.
            std::fputs(line, update);
            std::putc('\n', update);
        }
    }
    if (std::ferror(update)) return WriteOutcome::WriteFailed;
    return result == ReadResult::Error ? WriteOutcome::ReadFailed : WriteOutcome::Complete;
}
