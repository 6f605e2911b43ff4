#include "platform/os.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::FILE* openUpdateFile(const char* name, std::FILE* list) {
    // No O_TRUNC: nothing is emptied before it is known to be ours. O_NONBLOCK
    // keeps a FIFO from holding the open until a reader comes; regular files
    // ignore it.
    int fd = open(name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat info, listInfo;
    bool own = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 &&
               (info.st_mode & S_IWUSR) != 0 && fstat(fileno(list), &listInfo) == 0 &&
               !(info.st_dev == listInfo.st_dev && info.st_ino == listInfo.st_ino);
    std::FILE* file = own && ftruncate(fd, 0) == 0 ? fdopen(fd, "w") : nullptr;
    if (file == nullptr) close(fd);
    return file;
}

bool isLeadByte(char) { return false; }
