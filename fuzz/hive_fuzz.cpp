// Hive-file bytes in, registry lookups out, through the Linux registry layer.
// Checks that no lookup writes past the caller's buffer or reports more data
// than it was given room for, and that the same hive always answers the same.

#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/registry.h"

namespace {

// One lookup, with guard bytes behind the caller's buffer; returns what it saw.
std::string lookup(std::string_view hive, const char* keyPath, const char* valueName, DWORD room) {
    HKEY key = openHiveKey(hive, keyPath);
    if (key == nullptr) return "no key";
    const DWORD guard = 16;
    std::string buffer(room + guard, '\x5a');
    DWORD type = REG_SZ, size = room;
    LONG status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<LPBYTE>(&buffer[0]), &size);
    RegCloseKey(key);
    check(buffer.compare(room, guard, std::string(guard, '\x5a')) == 0, "nothing written past the buffer");
    if (status == ERROR_SUCCESS) check(size <= room, "no more data reported than the buffer holds");
    if (status == ERROR_MORE_DATA) check(size > room, "more data means more than the buffer holds");
    std::string seen = std::to_string(status) + " " + std::to_string(type) + " " + std::to_string(size);
    return status == ERROR_SUCCESS ? seen + " " + buffer.substr(0, size) : seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view hive(reinterpret_cast<const char*>(data), size);
    for (const char* key : {"Software\\PowerVR\\KYRO", "Software"}) {
        for (const char* value : {"LatestDrvReg", "A"}) {
            for (DWORD room : {0, 5, 255}) {
                check(lookup(hive, key, value, room) == lookup(hive, key, value, room), "the same hive answers the same");
            }
        }
    }
    return 0;
}
