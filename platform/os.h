#pragma once

#include <cstdio>

#include "text/qstring.h"

// What the program needs of the system beyond the C++ standard library.

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

/// getc for a stream that this thread alone uses: the character comes
/// straight from the stream's buffer, without a call or a lock for each.
#ifdef _WIN32
inline int getcUnlocked(std::FILE* file) { return _getc_nolock(file); }
#else
inline int getcUnlocked(std::FILE* file) { return getc_unlocked(file); }
#endif

/// Writes the character `codePoint` (U+0080 or above) as the system's ANSI
/// code page has it into `out` and returns its length, never more than its
/// UTF-8 form takes: '?' where the code page lacks it, never a look-alike.
/// Where there is no such code page, Latin-1: code points up to U+00FF as
/// that byte.
std::size_t ansiChar(unsigned long codePoint, char* out);

/// Whether `c` starts a two-byte character in the system's ANSI code page:
/// then the next byte belongs to it, even when it looks like '\\' or '"'.
/// Never, where there is no such code page.
bool isLeadByte(char c);

/// The bytes of the character at `p` in the system's ANSI code page: two for
/// a lead byte with a byte after it, else one. No code page's lead byte is
/// ASCII, so ASCII never asks the system.
inline std::size_t charLength(const char* p) {
    return static_cast<unsigned char>(*p) >= 0x80 && isLeadByte(*p) && p[1] != '\0' ? 2 : 1;
}
