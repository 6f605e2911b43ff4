#include "text/qstring.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(QString, ReserveKeepsTheBytesItGrowsFromAndReusesWhatIsLargeEnough) {
    QString buffer;
    char* array = buffer.reserve(4);
    EXPECT_STREQ(buffer, "");
    std::memcpy(array, "abc", 3);  // filled, not yet terminated
    array = buffer.reserve(100000);
    array[3] = '\0';
    EXPECT_STREQ(buffer, "abc");
    buffer = "a shorter text";
    EXPECT_EQ(buffer.c_str(), array);
}
