#pragma once

#include <cstdio>

#include "text/profile_line.h"
#include "text/qstring.h"

/// First pass: finds the list's first `Date` line and leaves its value in
/// `fileDate`; without one, `fileDate` stays as it was. Stops reading right
/// after the date line. Returns false when the list could not be read.
bool scanDate(ProfileList& list, QString& line, QString& fileDate);
