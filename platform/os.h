#pragma once

#include <cstdio>

#include "text/qstring.h"

// What the program needs of the system beyond the C++ standard library and
// the code page (text/code_page.h), which this folder's files supply as well.

/// Opens `name` as a text-mode stream for reading: a file, never a folder,
/// a FIFO or a device, and without waiting for anything. Null when it
/// cannot be opened so.
std::FILE* openTextForReading(const char* name);

/// Opens `name` as a text-mode stream for writing, emptied, but only when it
/// is a file of its own: a new file, or a writable regular file with no
/// other name (no symbolic link in its place, no hard link to it) that is
/// not `list`, the open profile list. Checks the file it opened, then
/// empties it, so that nothing swapped in meanwhile gets written. Null, with
/// every existing file left as it was, when it cannot be opened so.
std::FILE* openUpdateFile(const char* name, std::FILE* list);

/// The command that starts the system's registry editor, to be followed by
/// its arguments: on Windows the one in the Windows folder, never a program
/// of the same name in the current folder. Empty when there is none.
QString registryEditor();
