#include "profile/update_file.h"

#include <gtest/gtest.h>

namespace {

// Translates `list` into `update`, then closes both.
WriteOutcome translate(std::FILE* file, std::FILE* update) {
    QString line;
    ProfileList list{file, false};
    LeftOutLines leftOut;
    WriteOutcome outcome = writeUpdateFile(list, update, line, "HKEY_LOCAL_MACHINE\\D", leftOut);
    std::fclose(update);
    std::fclose(file);
    return outcome;
}

}  // namespace

TEST(UpdateFile, TellsWhichSideFailed) {
    // A folder opens as a stream on Linux, and then every read of it fails.
    EXPECT_EQ(translate(std::fopen("/", "r"), std::tmpfile()), WriteOutcome::ReadFailed);
    // A stream opened for reading takes no writes.
    EXPECT_EQ(translate(std::tmpfile(), std::fopen("/dev/null", "r")), WriteOutcome::WriteFailed);
}
