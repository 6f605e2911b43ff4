#pragma once

#include <cstddef>
#include <cstdio>

// Text is characters of the system's ANSI code page, not bytes: in a
// double-byte code page (Japanese, Chinese, Korean) a lead byte and the byte
// after it are one character, and that second byte may look like '\\', '"',
// ':' or a blank. What text/ needs to know of the code page is declared here
// and supplied from outside: by platform/os_win32.cpp and
// platform/os_posix.cpp, one for each system, and by the fuzz target, which
// brings code pages of its own.

/// Whether `c` starts a two-byte character in the ANSI code page: then the
/// next byte belongs to it, whatever it looks like. Never, where there is no
/// such code page. No code page's lead byte is ASCII.
bool isLeadByte(char c);

/// Writes the character `codePoint` (U+0080 or above) as the ANSI code page
/// has it into `out` and returns its length, never more than its UTF-8 form
/// takes: '?' where the code page lacks it, never a look-alike. Where there
/// is no such code page, Latin-1: code points up to U+00FF as that byte.
std::size_t ansiChar(unsigned long codePoint, char* out);

/// getc for a stream that this thread alone uses: the character comes
/// straight from the stream's buffer, without a call or a lock for each. The
/// C library of each system has its own.
#ifdef _WIN32
inline int getcUnlocked(std::FILE* file) { return _getc_nolock(file); }
#else
inline int getcUnlocked(std::FILE* file) { return getc_unlocked(file); }
#endif

// The walk over a NUL-terminated text, by characters: every loop over a line
// steps with nextChar. At a character's start a byte that looks like ASCII
// is that ASCII character, so a test for '\\', '"' or a blank there is a
// plain byte test.

/// The bytes of the character at `p`: two for a lead byte with a byte after
/// it, else one. ASCII never asks the code page.
inline std::size_t charLength(const char* p) {
    return static_cast<unsigned char>(*p) >= 0x80 && isLeadByte(*p) && p[1] != '\0' ? 2 : 1;
}

/// Where the character after the one at `p` starts.
inline const char* nextChar(const char* p) { return p + charLength(p); }

/// Where the last character before `end` starts, walking from `text` (a
/// character's start); `end` when there is none.
inline const char* lastChar(const char* text, const char* end) {
    const char* last = end;
    for (const char* p = text; p < end; p = nextChar(p)) last = p;
    return last;
}

/// Whether the character at `p` is a lead byte that the text's end left
/// alone: half a character.
inline bool isLoneLeadByte(const char* p) { return isLeadByte(*p) && p[1] == '\0'; }
