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

}  // namespace

WriteOutcome writeUpdateFile(std::FILE* list, std::FILE* update, QString& line, const QString& settingsKeyPath) {
    QString currentName;    // carries over to later games until the next name line
    bool lineOpen = false;  // a name or type piece left its line open for the next piece
    ReadResult result = ReadResult::End;
    bool blank;

    std::fputs("REGEDIT4\n", update);
    while (!std::ferror(update) && (result = readProfileLine(list, line, blank)) == ReadResult::Line) {
        if (blank) continue;
        std::string_view key = splitKey(line);
        if (key == "Name") {
            currentName = splitValue(line);
            std::fputs("\n; ", update);
            std::fputs(currentName, update);
            lineOpen = true;
        } else if (key == "Typ") {
            std::fputs("\n[", update);
            std::fputs(settingsKeyPath, update);
            std::putc('\\', update);
            putKeyParts(update, keyText(line));
            std::putc('\\', update);
            lineOpen = true;
        } else if (key == "Exe") {
            const char* exe = keyText(line);
            // Without a name or type piece before it, the executable starts a
            // line of its own: with a '[' first, that would be a key line.
            if (!lineOpen && exe[0] == '[') continue;
            putKeyParts(update, exe);
            std::fputs("]\n\"UIDummyName\"=\"", update);
            putQuoted(update, currentName);
            std::fputs("\"\n", update);
            lineOpen = false;
        } else if (key.empty() || key[0] == '[' || line.c_str()[key.size()] == ':') {
            // Empty, a key line of its own (it could open or delete any key of
            // the machine), or a line with a colon: dropped.
            continue;
        } else {
            std::fputs(line, update);
            std::putc('\n', update);
            lineOpen = false;
        }
    }
    if (std::ferror(update)) return WriteOutcome::WriteFailed;
    return result == ReadResult::Error ? WriteOutcome::ReadFailed : WriteOutcome::Complete;
}
