#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "test_support.h"

using namespace std::string_literals;

namespace {

const char kHive[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\PowerVR\\\\KYRO] 1796587160\n"
    "#time=1dd85bc48949ce2\n"
    "\"LatestDrvReg\"=\"System\\\\CurrentControlSet\\\\Control\\\\Video\\\\{ABC}\\\\0000\"\n"
    "\"Quote\"=\"a\\\"b\\\\c \\xe9 \\x00e91 \xc3\xa9 \xe2\x82\xac \\x20ac \xf0\x9f\x98\x80 \\101\\t\\z\"\n"
    "\"Str\"=str:\"plain\"\n"
    "\"Expand\"=str(2):\"%SystemRoot%\\\\x\"\n"
    "\"Multi\"=str(7):\"a\\0b\\0\"\n"
    "\"Dword\"=dword:0000002a\n"
    "\"Bin\"=hex:01,02,ff\n"
    "\"Long\"=hex(3):00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
    "  16,17,18\n"
    "\"HexSz\"=hex(1):41,00,42,00\n"
    "@=\"default\"\n"
    "\"Bad\"=\"no closing quote\n"
    "\r\n"
    "[Software\\\\Other] 1\n"
    "\"Outside\"=\"x\"\n"
    "[Software\\\\Deep\\\\Down\\\\Key] 1\n"
    "\"V\"=\"1\"\n";

struct Query {
    LONG status;
    DWORD type;
    DWORD size;
    std::string data;
};

class WineRegistry : public ::testing::Test {
protected:
    void SetUp() override { useHive(kHive); }
    void TearDown() override { unsetenv("WINEPREFIX"); }

    void useHive(const std::string& text) {
        dir_.write("system.reg", text);
        setenv("WINEPREFIX", dir_.path("").c_str(), 1);
    }

    LONG open(const char* path, HKEY& key) {
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
    }

    Query query(const char* keyPath, const char* value, DWORD size = 255) {
        HKEY key;
        Query q{open(keyPath, key), REG_NONE, size, std::string(size, '#')};
        if (q.status != ERROR_SUCCESS) return q;
        q.status = RegQueryValueExA(key, value, nullptr, &q.type, reinterpret_cast<LPBYTE>(&q.data[0]), &q.size);
        if (q.status == ERROR_SUCCESS) q.data.resize(q.size);
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        return q;
    }

    TempDir dir_;
};

}  // namespace

TEST_F(WineRegistry, ReadsEveryValueForm) {
    struct Case {
        const char* value;
        DWORD type;
        std::string data;
    };
    const Case cases[] = {
        {"LatestDrvReg", REG_SZ, "System\\CurrentControlSet\\Control\\Video\\{ABC}\\0000\0"s},
        {"Quote", REG_SZ, "a\"b\\c \xe9 \xe9" "1 \xe9 ? ? ? A\tz\0"s},
        {"Str", REG_SZ, "plain\0"s},
        {"Expand", REG_EXPAND_SZ, "%SystemRoot%\\x\0"s},
        {"Multi", REG_MULTI_SZ, "a\0b\0\0"s},
        {"Dword", REG_DWORD, "\x2a\0\0\0"s},
        {"Bin", REG_BINARY, "\x01\x02\xff"},
        {"Long", REG_BINARY, "\0\1\2\3\4\5\6\7\10\11\12\13\14\15\16\17\20\21\22\23\24\25\26\27\30"s},
        {"HexSz", REG_SZ, "AB"},
        {"", REG_SZ, "default\0"s},
        {nullptr, REG_SZ, "default\0"s},
        {"latestdrvreg", REG_SZ, "System\\CurrentControlSet\\Control\\Video\\{ABC}\\0000\0"s},
    };
    for (const Case& c : cases) {
        Query q = query("SOFTWARE\\POWERVR\\kyro", c.value);
        EXPECT_EQ(q.status, ERROR_SUCCESS) << c.value;
        EXPECT_EQ(q.type, c.type) << c.value;
        EXPECT_EQ(q.data, c.data) << c.value;
    }
}

TEST_F(WineRegistry, ReportsMissingKeysAndValues) {
    HKEY key;
    EXPECT_EQ(open("Software\\PowerVR\\KYRO2", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open("Software\\PowerVR\\KYR", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open("Software\\Nowhere", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(query("Software\\PowerVR\\KYRO", "Missing").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(query("Software\\PowerVR\\KYRO", "Bad").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(query("Software\\PowerVR\\KYRO", "Outside").status, ERROR_FILE_NOT_FOUND);

    // A key that is only a parent of written keys exists, without values.
    ASSERT_EQ(open("Software\\Deep", key), ERROR_SUCCESS);
    HKEY below;
    EXPECT_EQ(RegOpenKeyExA(key, "Down\\Key", 0, KEY_READ, &below), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(below), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(WineRegistry, SaysHowMuchRoomDataNeeds) {
    Query exact = query("Software\\PowerVR\\KYRO", "Str", 6);
    EXPECT_EQ(exact.status, ERROR_SUCCESS);
    EXPECT_EQ(exact.data, "plain\0"s);

    Query tooSmall = query("Software\\PowerVR\\KYRO", "Str", 5);
    EXPECT_EQ(tooSmall.status, ERROR_MORE_DATA);
    EXPECT_EQ(tooSmall.size, 6u);
    EXPECT_EQ(tooSmall.type, REG_SZ);
    EXPECT_EQ(tooSmall.data, "#####");  // nothing written past, or into, a buffer that is too small
}

TEST_F(WineRegistry, RefusesHivesItCannotTrust) {
    const std::string damaged[] = {
        "",
        "WINE REGISTRY Version 1\n[Software\\\\PowerVR\\\\KYRO] 1\n\"LatestDrvReg\"=\"x\"\n",
        "REGEDIT4\n[Software\\\\PowerVR\\\\KYRO] 1\n",
    };
    for (const std::string& hive : damaged) {
        useHive(hive);
        HKEY key;
        EXPECT_EQ(open("Software\\PowerVR\\KYRO", key), ERROR_FILE_NOT_FOUND) << hive;
    }

    unsetenv("WINEPREFIX");
    setenv("HOME", dir_.path("no-such-home").c_str(), 1);
    HKEY key;
    EXPECT_EQ(open("Software\\PowerVR\\KYRO", key), ERROR_FILE_NOT_FOUND);

    // Lines cut short anywhere give no value and no key, never more.
    useHive(std::string("WINE REGISTRY Version 2\r\n[Software\\\\PowerVR\\\\KYRO\n\"LatestDrvReg\"=\"x\"\n") +
            "[Software\\\\A] 1\n\"H\"=hex:01,\\\n" + "\"S\"=str(2):\"x\n\"T\"=str(\n\"U\"=dword:\n\"W\"=\\");
    EXPECT_EQ(open("Software\\PowerVR\\KYRO", key), ERROR_FILE_NOT_FOUND);
    for (const char* value : {"H", "S", "T", "U", "W"}) {
        EXPECT_EQ(query("Software\\A", value).status, ERROR_FILE_NOT_FOUND) << value;
    }
}
