// Hive-file bytes in, registry lookups out, through the Linux registry layer's
// parser. Checks that no lookup writes past the caller's buffer or reports
// more data than it was given room for.

#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/registry.h"

namespace {

// One query, with guard bytes behind the caller's buffer.
void query(HKEY key, const char* name, DWORD room) {
    std::string buffer(room + 16, '\x5a');  // 16 guard bytes
    DWORD type = REG_SZ, size = room;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer.data()), &size);
    check(buffer.find_first_not_of('\x5a', room) == std::string::npos, "nothing written past the buffer");
    if (status == ERROR_SUCCESS) check(size <= room, "no more data reported than the buffer holds");
    if (status == ERROR_MORE_DATA) check(size > room, "more data means more than the buffer holds");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view hive(reinterpret_cast<const char*>(data), size);
    for (const char* path : {"Software\\PowerVR\\KYRO", "Software"}) {
        HKEY key = openHiveKey(hive, path);
        if (key == nullptr) continue;
        for (const char* name : {"LatestDrvReg", "A"}) {
            for (DWORD room : {0, 5, 255}) query(key, name, room);
        }
        RegCloseKey(key);
    }
    return 0;
}
