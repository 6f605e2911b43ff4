#include "text/profile_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct Line {
    std::string text;
    bool blank;
    bool operator==(const Line& other) const { return text == other.text && blank == other.blank; }
};

std::ostream& operator<<(std::ostream& out, const Line& line) {
    return out << '"' << line.text << '"' << (line.blank ? " blank" : "");
}

// Every line of `bytes` as the reader hands it out, read from a text-mode file.
std::vector<Line> readLines(const std::string& bytes) {
    TempDir dir;
    dir.write("kyro.txt", bytes);
    std::FILE* file = std::fopen(dir.path("kyro.txt").c_str(), "r");
    std::vector<Line> lines;
    {
        ProfileStream stream(file);
        QString line;
        bool blank;
        ReadResult result;
        while ((result = readProfileLine(stream, line, blank)) == ReadResult::Line) {
            lines.push_back({line.c_str(), blank});
        }
        EXPECT_EQ(result, ReadResult::End);
    }
    std::fclose(file);
    return lines;
}

}  // namespace

TEST(ProfileLine, NormalisesWhiteSpaceAndLineEnds) {
    struct Case {
        std::string bytes;
        std::vector<Line> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"   Name:\t\tSome   Game  \n", {{"Name: Some Game", false}}},
        {"\n \t \n", {{"", true}, {"", true}}},
        {"Exe: a.exe\r\nTyp: x\r\n", {{"Exe: a.exe", false}, {"Typ: x", false}}},
        {"ab\rcd\n", {{"abcd", false}}},
        {"\rName: X\n", {{"Name: X", true}}},   // a CR before any text makes the line blank
        {"last  \t", {{"last", false}}},         // no line end at all
        {"   ", {{"", false}}},                   // blanks alone, no line end: empty, not blank
        {"a\tb\n\n", {{"a b", false}, {"", true}}},
        {std::string("Name: A\0B\nTyp: T\n", 17), {{"Name: A", false}, {"Typ: T", false}}},
        {std::string("\0\n", 2), {{"", false}}},  // the NUL ends the text before the line end
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readLines(c.bytes), c.lines) << "input: " << c.bytes;
    }
}

TEST(ProfileLine, LongLinesStayWhole) {
    // Longer than the reader's block, and placed so that lines straddle block ends.
    std::string value(200000, 'v');
    std::string list = "\"Key\"=\"" + value + "\"\n";
    for (int i = 0; i < 5000; ++i) list += "Name: game " + std::to_string(i) + "\n";
    list += "  tail  " + std::string(70000, ' ') + "end";

    std::vector<Line> lines = readLines(list);
    ASSERT_EQ(lines.size(), 5002u);
    EXPECT_EQ(lines[0].text, "\"Key\"=\"" + value + "\"");
    EXPECT_EQ(lines[4321].text, "Name: game 4320");
    EXPECT_EQ(lines[5001].text, "tail end");

    // A NUL ends the text; the line still ends only at its line end, blocks later.
    std::string hidden = "Name: A" + std::string(1, '\0') + std::string(150000, 'x') + "\nTyp: T\n";
    EXPECT_EQ(readLines(hidden), (std::vector<Line>{{"Name: A", false}, {"Typ: T", false}}));
    // Blanks up to a block's end and a CR after it still make a blank line.
    EXPECT_EQ(readLines(std::string(70000, ' ') + "\r\nExe: e"), (std::vector<Line>{{"", true}, {"Exe: e", false}}));
}

TEST(ProfileLine, ReportsReadErrors) {
    TempDir dir;
    dir.write("kyro.txt", "Name: X\n");
    std::FILE* file = openUnreadable(dir.path("kyro.txt"));
    ProfileStream stream(file);
    QString line;
    bool blank;
    EXPECT_EQ(readProfileLine(stream, line, blank), ReadResult::Error);
    std::fclose(file);
}

TEST(ProfileLine, SplitsKeyAndValue) {
    struct Case {
        const char* line;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"Exe: game.exe", "Exe", "game.exe"},
        {"Exe:game.exe", "Exe", "game.exe"},
        {"Name:", "Name", ""},
        {"Name: x", "Name", "x"},
        {"Name: A: B", "Name", "A: B"},
        {"Name", "Name", ""},
        {"Date : x", "Date ", "x"},
        {":", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(splitKey(c.line), c.key) << c.line;
        EXPECT_STREQ(splitValue(c.line), c.value) << c.line;
    }
}
