#include "profile/update_file.h"

#include <cstring>

namespace {

// The update file, written in large blocks. Remembers the first failure;
// once a write has failed nothing more is written.
class UpdateFile {
public:
    explicit UpdateFile(std::FILE* file) : file_(file) {}

    void put(const char* text) { put(text, std::strlen(text)); }

    void put(const char* text, std::size_t n) {
        if (n > sizeof block_ - used_) {
            flush();
            if (n > sizeof block_) {
                write(text, n);
                return;
            }
        }
        std::memcpy(block_ + used_, text, n);
        used_ += n;
    }

    // REGEDIT4 string data: a backslash or double quote would otherwise end
    // the string early or be taken for an escape.
    void putQuoted(const char* text) {
        for (;;) {
            std::size_t plain = std::strcspn(text, "\\\"");
            put(text, plain);
            text += plain;
            if (*text == '\0') return;
            put(*text == '\\' ? "\\\\" : "\\\"", 2);
            ++text;
        }
    }

    bool ok() const { return ok_; }

    /// Hands everything written so far to the stream; false once any write failed.
    bool flush() {
        write(block_, used_);
        used_ = 0;
        return ok_;
    }

private:
    void write(const char* text, std::size_t n) {
        if (ok_ && n > 0 && std::fwrite(text, 1, n, file_) != n) ok_ = false;
    }

    std::FILE* file_;
    bool ok_ = true;
    std::size_t used_ = 0;
    char block_[64 * 1024];
};

}  // namespace

WriteOutcome writeUpdateFile(ProfileStream& profile, std::FILE* update, QString& line,
                             const QString& settingsKeyPath) {
    UpdateFile out(update);
    QString currentName;  // carries over to later games until the next name line
    bool lineOpen = false;  // a name or type piece left its line open for the next piece
    ReadResult result = ReadResult::End;
    bool blank;

    out.put("REGEDIT4\n");
    while (out.ok() && (result = readProfileLine(profile, line, blank)) == ReadResult::Line) {
        if (blank) continue;
        std::string_view key = splitKey(line);
        if (key == "Name") {
            currentName = splitValue(line);
            out.put("\n; ");
            out.put(currentName);
            lineOpen = true;
        } else if (key == "Typ") {
            out.put("\n[");
            out.put(settingsKeyPath);
            out.put("\\");
            out.put(splitValue(line));
            out.put("\\");
            lineOpen = true;
        } else if (key == "Exe") {
            const char* exe = splitValue(line);
            // Without a name or type piece before it, the executable starts a
            // line of its own: with a '[' first, that would be a key line.
            if (!lineOpen && exe[0] == '[') continue;
            out.put(exe);
            out.put("]\n\"UIDummyName\"=\"");
            out.putQuoted(currentName);
            out.put("\"\n");
            lineOpen = false;
        } else if (key.empty() || key[0] == '[' || line.c_str()[key.size()] == ':') {
            // Empty, a key line of its own (it could open or delete any key of
            // the machine), or a line with a colon: dropped.
            continue;
        } else {
            out.put(line, key.size());
            out.put("\n", 1);
            lineOpen = false;
        }
    }
    if (!out.flush()) return WriteOutcome::WriteFailed;
    return result == ReadResult::Error ? WriteOutcome::ReadFailed : WriteOutcome::Complete;
}
