#pragma once

#include <cstdio>

#include "text/profile_line.h"
#include "text/qstring.h"

enum class WriteOutcome { Complete, ReadFailed, WriteFailed };

/// Second pass: translates the whole profile list into the REGEDIT4 update
/// file, whole lines only: each game a comment, and a key below
/// `settingsKeyPath` for each of its executables once it has a type, holding
/// its name and the value lines that follow; values with no key of their
/// game open are dropped. Stops at the first read
/// or write error and says which it was; the caller closes both files.
WriteOutcome writeUpdateFile(ProfileList& list, std::FILE* update, QString& line, const QString& settingsKeyPath);
