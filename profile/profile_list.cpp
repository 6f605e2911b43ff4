#include "profile/profile_list.h"

#include <cstring>

bool scanDate(ProfileStream& stream, QString& line, QString& fileDate) {
    bool blank = false;
    ReadResult result;
    while ((result = readProfileLine(stream, line, blank)) == ReadResult::Line) {
        if (blank) continue;
        if (std::strcmp(splitKey(line), "Date") == 0) {
            fileDate = splitValue(line);
            return true;
        }
    }
    return result == ReadResult::End;
}
