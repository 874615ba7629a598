// The run driver and the displays it feeds: bytes, UTF-16LE text, and the
// follow-mode wait between reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "cli/arguments.h"
#include "output/output.h"
#include "platform/platform.h"

namespace ferrik {

inline constexpr std::size_t read_size = 128 * 1024;
inline constexpr std::uint64_t transfer_size = 16 * 1024 * 1024;
inline constexpr unsigned poll_interval_ms = 1000;

// The open file and how far it has been shown.  One instance for the run.
struct ReadState {
    FileHandle handle;
    std::uint64_t position;        // file position of the next read
    std::uint64_t size;            // result of the last size query
    std::size_t bytes_read;        // delivered by the last read_chunk()
    std::size_t held;              // bytes past `position` read but not shown
    bool unsized;                  // reports a size of 0 yet has bytes (/proc)
    FileIdentity identity;         // of `handle`, to tell it from what the name holds
    FileHandle next;               // a new file under the name, held until `handle`
                                   // is finished; no_file when there is none
    FileIdentity identity_next;    // of `next`
    bool leaving;                  // `handle` blocks its name: finish and close it
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
** Opens `name` as the file to show, as at the start: sets read_state.handle
** and its identity, with no new file held and none being left.  Returns 0,
** or -1 with *why set.
*/
int open_file(const char* name, OpenFailure* why);

/*
** Returns where the display starts in a file of `size` bytes: `offset`
** bytes after the start or before the end, the whole file when the offset
** reaches back past the start, and the last default_offset bytes when a
** forward offset lies past the end.
*/
std::uint64_t choose_start(const RunSettings& settings, std::uint64_t size);

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
** Stores the size of the open file in read_state.size and sets
** read_state.unsized.  A file that reports a size of 0 but delivers bytes
** (as many files under /proc do) is read through once to find its length.
** Returns 0, or -1 after a failed query or read (reported here).
*/
int measure_file();

/*
** Blocks until there is something to show: the file's size differs from
** what the display has seen (the read position plus any bytes read but
** held back), or a new file under the name takes over.  The first poll
** comes one interval after the call, so a quiet file costs one size query,
** one look at the name and one look at standard output a second.
**
** A file that has shrunk below the read position is shown again from its
** start: whatever a writer put there after truncating it is new.  A file
** whose size the system does not report (read_state.unsized) keeps that
** size of 0 without a wait ending.
**
** When another regular file stands under the name, it is opened at once
** and held; the open file is still followed until a whole poll interval
** passes in which it does not change, and is then closed, and the new one
** is shown from its start, with a notice on standard error.  When nothing
** stands under the name the open file is followed as before, unless
** holding it keeps the name from being used again (delete_pending()): then
** it is finished the same way, closed, and the wait goes on until a
** regular file stands under the name.
**
** With -b the alert sounds on every end of a wait.  Leaves
** read_state.position where reading resumes.  Returns 0, or -1 when the
** size can no longer be queried (reported here) or standard output has
** lost its reader (out_check_reader()).
*/
int wait_for_change();

/*
** When the file starts with the UTF-16LE byte-order mark and -u was not
** given, asks whether to show it as UTF-16 text and sets `unicode` on an
** answer of y or Y.  The question goes to standard output when that is a
** terminal, else to standard error, after everything gathered before it.
** The answer is read to its line feed or the end of input, and its first
** character decides.  Asks nothing once output has failed.  Leaves
** read_state.position at 0.
*/
void check_byte_order_mark();

/* Returns where UTF-16 text read from `start` on begins: units start at
   even positions. */
std::uint64_t utf16_start(std::uint64_t start);

/*
** Writes the whole characters at the front of `chunk`, which was read at
** file position `position`, as text in the form text_form() names:
**   - latin1: one byte per unit, a unit up to 0xFF as that byte, any other
**     as '?' (a surrogate pair as "??");
**   - utf8, converted: each character in UTF-8 (converted further by the
**     platform), a surrogate pair as the one character it encodes, a
**     surrogate without its other half as U+FFFD.
** A zero unit is a NUL byte.  A byte-order mark at file position 0 is left
** out; elsewhere it is a character like any other.  Sets *used to the bytes
** consumed; the rest (an odd last byte, a first half of a pair at the end)
** is read again with the bytes that follow it.  Returns 0, or -1 once
** output has failed.
*/
int print_utf16_chunk(std::span<const unsigned char> chunk, std::uint64_t position,
                      std::size_t* used);

/*
** Ends a UTF-16 display that will not read on: a first half of a pair that
** read_state.held still keeps is written as a lone surrogate (U+FFFD, or
** '?' in Latin-1), so that it does not vanish.  An odd byte stays unshown.
** Returns 0, or -1 once output has failed.
*/
int print_utf16_end();

/* Writes a chunk as it is.  Returns 0, or -1 once output has failed. */
int print_byte_chunk(std::span<const unsigned char> chunk);

}  // namespace ferrik
