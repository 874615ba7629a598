// The operating-system services ferrik relies on.  Each platform has one
// file that implements the "raw" operations below (posix.cpp, windows.cpp);
// stream.cpp builds the buffered standard output on top of them and is the
// same everywhere.  Tests may link a fake instead of a platform file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ferrik {

// An open file.  `no_file` marks a failed open.
using FileHandle = std::intptr_t;
inline constexpr FileHandle no_file = -1;

// The line ending of the program's own text (banner, messages, usage):
// "\n" on POSIX, "\r\n" on Windows.  File content is never translated.
extern const char line_end[];

/*
** Prepares the standard streams before anything is written.  A standard
** descriptor that is closed is made to fail every use instead of being
** taken over by the next file opened.  Where the system has pipes of
** adjustable size, a pipe on standard output is given 1 MiB (never less
** than it has), so that large output is handed over in large pieces.
** Returns 0.
*/
int platform_start();

/*
** Opens `name` for reading, letting other processes keep reading, writing,
** renaming and deleting it.  Only a regular file is accepted: anything else
** (directory, device, FIFO, socket) is refused like a missing file.  Never
** blocks.  Returns the handle, or no_file for every kind of failure.
*/
FileHandle open_shared(const char* name);

/*
** Reads up to buffer.size() bytes at `position` without moving any file
** pointer.  Returns 0 with *delivered set (0 at or past the end of the
** file), or -1 on a read error.
*/
int read_at(FileHandle file, std::uint64_t position,
            std::span<unsigned char> buffer, std::size_t* delivered);

/*
** Sends up to `count` bytes at `position` straight from the file to standard
** output, where the system can do so without copying them through this
** process.  Returns 0 with *sent set (0 at the end of the file), or 1 when
** nothing could be sent this way (this output cannot take such a transfer,
** or the transfer failed); the caller then copies the bytes itself, which
** also finds out which side failed.
*/
int send_to_stdout(FileHandle file, std::uint64_t position,
                   std::uint64_t count, std::uint64_t* sent);

/* Stores the file's current size in *size.  Returns 0, or -1 on failure. */
int file_size(FileHandle file, std::uint64_t* size);

/* Sleeps for `milliseconds`. */
void pause_ms(unsigned milliseconds);

/* Sounds the alert (500 Hz for 500 ms where the system can choose), never
   through standard output.  Where nothing can sound, does nothing. */
void sound_beep();

/* True when `byte` starts a double-byte character in the system's narrow
   code page.  Always false where there is no such code page. */
bool is_lead_byte(unsigned char byte);

/* True when standard output is a terminal. */
bool stdout_is_terminal();

/* Writes all `count` bytes to standard output, unbuffered.  Returns 0, or
   -1 with the error kept for report_error(). */
int raw_write(const void* data, std::size_t count);

/* Reads one character from standard input.  Returns it (0 to 255), or -1
   at the end of input or on an error. */
int read_stdin_char();

/* Writes "ferrik: <what>: <text of the last error>" and a line end to
   standard error. */
void report_error(const char* what);

// Buffered standard output (stream.cpp).  To a terminal every call goes out
// at once; to a file or pipe, output is gathered and written in large
// pieces.  After the first failed write every later call fails too.

/* Writes file content as it is.  Returns 0, or -1 once output has failed. */
int out_bytes(const void* data, std::size_t count);

/*
** Writes up to `count` bytes of `file` at `position` as they are, straight
** from the file where the platform allows.  Returns 0 with *sent set, 1 when
** the caller must read and write the bytes itself, or -1 once output failed.
*/
int out_file_range(FileHandle file, std::uint64_t position,
                   std::uint64_t count, std::uint64_t* sent);

/* Formats the program's own text, printf-style, and writes it with each
   line feed turned into line_end.  Returns 0, or -1 once output failed. */
int out_message(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

/* Writes out whatever is gathered.  Returns 0, or -1 once output failed. */
int out_flush();

/* True once a write to standard output has failed. */
bool out_failed();

/* Drops whatever is gathered and clears the failure (tests only). */
void out_reset();

}  // namespace ferrik
