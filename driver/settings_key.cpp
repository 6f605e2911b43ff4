#include "driver/settings_key.h"

#include <cstring>

#include "console.h"
#include "platform/registry.h"
#include "text/code_page.h"

namespace {

enum class DriverRecord { Found, NoDriver, Unreadable };

DriverRecord readDriverRecord(char* buffer) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\PowerVR\\KYRO", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return DriverRecord::NoDriver;
    }
    DWORD type = REG_SZ;
    DWORD size = kValueBufferSize;
    LONG status =
        RegQueryValueExA(key, "LatestDrvReg", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return DriverRecord::Unreadable;

    // Stored strings need not carry their terminator: use only the bytes the
    // query reported, and make room for the terminator inside the buffer.
    if (size > kValueBufferSize) return DriverRecord::Unreadable;
    if (std::memchr(buffer, '\0', size) == nullptr) {
        if (size == kValueBufferSize) return DriverRecord::Unreadable;
        buffer[size] = '\0';
    }
    // The record goes into every key header of the update file: a line break
    // there would split each header and send one game's values to another
    // (the editor ends a line at its byte, whatever comes before it). So
    // would an empty part of its path (none at all, a backslash at its start
    // or end, two in a row), and a lead byte at its end, which would take
    // the backslash after it for its second byte: the editor would write the
    // keys elsewhere. A second byte that looks like a backslash is none.
    //
    // Control bytes go by bytes: a walk by characters would take a line
    // break after a lead byte into that character.
    const char* end = buffer;
    for (; *end != '\0'; ++end) {
        if (static_cast<unsigned char>(*end) < 0x20 || *end == 0x7f) return DriverRecord::Unreadable;
    }
    bool partEmpty = true;      // the last part of the path so far
    const char* last = buffer;  // where the last character starts
    for (const char* c = buffer; c < end; c = nextChar(c)) {
        if (*c == '\\' && partEmpty) return DriverRecord::Unreadable;
        partEmpty = *c == '\\';
        last = c;
    }
    return partEmpty || isLoneLeadByte(last) ? DriverRecord::Unreadable : DriverRecord::Found;
}

}  // namespace

QString locateSettingsKey(char* buffer) {
    switch (readDriverRecord(buffer)) {
        case DriverRecord::NoDriver:
            failWith({"It seems you don't have installed a PowerVR-Kyro graphic cards in your system.",
                      "If this isn't right please contact " PROFSYNC_CONTACT "\n",
                      "Press RETURN to exit program..."});
        case DriverRecord::Unreadable:
            failWith({"There was an error extracting the registry value.",
                      "Please contact " PROFSYNC_CONTACT "\n", "Press RETURN to exit program..."});
        case DriverRecord::Found: break;
    }
    QString path("HKEY_LOCAL_MACHINE\\");
    path += buffer;
    path += "\\KYRO\\Game Settings";
    return path;
}
