#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

using namespace std::string_literals;

namespace {

const char kHive[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
    "[Software\\\\Other] 1\n"
    "\"Outside\"=\"x\"\n"
    "[Software\\\\Deep\\\\Down] 1\n"
    "[Software\\\\Cut\n"
    "\"Cut\"=\"x\"\n"
    "\r\n"
    "[Xoftware\\\\PowerVR\\\\KYRO] 1\n"
    "\"Only\"=\"x\"\n"
    "[Software\\\\PowerVR\\\\KYRO] 1796587160\r\n"
    "#time=1dd85bc48949ce2\n"
    "\"Quote\"=\"a\\\"b\\\\c \\xe9 \\x00e91 \xc3\xa9 \xe2\x82\xac \\x20ac \xf0\x9f\x98\x80 \\101\\t\\z\"\n"
    "\"Str\"=str:\"plain\"\n"
    "\"Expand\"=str(2):\"%SystemRoot%\\\\x\"\n"
    "\"Multi\"=str(7):\"a\\0b\\0\"\n"
    "\"Dword\"=dword:0000002a\r\n"
    "\"Upper\"=dword:0000002A\n"
    "\"Long\"=hex(3):00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
    "  16,17,18\n"
    "\"HexSz\"=hex(1):41,00,42,00\n"
    "@=\"default\"\n"
    "\"NoQuote\"=\"x\n\"T\"=str(\n\"U\"=dword:\n\"W\"=\\\n\"X\"=hex:01,zz\n"
    "\"EndHex\"=hex:01,\\\n";

struct Query {
    LONG status;
    DWORD type;
    std::string data;  // as read; for ERROR_MORE_DATA, the size asked for and what the buffer holds
};

// Opens `keyPath` and reads `value` into a buffer of `room` bytes.
Query query(const char* keyPath, const char* value, DWORD room = 255) {
    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return {status, REG_NONE, ""};
    std::string buffer(room, '#');
    DWORD type = REG_NONE;
    DWORD size = room;
    status = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<LPBYTE>(&buffer[0]), &size);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    if (status == ERROR_MORE_DATA) return {status, type, std::to_string(size) + " " + buffer};
    return {status, type, buffer.substr(0, status == ERROR_SUCCESS ? size : 0)};
}

}  // namespace

TEST(WineRegistry, ReadsWhatWineserverWrites) {
    char prefix[] = "/tmp/profsync-hive-XXXXXX";
    ASSERT_NE(mkdtemp(prefix), nullptr);
    std::string hive = std::string(prefix) + "/system.reg";
    std::FILE* file = std::fopen(hive.c_str(), "wb");
    std::fputs(kHive, file);
    std::fclose(file);
    setenv("WINEPREFIX", prefix, 1);
    const char kyro[] = "SOFTWARE\\POWERVR\\kyro";  // names compare without regard to case
    struct Case {
        const char* key;
        const char* value;
        DWORD room;
        Query result;
    };
    const Case cases[] = {
        {kyro, "quote", 255, {ERROR_SUCCESS, REG_SZ, "a\"b\\c \xe9 \xe9" "1 \xe9 ? ? ? A\tz\0"s}},
        {kyro, "Str", 255, {ERROR_SUCCESS, REG_SZ, "plain\0"s}},
        {kyro, "Expand", 255, {ERROR_SUCCESS, REG_EXPAND_SZ, "%SystemRoot%\\x\0"s}},
        {kyro, "Multi", 255, {ERROR_SUCCESS, REG_MULTI_SZ, "a\0b\0\0"s}},
        {kyro, "Dword", 255, {ERROR_SUCCESS, REG_DWORD, "\x2a\0\0\0"s}},
        {kyro, "Upper", 255, {ERROR_SUCCESS, REG_DWORD, "\x2a\0\0\0"s}},
        {kyro, "Long", 255, {ERROR_SUCCESS, REG_BINARY, "\0\1\2\3\4\5\6\7\10\11\12\13\14\15\16\17\20\21\22\23\24\25\26\27\30"s}},
        {kyro, "HexSz", 255, {ERROR_SUCCESS, REG_SZ, "AB"}},
        {kyro, "", 255, {ERROR_SUCCESS, REG_SZ, "default\0"s}},
        {kyro, nullptr, 255, {ERROR_SUCCESS, REG_SZ, "default\0"s}},
        {kyro, "Str", 6, {ERROR_SUCCESS, REG_SZ, "plain\0"s}},
        {kyro, "Str", 5, {ERROR_MORE_DATA, REG_SZ, "6 #####"}},  // nothing written into a buffer too small
        {kyro, "Missing", 255, {ERROR_FILE_NOT_FOUND, REG_NONE, ""}},
        {kyro, "Outside", 255, {ERROR_FILE_NOT_FOUND, REG_NONE, ""}},
        {kyro, "Only", 255, {ERROR_FILE_NOT_FOUND, REG_NONE, ""}},  // in a key one letter apart
        {kyro, "Xtr", 255, {ERROR_FILE_NOT_FOUND, REG_NONE, ""}},
        {"Software\\PowerVR\\KYR", "Str", 255, {ERROR_FILE_NOT_FOUND, REG_NONE, ""}},
        {"Software\\PowerVR\\KYRO2", "Str", 255, {ERROR_FILE_NOT_FOUND, REG_NONE, ""}},
        {"Software\\Deep", "V", 255, {ERROR_FILE_NOT_FOUND, REG_NONE, ""}},  // exists as a parent only
        {"Software\\Cut", "Cut", 255, {ERROR_FILE_NOT_FOUND, REG_NONE, ""}},  // its key line has no ]
    };
    for (const Case& c : cases) {
        Query q = query(c.key, c.value, c.room);
        EXPECT_EQ(q.status, c.result.status) << c.key << " " << (c.value ? c.value : "(null)");
        EXPECT_EQ(q.type, c.result.type) << c.value;
        EXPECT_EQ(q.data, c.result.data) << c.value;
    }
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Deep", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    // Lines cut short anywhere give no value, never a wrong one.
    for (const char* value : {"NoQuote", "T", "U", "W", "X", "Y", "EndHex"}) {
        EXPECT_EQ(query(kyro, value).status, ERROR_FILE_NOT_FOUND) << value;
    }
    std::remove(hive.c_str());
    rmdir(prefix);
}
