#include "profile/profile_list.h"

#include "text/profile_line.h"

bool scanDate(ProfileList& list, QString& line, QString& fileDate) {
    bool blank;
    ReadResult result;
    while ((result = readProfileLine(list, line, blank)) == ReadResult::Line) {
        if (blank) continue;
        // The banner's line break must not become the second byte of a character.
        cutLoneLeadByte(line);
        if (splitKey(line) == "Date") {
            fileDate = splitValue(line);
            return true;
        }
    }
    return result == ReadResult::End;
}
