#pragma once

#include <cstdio>

#include "text/qstring.h"

enum class WriteOutcome { Complete, ReadFailed, WriteFailed };

/// Second pass: translates the whole profile list into the REGEDIT4 update
/// file, one key per game below `settingsKeyPath`. Stops at the first read
/// or write error and says which it was; the caller closes both files.
WriteOutcome writeUpdateFile(std::FILE* list, std::FILE* update, QString& line, const QString& settingsKeyPath);
