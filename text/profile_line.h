#pragma once

#include <cstdio>
#include <string_view>

#include "text/qstring.h"

// A profile list is 8-bit text as Windows editors save it: a UTF-8
// byte-order mark at its start is skipped, a UTF-16 one makes it
// unreadable, and it ends at its first Ctrl-Z, as Windows' text mode ends it.

/// Readies a freshly opened list for readProfileLine: steps over a UTF-8
/// byte-order mark. False when the list is UTF-16 or cannot be read.
bool startProfileList(std::FILE* list);

enum class ReadResult { Line, End, Error };

/// Reads the next physical line, of any length, and leaves it normalised in
/// `line`: blanks and tabs collapsed to single spaces, none at either end,
/// CR and LF removed; a NUL byte ends the line's text. `blank` tells that a
/// CR came before the line's first character: the line is then blank as a
/// whole, whatever follows. (A line of nothing but blanks is left empty.)
/// End: no line was left. Error: the list could not be read. `line` holds a
/// terminated text on every return.
ReadResult readProfileLine(std::FILE* list, QString& line, bool& blank);

/// The text before the first colon, or the whole line without a colon.
/// A view into the line: valid until the line changes.
std::string_view splitKey(const QString& line);

/// The text after the first colon, less one leading blank; empty without a
/// colon. Points into the line: valid until the line changes.
const char* splitValue(const QString& line);
