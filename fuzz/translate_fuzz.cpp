// Profile-list bytes in, update-file bytes out, through the program's own
// reader and writer. Checks what must hold for every list, not only that
// nothing crashes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "profile/update_file.h"
#include "text/profile_line.h"

namespace {

const char kPath[] = "HKEY_LOCAL_MACHINE\\Drv\\KYRO\\Game Settings";
const char kDummy[] = "\"UIDummyName\"=\"";

void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

std::FILE* openBytes(const std::uint8_t* data, std::size_t size) {
    // fmemopen refuses an empty buffer; an empty list reads like /dev/null.
    if (size == 0) return std::fopen("/dev/null", "r");
    return fmemopen(const_cast<std::uint8_t*>(data), size, "r");
}

std::string translate(const std::uint8_t* data, std::size_t size) {
    std::FILE* profile = openBytes(data, size);
    char* bytes = nullptr;
    std::size_t length = 0;
    std::FILE* update = open_memstream(&bytes, &length);
    WriteOutcome outcome;
    {
        ProfileStream stream(profile);
        QString line;
        outcome = writeUpdateFile(stream, update, line, kPath);
    }
    std::fclose(update);
    std::fclose(profile);
    check(outcome == WriteOutcome::Complete, "a list in memory translates completely");
    std::string file(bytes, length);
    std::free(bytes);
    return file;
}

// Output lines whose text comes from the list rather than from the writer:
// value lines copied as they stand, and executables that start a line of
// their own ("<exe>]").
std::set<std::string> linesFromList(const std::uint8_t* data, std::size_t size) {
    std::set<std::string> lines;
    std::FILE* profile = openBytes(data, size);
    {
        ProfileStream stream(profile);
        QString line;
        bool blank;
        while (readProfileLine(stream, line, blank) == ReadResult::Line) {
            lines.insert(line.c_str());
            if (splitKey(line) == "Exe") lines.insert(std::string(splitValue(line)) + "]");
        }
    }
    std::fclose(profile);
    return lines;
}

// REGEDIT4 string data up to its closing quote, which must end the line.
bool wellFormedString(const std::string& line, std::size_t from) {
    for (std::size_t i = from; i < line.size(); ++i) {
        if (line[i] == '"') return i + 1 == line.size();
        if (line[i] == '\\') {
            if (++i == line.size() || (line[i] != '\\' && line[i] != '"')) return false;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string file = translate(data, size);
    check(file == translate(data, size), "the same list gives the same file");
    check(file.compare(0, 9, "REGEDIT4\n") == 0, "the file starts with REGEDIT4 and a line end");
    check(file.find('\0') == std::string::npos, "the file holds no NUL byte");

    const std::string keyStart = std::string("[") + kPath + "\\";
    std::set<std::string> copied;
    bool copiedKnown = false;
    std::size_t start = 0;
    while (start < file.size()) {
        std::size_t end = file.find('\n', start);
        if (end == std::string::npos) end = file.size();
        std::string line = file.substr(start, end - start);
        start = end + 1;

        if (line[0] == '[') {
            check(line.compare(0, keyStart.size(), keyStart) == 0, "every key lies below the settings key");
        }
        if (line.compare(0, sizeof kDummy - 1, kDummy) == 0 && !wellFormedString(line, sizeof kDummy - 1)) {
            if (!copiedKnown) {
                copied = linesFromList(data, size);
                copiedKnown = true;
            }
            check(copied.count(line) == 1, "the name is well-formed string data");
        }
    }
    return 0;
}
