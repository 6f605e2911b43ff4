#include "driver/settings_key.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "test_support.h"

namespace {

// The driver's record, as the lines of its key in a hive.
DriverRecord readWith(const std::string& keyLines, char* buffer) {
    TempDir dir;
    dir.write("system.reg", "WINE REGISTRY Version 2\n\n[Software\\\\PowerVR\\\\KYRO] 1\n" + keyLines);
    setenv("WINEPREFIX", dir.path("").c_str(), 1);
    DriverRecord record = readDriverRecord(buffer);
    unsetenv("WINEPREFIX");
    return record;
}

}  // namespace

TEST(SettingsKey, AcceptsOnlyStringsThatFit) {
    std::string longest(kValueBufferSize - 1, 'x');
    struct Case {
        std::string lines;
        DriverRecord record;
        std::string text;
    };
    const Case cases[] = {
        {"\"LatestDrvReg\"=\"System\\\\Video\\\\0000\"\n", DriverRecord::Found, "System\\Video\\0000"},
        {"\"LatestDrvReg\"=str(2):\"%X%\\\\0000\"\n", DriverRecord::Found, "%X%\\0000"},
        {"\"LatestDrvReg\"=\"\"\n", DriverRecord::Found, ""},
        {"\"LatestDrvReg\"=\"" + longest + "\"\n", DriverRecord::Found, longest},
        {"\"LatestDrvReg\"=\"" + longest + "y\"\n", DriverRecord::Unreadable, ""},
        {"\"LatestDrvReg\"=hex(1):41,00,42,00\n", DriverRecord::Found, "AB"},  // no terminator stored
        {"\"LatestDrvReg\"=dword:00000001\n", DriverRecord::Unreadable, ""},
        {"\"LatestDrvReg\"=hex:41,42,00\n", DriverRecord::Unreadable, ""},
        {"\"Other\"=\"x\"\n", DriverRecord::Unreadable, ""},
        {"\"LatestDrvReg\"=\"Video\\n0000\"\n", DriverRecord::Unreadable, ""},
        {"\"LatestDrvReg\"=\"Video\\t\"\n", DriverRecord::Unreadable, ""},
        {"\"LatestDrvReg\"=\"\\x7f\"\n", DriverRecord::Unreadable, ""},
        {"\"LatestDrvReg\"=\"Vid\\0eo\"\n", DriverRecord::Found, "Vid"},  // the text ends at its NUL
    };
    for (const Case& c : cases) {
        char buffer[kValueBufferSize];
        std::fill(buffer, buffer + kValueBufferSize, '#');
        DriverRecord record = readWith(c.lines, buffer);
        EXPECT_EQ(record, c.record) << c.lines;
        if (record == DriverRecord::Found) {
            EXPECT_EQ(buffer, c.text) << c.lines;
        }
    }

    // 255 characters stored without a terminator fill the buffer but leave no room for one.
    char buffer[kValueBufferSize];
    std::string hex;
    for (std::size_t i = 0; i < kValueBufferSize; ++i) hex += "41,00,";
    hex.pop_back();
    EXPECT_EQ(readWith("\"LatestDrvReg\"=hex(1):" + hex + "\n", buffer), DriverRecord::Unreadable);
}

TEST(SettingsKey, NoKeyMeansNoDriver) {
    TempDir dir;
    dir.write("system.reg", "WINE REGISTRY Version 2\n\n[Software\\\\PowerVR] 1\n\"LatestDrvReg\"=\"x\"\n");
    setenv("WINEPREFIX", dir.path("").c_str(), 1);
    char buffer[kValueBufferSize];
    EXPECT_EQ(readDriverRecord(buffer), DriverRecord::NoDriver);
    unsetenv("WINEPREFIX");
}

TEST(SettingsKey, BuildsThePathAroundTheRecord) {
    char buffer[kValueBufferSize];
    TempDir dir;
    dir.write("system.reg", "WINE REGISTRY Version 2\n[Software\\\\PowerVR\\\\KYRO] 1\n\"LatestDrvReg\"=\"\\\\D\\\\\"\n");
    setenv("WINEPREFIX", dir.path("").c_str(), 1);
    EXPECT_STREQ(locateSettingsKey(buffer), "HKEY_LOCAL_MACHINE\\\\D\\\\KYRO\\Game Settings");
    unsetenv("WINEPREFIX");
}
