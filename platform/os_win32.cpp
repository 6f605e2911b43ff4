#include "platform/files.h"

std::FILE* openTextForReading(const char* name) {
    // Windows refuses to open a directory as a file by itself.
    return std::fopen(name, "r");
}
