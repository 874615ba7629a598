// The command line: what it decided, and the parser that decides it.
#pragma once

#include <cstdint>

namespace ferrik {

// Room for the longest name any platform takes (max_name_length) and a NUL.
inline constexpr int file_name_size = 4096;

// Shown without an offset argument: the last 400 bytes.
inline constexpr std::uint64_t default_offset = 400;

// What the command line decided.  One instance for the whole run; these
// initial values are its only defaults.
struct RunSettings {
    char file_name[file_name_size] = {};   // empty: no file argument yet
    std::uint64_t offset = default_offset;
    char origin = '-';                     // '+' from the start, '-' from the end
    bool offset_given = false;
    bool follow = false;                   // -f
    bool beep = false;                     // -b
    bool unicode = false;                  // -u, or the answer to the question
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
** a bare drive, and where dot_names_are_files is false ".txt"), or -2 when
** it is longer than max_name_length as name_length() counts it.
*/
int compose_file_name(const char* argument, char* destination);

/* Prints the usage text. */
void print_usage();

}  // namespace ferrik
