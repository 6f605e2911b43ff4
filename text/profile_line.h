#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

#include "text/qstring.h"

enum class ReadResult { Line, End, Error };

/// A profile list opened by the caller, read in large blocks. The caller
/// keeps the FILE open while the reader is in use and closes it afterwards.
/// The list is 8-bit text as Windows editors save it: a UTF-8 byte-order
/// mark at its start is skipped, a UTF-16 one makes it unreadable, and it
/// ends at its first Ctrl-Z, as Windows' text mode ends it.
class ProfileStream {
public:
    explicit ProfileStream(std::FILE* file) : file_(file) {}
    ProfileStream(const ProfileStream&) = delete;
    ProfileStream& operator=(const ProfileStream&) = delete;

private:
    friend ReadResult readProfileLine(ProfileStream&, QString&, bool&);

    enum class Fill { Data, End, Error };
    Fill refill();

    static constexpr std::size_t kBlockSize = 64 * 1024;

    std::FILE* file_;
    bool begun_ = false;  // the first block, which may start with a byte-order mark, is read
    bool ended_ = false;  // the Ctrl-Z that ends the list is read
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    unsigned char block_[kBlockSize + 1];  // the data, then always a '\n' that stops every scan
};

/// Reads the next physical line, of any length, and leaves it normalised in
/// `line`: blanks and tabs collapsed to single spaces, none at either end,
/// CR and LF removed; a NUL byte ends the line's text. `blank` tells whether
/// the line was blank (nothing but blanks before its CR or LF).
/// End: no line was left. Error: the stream could not be read.
ReadResult readProfileLine(ProfileStream& stream, QString& line, bool& blank);

/// The text before the first colon, or the whole line without a colon.
/// A view into the line: valid until the line changes.
std::string_view splitKey(const QString& line);

/// The text after the first colon, less one leading blank; empty without a
/// colon. Points into the line: valid until the line changes.
const char* splitValue(const QString& line);
