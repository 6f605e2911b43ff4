#pragma once

#include <initializer_list>

// Who answers for this program, as the banner and the registry failures name it.
#define PROFSYNC_AUTHOR "the profsync developers"
#define PROFSYNC_CONTACT "the profsync issue tracker"

/// Reads one character from standard input (on a console: waits for RETURN).
/// End of input counts as that character.
void waitForReturn();

/// Ends the run after a failure: each text on its own line of standard
/// output, one character read from standard input, exit code 1.
[[noreturn]] void failWith(std::initializer_list<const char*> texts);
