#include "text/profile_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ProfileLine, LinesStayWholeAcrossTheReadersBlocks) {
    // Lines longer than the reader's block, and lines that straddle block ends.
    std::string bytes = "\"Key\"=\"" + std::string(200000, 'v') + "\"\n";
    for (int i = 0; i < 5000; ++i) bytes += "Name: game " + std::to_string(i) + "\n";
    bytes += "  tail  " + std::string(70000, ' ') + "end\n";
    // A NUL ends the text; the line still ends only at its line end, blocks later.
    bytes += "Name: A" + std::string(1, '\0') + std::string(150000, 'x') + "\nTyp: T\n";
    // Blanks up to a block's end and a CR after them make a blank line.
    bytes += std::string(70000, ' ') + "\r\nExe: e";

    std::FILE* file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    std::vector<std::string> lines;
    {
        ProfileStream stream(file);
        QString line;
        bool blank;
        while (readProfileLine(stream, line, blank) == ReadResult::Line) {
            lines.push_back((blank ? "(blank)" : "") + std::string(line));
        }
    }
    std::fclose(file);
    ASSERT_EQ(lines.size(), 5006u);
    EXPECT_EQ(lines[0], "\"Key\"=\"" + std::string(200000, 'v') + "\"");
    EXPECT_EQ(lines[4321], "Name: game 4320");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 5001, lines.end()),
              (std::vector<std::string>{"tail end", "Name: A", "Typ: T", "(blank)", "Exe: e"}));
}
