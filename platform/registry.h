#pragma once

// The three registry calls the program makes, with Windows' own signatures.
// On Windows they come from the system; elsewhere registry_stand_in.cpp
// stands in for them, for the tests, with the hive of a Wine prefix.

#ifdef _WIN32
#include <windows.h>
#else

#include <cstdint>

typedef std::int32_t LONG;
typedef std::uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef DWORD REGSAM;
typedef unsigned char BYTE;
typedef BYTE* LPBYTE;
typedef const char* LPCSTR;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;

#define HKEY_LOCAL_MACHINE ((HKEY)(std::uintptr_t)0x80000002)

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_INVALID_DATA 13L
#define ERROR_MORE_DATA 234L

#define KEY_READ 0x20019

#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_DWORD 4

/// Opens `subKey` below HKEY_LOCAL_MACHINE, the one root the stand-in knows.
/// ERROR_FILE_NOT_FOUND when the hive is missing, unreadable, not a Wine
/// registry file, or does not hold the key.
LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);

/// Reads a value of an open key into `data`, its type into `*type` and its
/// size into `*size`. Strings arrive as 8-bit text with their terminator, as
/// the hive holds it. ERROR_FILE_NOT_FOUND for a missing value;
/// ERROR_INVALID_DATA for one the stand-in cannot read; ERROR_MORE_DATA,
/// with the size needed and nothing written, when the data does not fit
/// `*size` bytes.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);

LONG RegCloseKey(HKEY key);

#endif
