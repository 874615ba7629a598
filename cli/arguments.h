// The command line: what it decided, and the parser that decides it.
#pragma once

#include <cstdint>

namespace ferrik {

inline constexpr int file_name_size = 256;   // 255 characters and a NUL

// What the command line decided.  One instance for the whole run.
struct RunSettings {
    char file_name[file_name_size];   // empty: no file argument accepted yet
    std::uint64_t offset;             // value of the offset argument
    char origin;                      // '+' from the start, '-' from the end
    bool offset_given;
    bool follow;                      // -f
    bool beep;                        // -b
    bool unicode;                     // -u, or the answer to the question
};

/*
** Walks the arguments after argv[0] and fills `settings`.  Returns 0 when
** the command line is acceptable, or -1 after printing exactly one error
** message (the caller then prints the usage text).
*/
int parse_arguments(int argc, const char* const* argv, RunSettings& settings);

/*
** Returns the value of the decimal digits in `text` (whose first character
** is a digit) and sets *error to 0; or, for more than 10 digits or anything
** after the digits, returns 0 and sets *error to -1.
*/
std::uint64_t parse_offset_number(const char* text, int* error);

/*
** Checks the shape of a file argument and copies it into `destination`.
** Returns 0, -1 when its base name is empty (a name ending in a separator,
** a bare drive, ".txt"), or -2 when it does not fit in file_name_size.
*/
int compose_file_name(const char* argument, char* destination);

/* Prints the usage text. */
void print_usage();

}  // namespace ferrik
