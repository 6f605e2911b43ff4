#include "text/profile_line.h"

#include <cstring>

ProfileStream::Fill ProfileStream::refill() {
    pos_ = 0;
    end_ = std::fread(block_, 1, sizeof block_, file_);
    if (end_ > 0) return Fill::Data;
    return std::ferror(file_) ? Fill::Error : Fill::End;
}

ReadResult readProfileLine(ProfileStream& stream, QString& line, bool& blank) {
    std::size_t count = 0;     // characters emitted so far
    bool lastWasSpace = true;  // true at the start, so leading blanks vanish
    bool textEnded = false;    // a NUL ended the text; the rest of the line is skipped
    bool started = false;
    blank = false;
    char* out = line.reserve(1);

    for (;;) {
        if (stream.pos_ == stream.end_) {
            ProfileStream::Fill fill = stream.refill();
            if (fill == ProfileStream::Fill::Error) return ReadResult::Error;
            if (fill == ProfileStream::Fill::End) {
                if (!started) return ReadResult::End;
                break;  // a last line without a line end
            }
        }
        started = true;

        const char* begin = stream.block_ + stream.pos_;
        std::size_t available = stream.end_ - stream.pos_;
        const char* lineEnd = static_cast<const char*>(std::memchr(begin, '\n', available));
        std::size_t n = lineEnd != nullptr ? static_cast<std::size_t>(lineEnd - begin) : available;

        if (!textEnded) {
            // Normalising never lengthens the text, so n more bytes always suffice.
            out = line.reserve(count + n + 1);
            for (std::size_t i = 0; i < n; ++i) {
                char c = begin[i];
                if (c == ' ' || c == '\t') {
                    if (!lastWasSpace) {
                        out[count++] = ' ';
                        lastWasSpace = true;
                    }
                } else if (c == '\r') {
                    if (count == 0) blank = true;
                } else if (c == '\0') {
                    textEnded = true;
                    break;
                } else {
                    out[count++] = c;
                    lastWasSpace = false;
                }
            }
        }

        if (lineEnd != nullptr) {
            if (!textEnded && count == 0) blank = true;
            stream.pos_ += n + 1;
            break;
        }
        stream.pos_ = stream.end_;
    }

    if (count > 0 && out[count - 1] == ' ') --count;
    out[count] = '\0';
    return ReadResult::Line;
}

QString splitKey(const QString& line) {
    return line.left(line.find(':'));
}

QString splitValue(const QString& line) {
    std::ptrdiff_t colon = line.find(':');
    if (colon < 0) return QString();
    const char* value = line.c_str() + colon + 1;
    if (*value == ' ') ++value;
    return QString(value);
}
