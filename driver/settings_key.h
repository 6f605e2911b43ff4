#pragma once

#include <cstddef>

#include "text/qstring.h"

/// Bytes the driver's record may take, its terminator included.
constexpr std::size_t kValueBufferSize = 255;

enum class DriverRecord { Found, NoDriver, Unreadable };

/// Reads the driver's record, "LatestDrvReg" of HKLM\SOFTWARE\PowerVR\KYRO,
/// into `buffer` (kValueBufferSize bytes) as a NUL-terminated text.
/// NoDriver: the key cannot be opened. Unreadable: the value is missing, is
/// not a string, does not fit the buffer with its terminator, or holds a
/// control character.
DriverRecord readDriverRecord(char* buffer);

/// The driver's game-settings key, "HKEY_LOCAL_MACHINE\<record>\KYRO\Game Settings".
/// Ends the run with the matching message when the record cannot be had.
QString locateSettingsKey(char* buffer);
