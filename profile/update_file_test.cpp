#include <gtest/gtest.h>

#include <string>

#include "profile/profile_list.h"
#include "profile/update_file.h"
#include "test_support.h"

namespace {

const char kPath[] = "HKEY_LOCAL_MACHINE\\Drv\\KYRO\\Game Settings";

struct Translation {
    WriteOutcome outcome;
    std::string file;
};

// Runs the second pass over `list` through text-mode files, as the program does.
// `broken` reads: the list cannot be read. `updateMode` "r": the file cannot be written.
Translation translate(const std::string& list, const char* updateMode = "w", bool broken = false) {
    TempDir dir;
    dir.write("kyro.txt", list);
    dir.write("profsync.reg", "");
    std::FILE* profile = broken ? openUnreadable(dir.path("kyro.txt")) : std::fopen(dir.path("kyro.txt").c_str(), "r");
    std::FILE* update = std::fopen(dir.path("profsync.reg").c_str(), updateMode);
    WriteOutcome outcome;
    {
        ProfileStream stream(profile);
        QString line;
        outcome = writeUpdateFile(stream, update, line, kPath);
    }
    std::fclose(update);
    std::fclose(profile);
    return {outcome, dir.read("profsync.reg")};
}

std::string dateOf(const std::string& list) {
    TempDir dir;
    dir.write("kyro.txt", list);
    std::FILE* profile = std::fopen(dir.path("kyro.txt").c_str(), "r");
    QString fileDate;
    {
        ProfileStream stream(profile);
        QString line;
        EXPECT_TRUE(scanDate(stream, line, fileDate));
    }
    std::fclose(profile);
    return fileDate.c_str();
}

}  // namespace

TEST(UpdateFile, WritesEachLineAsTheRulesSay) {
    const std::string header = "REGEDIT4\n";
    const std::string key = std::string("[") + kPath + "\\";
    struct Case {
        const char* what;
        std::string list;
        std::string file;
    };
    const Case cases[] = {
        {"empty list", "", header},
        {"date alone", "Date: 01.02.2006\r\n", header},
        {"two well-formed games",
         "Date: 01.02.2006\n\n  Name:  Some   Game\n  Typ: D3D\n\tExe: game.exe\n  \"Fog\"=\"1\"\n"
         "\"Mip Bias\"=\"-2\"\n\nName: Other\nTyp: OGL\nExe: other.exe\n",
         header + "\n; Some Game\n" + key + "D3D\\game.exe]\n\"UIDummyName\"=\"Some Game\"\n\"Fog\"=\"1\"\n"
             "\"Mip Bias\"=\"-2\"\n" + "\n; Other\n" + key + "OGL\\other.exe]\n\"UIDummyName\"=\"Other\"\n"},
        {"values before any game", "\"A\"=\"1\"\nName: N\n",
         header + "\"A\"=\"1\"\n\n; N"},
        {"value right after a name", "Name: N\n\"A\"=\"1\"\n", header + "\n; N\"A\"=\"1\"\n"},
        {"value right after a type", "Typ: T\n\"A\"=\"1\"\nExe: e\n",
         header + "\n" + key + "T\\\"A\"=\"1\"\ne]\n\"UIDummyName\"=\"\"\n"},
        {"executable right after a name", "Name: N\nExe: e\n", header + "\n; Ne]\n\"UIDummyName\"=\"N\"\n"},
        {"name carries to the next game", "Name: N\nTyp: T\nExe: a\nTyp: U\nExe: b",
         header + "\n; N\n" + key + "T\\a]\n\"UIDummyName\"=\"N\"\n\n" + key + "U\\b]\n\"UIDummyName\"=\"N\"\n"},
        {"type left open at the end", "Typ: T\n", header + "\n" + key + "T\\"},
        {"key values without a blank or without a colon", "Name:\nTyp:T\nExe\n",
         header + "\n; \n" + key + "T\\]\n\"UIDummyName\"=\"\"\n"},
        {"lines with colons, key lines and unknown keys are dropped",
         "\"P\"=\"C:\\\\x\"\n\"D\"=dword:00000001\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n[HKEY_CURRENT_USER\\X]\n"
         "name: lower\nDate\n",
         header + "Date\n"},
        {"executable that would start a key line of its own",
         "Name: N\nTyp: T\nExe: e\nExe: [-HKEY_LOCAL_MACHINE\\SOFTWARE\n\"A\"=\"1\"\nExe: [x\nTyp: U\nExe: [y\n",
         header + "\n; N\n" + key + "T\\e]\n\"UIDummyName\"=\"N\"\n\"A\"=\"1\"\n\n" + key +
             "U\\[y]\n\"UIDummyName\"=\"N\"\n"},
        {"name as registry string data", "Name: Say \"Hi\" C:\\Games\\\nTyp: T\nExe: e\n",
         header + "\n; Say \"Hi\" C:\\Games\\\n" + key +
             "T\\e]\n\"UIDummyName\"=\"Say \\\"Hi\\\" C:\\\\Games\\\\\"\n"},
    };
    for (const Case& c : cases) {
        Translation t = translate(c.list);
        EXPECT_EQ(t.outcome, WriteOutcome::Complete) << c.what;
        EXPECT_EQ(t.file, onDisk(c.file)) << c.what;
    }
}

TEST(UpdateFile, ReportsWhichSideFailed) {
    EXPECT_EQ(translate("Name: N\n", "r").outcome, WriteOutcome::WriteFailed);
    EXPECT_EQ(translate("Name: N\n", "w", true).outcome, WriteOutcome::ReadFailed);
}

TEST(ProfileList, FindsTheFirstDateLine) {
    struct Case {
        const char* list;
        const char* date;
    };
    const Case cases[] = {
        {"Date: 04.04.2005\n", "04.04.2005"},
        {"Date:04.04.2005\n", "04.04.2005"},
        {"Date:   \n", ""},
        {"Date\n", ""},
        {"Date : 1\nDATE: 2\n", ""},
        {"\n  Date:  01.01.2006 \nDate: 02.02.2006\n", "01.01.2006"},
        {"Name: N\nTyp: T\nExe: e\nDate: 03.03.2006", "03.03.2006"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(dateOf(c.list), c.date) << c.list;
}
