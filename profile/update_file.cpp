#include "profile/update_file.h"

#include <cstring>

#include "platform/os.h"

namespace {

std::size_t characterSize(const char* c) { return isLeadByte(c[0]) && c[1] != '\0' ? 2 : 1; }

// `text` as parts of a key path, into `parts`: backslashes at its ends and
// doubled ones inside it are left out, so that no part is empty (the
// registry editor would fold the key into the one above it). False when
// nothing is left.
bool partsOf(const char* text, QString& parts) {
    char* out = parts.reserve(std::strlen(text) + 1);
    std::size_t length = 0;
    bool separator = false;  // a backslash stands between the last part and the next
    while (*text != '\0') {
        if (*text == '\\') {
            separator = length > 0;
            ++text;
            continue;
        }
        if (separator) out[length++] = '\\';
        separator = false;
        std::size_t size = characterSize(text);
        std::memcpy(out + length, text, size);
        length += size;
        text += size;
    }
    out[length] = '\0';
    return length > 0;
}

// The part of a key header that a Typ or Exe line gives: its value, or, when
// that leaves nothing, the whole line, which starts with its key word.
const char* keyParts(const QString& line, QString& parts) {
    if (!partsOf(splitValue(line), parts)) partsOf(line, parts);
    return parts;
}

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
    // the string early or be taken for an escape. The registry editor reads
    // the file as characters of the ANSI code page, so the second byte of a
    // two-byte character is never escaped, whatever it looks like.
    void putQuoted(const char* text) {
        while (*text != '\0') {
            std::size_t size = characterSize(text);
            if (size == 1 && (*text == '\\' || *text == '"')) put("\\", 1);
            put(text, size);
            text += size;
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
    QString parts;
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
            out.put(keyParts(line, parts));
            out.put("\\");
            lineOpen = true;
        } else if (key == "Exe") {
            const char* exe = keyParts(line, parts);
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
