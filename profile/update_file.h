#pragma once

#include <cstdio>

#include "profile/left_out.h"
#include "text/profile_line.h"
#include "text/qstring.h"

enum class WriteOutcome { Complete, ReadFailed, WriteFailed };

/// Second pass: translates the whole profile list into the REGEDIT4 update
/// file, whole lines only: each game a comment, and a key
/// `settingsKeyPath\<Typ>\<file name>` for each of its Exe lines once it has
/// a type, holding its name and the value lines that follow it; nothing of a
/// game whose name "UIDummyName" cannot hold. A value line
/// goes in only when the registry editor reads it as one whole string
/// assignment that the registry holds as written, and only while a key of its
/// game is open. Every line ends between two characters of the ANSI code page.
/// Notes in `leftOut` each line that puts nothing into the file, but for blank
/// and empty lines, comments (starting with ';' or '#'), Date lines and Name
/// lines whose name "UIDummyName" holds, and tells it when a key is written.
/// Stops at the first read or write error and says which it was; the caller
/// closes both files.
WriteOutcome writeUpdateFile(ProfileList& list, std::FILE* update, QString& line,
                             const QString& settingsKeyPath, LeftOutLines& leftOut);
