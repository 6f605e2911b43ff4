#include "platform/files.h"

#include <sys/stat.h>

std::FILE* openTextForReading(const char* name) {
    std::FILE* file = std::fopen(name, "r");
    if (file == nullptr) return nullptr;
    // POSIX lets a directory be opened; only its reads fail.
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}
