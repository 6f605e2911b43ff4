#include "profile/profile_list.h"

bool scanDate(ProfileStream& stream, QString& line, QString& fileDate) {
    bool blank;
    ReadResult result;
    while ((result = readProfileLine(stream, line, blank)) == ReadResult::Line) {
        if (blank) continue;
        if (splitKey(line) == "Date") {
            fileDate = splitValue(line);
            return true;
        }
    }
    return result == ReadResult::End;
}
