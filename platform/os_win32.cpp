#include "platform/os.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

std::FILE* openTextForReading(const char* name) {
    // Windows refuses to open a directory as a file by itself.
    return std::fopen(name, "r");
}

namespace {

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

std::FILE* openUpdateFile(const char* name, std::FILE* list) {
    // Links exist on Windows NT only (symbolic ones from Vista on), and there
    // a symbolic link is opened as itself, not as what it points to. Windows
    // 95, 98 and ME have no links, and their file numbers need not tell files
    // apart.
    bool links = GetVersion() < 0x80000000;
    // OPEN_ALWAYS: created when missing, never emptied before it is checked.
    HANDLE handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                links ? FILE_FLAG_OPEN_REPARSE_POINT : 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info, listInfo;
    const DWORD notOwn = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    bool own = GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & notOwn) == 0 &&
               info.nNumberOfLinks == 1;
    if (own && links) {  // the list itself, behind a link in its place
        HANDLE listHandle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(list)));
        own = GetFileInformationByHandle(listHandle, &listInfo) && !sameFile(info, listInfo);
    }
    int fd = own && SetEndOfFile(handle) ? _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_TEXT) : -1;
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "w");
    if (file == nullptr) _close(fd);  // closes the handle too
    return file;
}

bool isLeadByte(char c) { return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0; }
