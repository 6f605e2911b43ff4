#pragma once

#include <cstdio>
#include <cstdlib>

/// Ends the fuzz run with a finding when a property does not hold.
inline void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}
