#include "text/profile_line.h"

#include <array>
#include <cstring>

namespace {

// What normalisation does with each byte.
enum ByteClass : unsigned char { kKeep, kBlank, kCarriageReturn, kEndOfText, kLineEnd };

constexpr std::array<ByteClass, 256> classify() {
    std::array<ByteClass, 256> classes{};
    classes[' '] = kBlank;
    classes['\t'] = kBlank;
    classes['\r'] = kCarriageReturn;
    classes['\0'] = kEndOfText;
    classes['\n'] = kLineEnd;
    return classes;
}

constexpr std::array<ByteClass, 256> kClass = classify();

}  // namespace

ProfileStream::Fill ProfileStream::refill() {
    pos_ = 0;
    end_ = ended_ ? 0 : std::fread(block_, 1, kBlockSize, file_);
    // Windows' text mode ends a file at its first Ctrl-Z; the list ends there on every system.
    if (const void* mark = std::memchr(block_, '\x1a', end_)) {
        end_ = static_cast<std::size_t>(static_cast<const unsigned char*>(mark) - block_);
        ended_ = true;
    }
    if (!begun_) {
        begun_ = true;
        // UTF-16 is not the 8-bit text the list is made of: refused, not taken apart at its NULs.
        if (end_ >= 2 &&
            (std::memcmp(block_, "\xff\xfe", 2) == 0 || std::memcmp(block_, "\xfe\xff", 2) == 0)) {
            return Fill::Error;
        }
        if (end_ >= 3 && std::memcmp(block_, "\xef\xbb\xbf", 3) == 0) pos_ = 3;
    }
    block_[end_] = '\n';
    if (pos_ < end_) return Fill::Data;
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

        // Every scan stops at a '\n': the line's own, or the one behind the block.
        const unsigned char* p = stream.block_ + stream.pos_;
        const unsigned char* const blockEnd = stream.block_ + stream.end_;
        if (!textEnded) {
            // Normalising never lengthens the text: the rest of the block always fits.
            out = line.reserve(count + (stream.end_ - stream.pos_) + 1);
            char* o = out + count;
            for (bool scanning = true; scanning;) {
                switch (kClass[*p]) {
                    case kKeep:
                        do {
                            *o++ = static_cast<char>(*p++);
                        } while (kClass[*p] == kKeep);
                        lastWasSpace = false;
                        break;
                    case kBlank:
                        if (!lastWasSpace) {
                            *o++ = ' ';
                            lastWasSpace = true;
                        }
                        ++p;
                        break;
                    case kCarriageReturn:
                        if (o == out) blank = true;
                        ++p;
                        break;
                    case kEndOfText:
                        textEnded = true;
                        scanning = false;
                        break;
                    case kLineEnd:
                        scanning = false;
                        break;
                }
            }
            count = static_cast<std::size_t>(o - out);
        }
        if (textEnded) p = static_cast<const unsigned char*>(std::memchr(p, '\n', blockEnd - p + 1));

        if (p < blockEnd) {  // the line's own line end
            if (!textEnded && count == 0) blank = true;
            stream.pos_ = static_cast<std::size_t>(p - stream.block_) + 1;
            break;
        }
        stream.pos_ = stream.end_;
    }

    if (count > 0 && out[count - 1] == ' ') --count;
    out[count] = '\0';
    return ReadResult::Line;
}

std::string_view splitKey(const QString& line) {
    std::ptrdiff_t colon = line.find(':');
    return colon < 0 ? std::string_view(line.c_str()) : std::string_view(line.c_str(), colon);
}

const char* splitValue(const QString& line) {
    std::ptrdiff_t colon = line.find(':');
    if (colon < 0) return "";
    const char* value = line.c_str() + colon + 1;
    return *value == ' ' ? value + 1 : value;
}
