#include "platform/os.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstring>

#include "text/code_page.h"

std::FILE* openTextForReading(const char* name) {
    // Windows refuses to open a directory as a file by itself.
    return std::fopen(name, "r");
}

namespace {

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// A text-mode stream on `handle`; closes the handle when that fails.
std::FILE* streamOn(HANDLE handle) {
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_TEXT);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "w");
    if (file == nullptr) _close(fd);  // closes the handle too
    return file;
}

}  // namespace

std::FILE* openUpdateFile(const char* name, std::FILE* list) {
    // Links exist on Windows NT only (symbolic ones from Vista on), and there
    // a symbolic link is opened as itself, not as what it points to. Windows
    // 95, 98 and ME have no links, and their file numbers need not tell files
    // apart.
    bool links = GetVersion() < 0x80000000;
    DWORD flags = links ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
    // A file this call creates is ours.
    HANDLE handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                flags, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        std::FILE* file = streamOn(handle);
        if (file == nullptr) DeleteFileA(name);
        return file;
    }
    // One that was there is checked before it is emptied.
    if (GetLastError() != ERROR_FILE_EXISTS) return nullptr;
    handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info, listInfo;
    const DWORD notOwn = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    bool own = GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & notOwn) == 0 &&
               info.nNumberOfLinks == 1;
    if (own && links) {  // the list itself, behind a link in its place
        HANDLE listHandle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(list)));
        own = GetFileInformationByHandle(listHandle, &listInfo) && !sameFile(info, listInfo);
    }
    if (own && SetEndOfFile(handle)) return streamOn(handle);
    CloseHandle(handle);
    return nullptr;
}

QString registryEditor() {
    // A bare name would make the command processor try the current folder
    // first: the folder of kyro.txt, which may come from anywhere.
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return QString();
    bool blank = std::strchr(folder, ' ') != nullptr;
    QString editor(blank ? "\"" : "");
    editor += folder;
    editor += blank ? "\\regedit.exe\"" : "\\regedit.exe";
    return editor;
}

std::size_t ansiChar(unsigned long codePoint, char* out) {
    // Windows maps a character the code page lacks to a look-alike (é to e
    // in code page 932), and 98 and ME cannot be told not to; a look-alike
    // does not convert back to the character. No ANSI code page has a
    // character beyond U+FFFF.
    WCHAR wide = static_cast<WCHAR>(codePoint), back = 0;
    char bytes[4];
    BOOL usedDefault = FALSE;
    int length = codePoint > 0xffff
                     ? 0
                     : WideCharToMultiByte(CP_ACP, 0, &wide, 1, bytes, sizeof bytes, nullptr, &usedDefault);
    if (length <= 0 || usedDefault || MultiByteToWideChar(CP_ACP, 0, bytes, length, &back, 1) != 1 ||
        back != wide) {
        out[0] = '?';
        return 1;
    }
    std::memcpy(out, bytes, static_cast<std::size_t>(length));
    return static_cast<std::size_t>(length);
}

bool isLeadByte(char c) { return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0; }
