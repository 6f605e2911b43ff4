#include "platform/os.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "text/code_page.h"

namespace {

// A stream on `fd` when it is `usable`; otherwise, or when no stream can be
// made, the descriptor is closed and the result is null.
std::FILE* streamOn(int fd, bool usable, const char* mode) {
    std::FILE* file = usable ? fdopen(fd, mode) : nullptr;
    if (file == nullptr) close(fd);
    return file;
}

}  // namespace

std::FILE* openTextForReading(const char* name) {
    // O_NONBLOCK: a FIFO would hold the open until a writer comes. POSIX
    // also lets a directory be opened; only its reads fail.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    return streamOn(fd, fstat(fd, &info) == 0 && S_ISREG(info.st_mode), "r");
}

std::FILE* openUpdateFile(const char* name, std::FILE* list) {
    // A file this call creates is ours whatever the umask made of its mode.
    int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
        std::FILE* file = streamOn(fd, true, "w");
        if (file == nullptr) unlink(name);
        return file;
    }
    // One that was there: no O_TRUNC, nothing is emptied before it is known
    // to be ours. O_NONBLOCK keeps a FIFO from holding the open until a
    // reader comes; regular files ignore it.
    fd = open(name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info, listInfo;
    bool own = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 &&
               (info.st_mode & S_IWUSR) != 0 && fstat(fileno(list), &listInfo) == 0 &&
               !(info.st_dev == listInfo.st_dev && info.st_ino == listInfo.st_ino);
    return streamOn(fd, own && ftruncate(fd, 0) == 0, "w");
}

// No system editor here: the one on PATH, such as the tests' stand-in.
QString registryEditor() { return QString("regedit.exe"); }

std::size_t ansiChar(unsigned long codePoint, char* out) {
    out[0] = codePoint <= 0xff ? static_cast<char>(codePoint) : '?';
    return 1;
}

bool isLeadByte(char) { return false; }
