// What the program prints of its own, with "\n" line ends (end-to-end tests
// turn them into the build's line ends with e2e::text).
#pragma once

#include "version.h"

namespace expected {

inline constexpr char banner[] = "ferrik " FERRIK_VERSION "\n";

inline constexpr char usage[] =
    "\nferrik [+|-nnn] [-f] [-b] [-u] x:\\pathname\\filename.ext\n"
    "\n"
    "-b   - beeps when the ferrik -f resumes listing\n"
    "-f   - waits for more input from the file\n"
    "-u   - prints a unicode encoded text file\n"
    "+nnn - begins the list nnn bytes from the start of the file\n"
    "-nnn - begins the list nnn bytes from the end of the file\n"
    "       (Default offset is -400)\n";

}  // namespace expected
