// profsync: writes the game profiles of "kyro.txt" into a REGEDIT4 file for
// the KYRO driver's game-settings key and hands it to the registry editor.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "driver/settings_key.h"
#include "platform/os.h"
#include "profile/left_out.h"
#include "profile/profile_list.h"
#include "profile/update_file.h"
#include "text/profile_line.h"
#include "text/qstring.h"

/// The date of the profiles this program was written against.
QString date("04.04.2005");

namespace {

const char kProfileList[] = "kyro.txt";
const char kUpdateFile[] = "profsync.reg";
const char kCannotOpenList[] = "Could not open kyro.txt to read. Press RETURN to exit program...";
const char kCannotReadList[] = "Could not read kyro.txt. Press RETURN to exit program...";

/// Returns the keep flag: true when the one argument is "/e".
bool readCommandLine(int argc, char** argv) {
    if (argc > 2) failWith({"You only could pass maximally one parameter. Press RETURN to exit program..."});
    if (argc < 2) return false;
    if (std::strcmp(argv[1], "/e") != 0)
        failWith({"Unknown parameter passed. Press RETURN to exit program..."});
    return true;
}

ProfileList openProfileList() {
    ProfileList list{openTextForReading(kProfileList), false};
    if (list.file == nullptr) failWith({kCannotOpenList});
    if (!startProfileList(list)) {
        std::fclose(list.file);
        failWith({kCannotReadList});
    }
    return list;
}

/// First pass over the list: its date, empty when it has none.
QString readFileDate(QString& line) {
    ProfileList list = openProfileList();
    QString fileDate;
    bool read = scanDate(list, line, fileDate);
    std::fclose(list.file);
    if (!read) failWith({kCannotReadList});
    return fileDate;
}

void printBanner(const QString& fileDate) {
    std::puts("Updates and creates new game profiles for PowerVR-Kyro graphic cards\n");
    std::puts("Written by " PROFSYNC_AUTHOR "\nErrors and comments to " PROFSYNC_CONTACT);
    std::printf("Base file date: %s\n", date.c_str());
    std::printf("Registry file date: %s\n\n", fileDate.c_str());
}

/// Second pass: the complete update file, or none at all.
void createUpdateFile(QString& line, const QString& settingsKeyPath, LeftOutLines& leftOut) {
    ProfileList profile = openProfileList();
    std::FILE* update = openUpdateFile(kUpdateFile, profile.file);
    if (update == nullptr) {
        std::fclose(profile.file);
        failWith({"Could not open profsync.reg to write. Press RETURN to exit program..."});
    }

    WriteOutcome outcome = writeUpdateFile(profile, update, line, settingsKeyPath, leftOut);
    // Buffered data reaches the disk only here, so the close decides as much as any write.
    bool closed = std::fclose(update) == 0;
    std::fclose(profile.file);
    if (outcome != WriteOutcome::Complete || !closed) {
        std::remove(kUpdateFile);
        failWith({outcome == WriteOutcome::ReadFailed
                      ? kCannotReadList
                      : "Could not write profsync.reg. Press RETURN to exit program..."});
    }
}

/// Hands the update file to the registry editor, which asks the user to
/// confirm; after the user's RETURN the file goes unless it is to be kept.
/// The lines left out of the file are reported first, so that the user can
/// read them before answering the editor.
void importUpdateFile(bool keep, const LeftOutLines& leftOut) {
    std::puts("Update-File created.\n");
    leftOut.print();
    std::puts(
        "New registry keys will be imported.\nPlease press \"Yes\" in the window\n\n"
        "and then press RETURN to exit programme...");
    // The editor shares the console: our text must come before its own.
    std::fflush(stdout);
    // Whether the editor ran or the user declined changes nothing here.
    QString command = registryEditor();
    if (!command.empty()) {
        command += " profsync.reg";
        (void)std::system(command);
    }
    waitForReturn();
    if (!keep) std::remove(kUpdateFile);
}

}  // namespace

int main(int argc, char** argv) {
    char valueBuffer[kValueBufferSize];
    bool keep = readCommandLine(argc, argv);
    QString line;  // both passes read through it
    QString fileDate = readFileDate(line);
    printBanner(fileDate);
    QString settingsKeyPath = locateSettingsKey(valueBuffer);
    LeftOutLines leftOut;
    createUpdateFile(line, settingsKeyPath, leftOut);
    importUpdateFile(keep, leftOut);
    return 0;
}
