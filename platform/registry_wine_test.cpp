#include "platform/registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

using namespace std::string_literals;

namespace {

// Values in every form wineserver writes, and lines cut short in every way.
const std::string kHive = [] {
    std::ifstream file(PROFSYNC_SOURCE_DIR "/platform/registry_wine_test.reg", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}();

// The value's status, type and data, read into a buffer of `room` bytes; for
// ERROR_MORE_DATA the size it asks for and the buffer, which stays untouched.
std::string query(const char* path, const char* value, DWORD room = 255) {
    HKEY key = openHiveKey(kHive, path);
    if (key == nullptr) return "no key";
    std::string buffer(room, '#');
    DWORD type = REG_NONE, size = room;
    LONG status = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<LPBYTE>(&buffer[0]), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND) return "no value";
    return std::to_string(status) + " " + std::to_string(type) + " " +
           (status == ERROR_SUCCESS ? buffer.substr(0, size) : std::to_string(size) + " " + buffer);
}

}  // namespace

TEST(WineRegistry, ReadsWhatWineserverWrites) {
    const char kyro[] = "SOFTWARE\\POWERVR\\kyro";  // names compare without regard to case
    const std::string cases[][3] = {
        {kyro, "quote", "0 1 a\"b\\c \xe9 \xe9" "1 \xe9 ? ? ? ? ? ?( ?? ?Q A2\a\a\b\x1b\f\n\r\t\vz xg \a( \xff\0"s},
        {kyro, "Str", "0 1 plain\0"s},
        {kyro, "Tab", "0 1 t\0"s},
        {kyro, "Upper", "0 4 \x2a\xbc\0\0"s},
        {kyro, "Bin", "0 3 \x0a\xff"},
        {kyro, "Long", "0 3 \0\1\2\3\4\5\6\7\10\11\12\13\14\15\16\17\20\21\22\23\24\25\26\27\30"s},
        {kyro, "HEXSZ", "0 1 AB"},
        {kyro, "Lone", "0 1 ??"},  // a surrogate pair, then a lone high surrogate at the end
        {kyro, "Xtr", "no value"},
        {kyro, "Outside", "no value"},
        {kyro, "Only", "no value"},  // in a key one letter apart
        {"Software\\PowerVR\\KYR", "Str", "no key"},
        {"Software\\PowerVR\\KYRO2", "Str", "no key"},
        {"Software\\Deep", "V", "no value"},  // a key that exists as a parent only
        {"Software\\Cut", "Cut", "no key"},   // its key line has no ]
    };
    for (const auto& c : cases) EXPECT_EQ(query(c[0].c_str(), c[1].c_str()), c[2]) << c[1];
    EXPECT_EQ(query(kyro, "Str", 5), "234 1 6 #####");  // too small: the size it needs, nothing written
    // Lines cut short anywhere give no value, never a wrong one.
    for (const char* value : {"NoQuote", "T", "U", "V", "W", "X", "Y", "S2", "Z", "EndHex"}) {
        EXPECT_EQ(query(kyro, value), "no value") << value;
    }
    EXPECT_EQ(openHiveKey("WINE REGISTRY Version 3\n[Software\\\\PowerVR\\\\KYRO] 1\n", kyro), nullptr);
}
