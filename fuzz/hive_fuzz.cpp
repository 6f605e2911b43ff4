// Hive-file bytes in, registry lookups out, through the Linux registry layer.
// Checks that no lookup writes past the caller's buffer or reports more data
// than it was given room for, and that the same hive always answers the same.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/registry.h"

namespace {

std::string hiveFile;

void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// One lookup, with guard bytes behind the caller's buffer; returns what it saw.
std::string lookup(const char* keyPath, const char* valueName, DWORD room) {
    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return "open " + std::to_string(status);

    const DWORD guard = 16;
    std::string buffer(room + guard, '\x5a');
    DWORD type = REG_SZ;
    DWORD size = room;
    status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<LPBYTE>(&buffer[0]), &size);
    check(buffer.compare(room, guard, std::string(guard, '\x5a')) == 0, "nothing written past the buffer");
    if (status == ERROR_SUCCESS) check(size <= room, "no more data reported than the buffer holds");
    if (status == ERROR_MORE_DATA) check(size > room, "more data means more than the buffer holds");

    DWORD needed = 0;
    LONG probe = RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &needed);
    check(probe == (status == ERROR_MORE_DATA ? ERROR_SUCCESS : status), "asking for the size agrees");
    if (status == ERROR_SUCCESS) check(needed == size, "the size asked for is the size read");
    RegCloseKey(key);

    std::string seen = std::to_string(status) + " " + std::to_string(type) + " " + std::to_string(size);
    if (status == ERROR_SUCCESS) seen += " " + buffer.substr(0, size);
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/profsync-hive-fuzz-XXXXXX";
    check(mkdtemp(folder) != nullptr, "a folder for the hive");
    setenv("WINEPREFIX", folder, 1);
    hiveFile = std::string(folder) + "/system.reg";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(hiveFile.c_str(), "wb");
    check(file != nullptr && std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0,
          "the hive is written");

    struct Lookup {
        const char* key;
        const char* value;
    };
    const Lookup lookups[] = {
        {"Software\\PowerVR\\KYRO", "LatestDrvReg"}, {"Software\\PowerVR\\KYRO", ""},
        {"Software\\PowerVR\\KYRO", "A"}, {"Software", "LatestDrvReg"}, {"", nullptr},
    };
    for (const Lookup& l : lookups) {
        lookup(l.key, l.value, 0);
        lookup(l.key, l.value, 5);
        check(lookup(l.key, l.value, 255) == lookup(l.key, l.value, 255), "the same hive answers the same");
    }
    return 0;
}
