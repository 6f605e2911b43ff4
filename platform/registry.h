#pragma once

// The three registry calls the program makes, with Windows' own signatures.
// On Windows they come from the system; elsewhere registry_wine.cpp answers
// them from the machine hive of a Wine prefix.

#ifdef _WIN32
#include <windows.h>
#else

#include <cstdint>
#include <string_view>

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
#define ERROR_MORE_DATA 234L

#define KEY_READ 0x20019

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

/// Opens `subKey` below HKEY_LOCAL_MACHINE, the one root this layer knows.
/// ERROR_FILE_NOT_FOUND when the hive is missing, unreadable, not a Wine
/// registry file, or does not hold the key.
LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);

/// Reads a value of an open key into `data`, its type into `*type` and its
/// size into `*size`. Strings arrive as 8-bit text: code points up to U+00FF
/// as that byte, any other as '?'. ERROR_FILE_NOT_FOUND for a missing value;
/// ERROR_MORE_DATA, with the size needed and nothing written, when the data
/// does not fit `*size` bytes.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size);

LONG RegCloseKey(HKEY key);

/// The key at `path` in `hive`, the text of a Wine hive file, as
/// RegOpenKeyExA opens it from the file; null when the hive does not hold it.
HKEY openHiveKey(std::string_view hive, LPCSTR path);

#endif
