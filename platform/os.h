#pragma once

#include <cstdio>

/// Opens `name` as a text-mode stream for reading. A directory is refused
/// on every system, as Windows refuses it. Null when it cannot be opened.
std::FILE* openTextForReading(const char* name);
