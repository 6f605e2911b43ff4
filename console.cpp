#include "console.h"

#include <cstdio>
#include <cstdlib>

void waitForReturn() {
    // Whatever was printed must be on the screen before the program waits.
    std::fflush(stdout);
    std::getchar();
}

void failWith(std::initializer_list<const char*> texts) {
    for (const char* text : texts) std::puts(text);
    waitForReturn();
    std::exit(1);
}
