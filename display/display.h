// The run driver and the displays it feeds: bytes, UTF-16LE text, and the
// follow-mode wait between reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "cli/arguments.h"
#include "platform/platform.h"

namespace ferrik {

inline constexpr std::uint64_t default_offset = 400;   // counted from the end
inline constexpr std::size_t read_size = 128 * 1024;
inline constexpr std::uint64_t transfer_size = 16 * 1024 * 1024;
inline constexpr unsigned poll_interval_ms = 1000;

// The open file and how far it has been shown.  One instance for the run.
struct ReadState {
    FileHandle handle;
    std::uint64_t position;        // file position of the next read
    std::uint64_t size;            // result of the last size query
    std::uint64_t baseline_size;   // what a follow-mode wait compares with
    std::size_t bytes_read;        // delivered by the last read_chunk()
    std::size_t held;              // bytes past `position` read but not shown
    unsigned char buffer[read_size];
};

extern RunSettings run_settings;
extern ReadState read_state;

/*
** The program: banner, command line, open, start position, display, and
** with -f the follow loop.  Returns the exit code: 0 after a complete
** display, -1 after a command-line, open, read or output error.  With -f
** it returns only on an error.
*/
int run_display(int argc, const char* const* argv);

/*
** Returns where the display starts in a file of `size` bytes.  A forward
** offset past the end falls back to the default, which is then stored in
** `settings`.
*/
std::uint64_t choose_start(RunSettings& settings, std::uint64_t size);

/*
** Reads up to `request` bytes (at most read_size) at read_state.position
** into the buffer, setting bytes_read (0 after an error).  Does not move the
** position.  Returns 0, or -1 on a read error.
*/
int read_chunk(std::size_t request);

/*
** Shows everything from read_state.position to the end of the file and
** leaves the position there.  Returns 0, or -1 after a read error (which it
** reports) or a failed write.
*/
int read_loop();

/*
** Blocks until the file's size differs from what has been shown, then
** leaves read_state.position where reading resumes.
*/
void wait_for_change();

/*
** When the file starts with the UTF-16LE byte-order mark and -u was not
** given, asks whether to show it as UTF-16 text and sets `unicode` on an
** answer of y or Y.  Leaves read_state.position at 0.
*/
void check_byte_order_mark();

/*
** Writes a chunk of UTF-16LE text, one byte per 16-bit unit: a unit up to
** 0xFF as that byte, any other as '?'.  A last odd byte is not shown.  With
** `file_start`, a leading byte-order mark is left out.  Returns 0, or -1
** once output has failed.
*/
int print_utf16_chunk(std::span<const unsigned char> chunk, bool file_start);

/* Writes a chunk as it is.  Returns 0, or -1 once output has failed. */
int print_byte_chunk(std::span<const unsigned char> chunk);

}  // namespace ferrik
