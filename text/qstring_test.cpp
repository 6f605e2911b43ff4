#include "text/qstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

TEST(QString, OwnsItsTextWhateverItIsMadeFrom) {
    QString s("Game");
    char* joined = s += " Settings";
    EXPECT_EQ(joined, s.c_str());
    s += s.c_str();  // the argument is the string's own array
    EXPECT_STREQ(s, "Game SettingsGame Settings");
    s = s.c_str() + 13;  // and here a text inside it
    EXPECT_STREQ(s, "Game Settings");

    QString copy(s);
    copy += "!";
    EXPECT_STREQ(s, "Game Settings");
    QString moved(std::move(copy));
    EXPECT_STREQ(moved, "Game Settings!");
    EXPECT_STREQ(copy, "");  // a moved-from string is empty, never null
}

TEST(QString, ReserveKeepsTheBytesItGrowsFrom) {
    QString buffer;
    char* array = buffer.reserve(4);
    std::memcpy(array, "abc", 3);  // filled, not yet terminated
    array = buffer.reserve(100000);
    array[3] = '\0';
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer.reserve(10), array);  // large enough: reused
}
