#pragma once

#include <cstdio>
#include <string_view>

#include "text/qstring.h"

// A profile list is 8-bit text of the system's ANSI code page as Windows
// editors save it, or UTF-8 when it starts with the UTF-8 byte-order mark:
// then each line is converted to the ANSI code page as it is read. A UTF-16
// byte-order mark makes it unreadable. It ends at its first Ctrl-Z, as
// Windows' text mode ends it.

/// A profile list open for reading, and whether it is UTF-8.
struct ProfileList {
    std::FILE* file;
    bool utf8;
};

/// Readies a freshly opened list for readProfileLine: steps over a UTF-8
/// byte-order mark and notes that the list is UTF-8. False when the list is
/// UTF-16 or cannot be read.
bool startProfileList(ProfileList& list);

enum class ReadResult { Line, End, Error };

/// Reads the next physical line, of any length, and leaves it normalised in
/// `line`: blanks and tabs collapsed to single spaces, none at either end,
/// CR and LF removed; a NUL byte ends the line's text. `blank` tells that a
/// CR came before the line's first character: the line is then blank as a
/// whole, whatever follows. (A line of nothing but blanks is left empty.) A
/// UTF-8 line arrives in the ANSI code page: a character the code page lacks
/// as '?', and so each byte that does not start a well-formed UTF-8 sequence.
/// A UTF-8 byte-order mark is left out as if it were not there: at a line's
/// start in every list, anywhere in a UTF-8 list.
/// End: no line was left. Error: the list could not be read. `line` holds a
/// terminated text on every return.
ReadResult readProfileLine(ProfileList& list, QString& line, bool& blank);

/// Cuts a lead byte that stands alone at the end of `line`, and a blank
/// before it that is a character of its own: the line then ends between two
/// characters of the ANSI code page, and a delimiter or line break written
/// after it stays one. Returns whether it cut.
bool cutLoneLeadByte(QString& line);

/// The text before the first colon, or the whole line without a colon; a
/// second byte that looks like a colon is none. A view into the line: valid
/// until the line changes.
std::string_view splitKey(const QString& line);

/// The text after the first colon, less one leading blank; empty without a
/// colon. Points into the line: valid until the line changes.
const char* splitValue(const QString& line);
