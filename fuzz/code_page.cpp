// The code page the fuzz target translates in, in place of the system's:
// Latin-1, as the program has it on Linux, or Windows' code page 932
// (Japanese), with the lead bytes that IsDBCSLeadByte names there.

#include "code_page.h"

#include "platform/os.h"

bool codePage932 = false;

bool isLeadByte(char c) {
    unsigned char byte = static_cast<unsigned char>(c);
    return codePage932 && ((byte >= 0x81 && byte <= 0x9f) || (byte >= 0xe0 && byte <= 0xfc));
}

// In code page 932 only ASCII and the half-width katakana, which are one
// byte each there; every other character as '?', as the program gives a
// character it cannot convert.
std::size_t ansiChar(unsigned long codePoint, char* out) {
    if (!codePage932) {
        out[0] = codePoint <= 0xff ? static_cast<char>(codePoint) : '?';
    } else {
        out[0] = codePoint >= 0xff61 && codePoint <= 0xff9f ? static_cast<char>(codePoint - 0xff61 + 0xa1) : '?';
    }
    return 1;
}
