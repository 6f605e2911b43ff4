#pragma once

#include <cstddef>

#include "text/qstring.h"

/// Bytes the driver's record may take, its terminator included.
constexpr std::size_t kValueBufferSize = 255;

/// The driver's game-settings key, "HKEY_LOCAL_MACHINE\<record>\KYRO\Game Settings",
/// where the record is "LatestDrvReg" of HKLM\SOFTWARE\PowerVR\KYRO, read into
/// `buffer` (kValueBufferSize bytes). Ends the run with the matching message
/// when the driver's key is missing, or when the record is missing, is not a
/// string, does not fit the buffer with its terminator, holds a control
/// character or DEL, ends in a lone lead byte, or is a path with an empty
/// part (empty itself, a backslash at its start or end, two in a row).
QString locateSettingsKey(char* buffer);
