#include "profile/update_file.h"

#include <cstring>

namespace {

// Writes to the update file and remembers the first failure; once a write
// has failed nothing more is written.
class UpdateFile {
public:
    explicit UpdateFile(std::FILE* file) : file_(file) {}

    void put(const char* text) {
        if (ok_ && std::fputs(text, file_) == EOF) ok_ = false;
    }

    // REGEDIT4 string data: a backslash or double quote would otherwise end
    // the string early or be taken for an escape.
    void putQuoted(const char* text) {
        while (ok_ && *text != '\0') {
            std::size_t plain = std::strcspn(text, "\\\"");
            if (plain > 0 && std::fwrite(text, 1, plain, file_) != plain) ok_ = false;
            text += plain;
            if (*text == '\0') break;
            put(*text == '\\' ? "\\\\" : "\\\"");
            ++text;
        }
    }

    bool ok() const { return ok_; }

private:
    std::FILE* file_;
    bool ok_ = true;
};

}  // namespace

WriteOutcome writeUpdateFile(ProfileStream& profile, std::FILE* update, QString& line,
                             const QString& settingsKeyPath) {
    UpdateFile out(update);
    QString currentName;  // carries over to later games until the next name line
    bool lineOpen = false;  // a name or type piece left its line open for the next piece
    ReadResult result = ReadResult::End;
    bool blank = false;

    out.put("REGEDIT4\n");
    while (out.ok() && (result = readProfileLine(profile, line, blank)) == ReadResult::Line) {
        if (blank) continue;
        QString key = splitKey(line);
        if (std::strcmp(key, "Name") == 0) {
            currentName = splitValue(line);
            out.put("\n; ");
            out.put(currentName);
            lineOpen = true;
        } else if (std::strcmp(key, "Typ") == 0) {
            out.put("\n[");
            out.put(settingsKeyPath);
            out.put("\\");
            out.put(splitValue(line));
            out.put("\\");
            lineOpen = true;
        } else if (std::strcmp(key, "Exe") == 0) {
            QString exe = splitValue(line);
            // Without a name or type piece before it, the executable starts a
            // line of its own: with a '[' first, that would be a key line.
            if (!lineOpen && exe.c_str()[0] == '[') continue;
            out.put(exe);
            out.put("]\n\"UIDummyName\"=\"");
            out.putQuoted(currentName);
            out.put("\"\n");
            lineOpen = false;
        } else if (line.c_str()[0] == '\0' || line.c_str()[0] == '[' || line.find(':') >= 0) {
            // Empty, a key line of its own (it could open or delete any key of
            // the machine), or a line with a colon: dropped.
            continue;
        } else {
            out.put(line);
            out.put("\n");
            lineOpen = false;
        }
    }
    if (!out.ok()) return WriteOutcome::WriteFailed;
    return result == ReadResult::Error ? WriteOutcome::ReadFailed : WriteOutcome::Complete;
}
