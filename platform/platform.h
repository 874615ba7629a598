// The operating-system services ferrik relies on.  Each platform has one
// file that implements them (posix.cpp, windows.cpp), and the build picks
// one.  Tests may link a fake instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace ferrik {

// An open file.  `no_file` marks a failed open.
using FileHandle = std::intptr_t;
inline constexpr FileHandle no_file = -1;

// The line ending of the program's own text (banner, messages, usage):
// "\n" on POSIX, "\r\n" on Windows.  File content is never translated.
extern const char line_end[];

// The longest file name, as name_length() counts it (its NUL not counted).
extern const int max_name_length;

// True where a name whose last part starts with a dot ("~/.profile") names
// an ordinary file; false where such a part is only an extension.
extern const bool dot_names_are_files;

// True where an argument that starts with a double quote is a name whose
// opening quote the command line kept (Windows: an escaped quote), taken up
// to the next quote; false where a quote is an ordinary character of a
// name, as on POSIX.
extern const bool quoted_names;

// What standard output is.
enum class OutputKind {
    terminal,   // a person reads it (on Windows: a console)
    file,       // a regular file or a device such as /dev/null
    pipe,       // a pipe or socket, or anything not known
};

// Why an open failed.
enum class OpenFailure {
    none,
    missing,       // the name names nothing (a dangling link included)
    denied,        // access is refused
    directory,
    not_regular,   // a FIFO, device, socket or the like
    in_use,        // another process holds it without sharing (Windows)
    other,         // anything else: last_error_text() says what
};

// What became of a transfer straight from the file to standard output.
enum class Send {
    sent,     // *sent bytes went out (0 at the end of the file)
    copy,     // nothing went out this way: read and write the bytes instead
    failed,   // output has failed (only the output stream reports this)
};

/*
** Prepares the standard streams before anything is written.  A standard
** descriptor that is closed is made to fail every use instead of being
** taken over by the next file opened.  Where the system has pipes of
** adjustable size, a pipe on standard output is given 1 MiB (never less
** than it has), so that large output is handed over in large pieces.
** Returns 0.
*/
int platform_start();

/* Says what standard output is.  Asked once, at start. */
OutputKind stdout_kind();

/*
** Opens `name` for reading, letting other processes keep reading, writing,
** renaming and deleting it.  Only a regular file is accepted.  Never
** blocks.  Returns the handle, or no_file with *why set.
*/
FileHandle open_shared(const char* name, OpenFailure* why);

/*
** Reads up to buffer.size() bytes at `position` without moving any file
** pointer.  Returns 0 with *delivered set (0 at or past the end of the
** file), or -1 on a read error.
*/
int read_at(FileHandle file, std::uint64_t position,
            std::span<unsigned char> buffer, std::size_t* delivered);

/*
** Sends up to `count` bytes at `position` straight from the file to standard
** output, which is a file or device, without copying them through this
** process.  Returns Send::sent with *sent set (0 at the end of the file),
** or Send::copy when the system cannot or did not; the caller then copies
** the bytes itself, which also finds out which side failed.
*/
Send send_to_stdout(FileHandle file, std::uint64_t position,
                    std::uint64_t count, std::uint64_t* sent);

/* Stores the file's current size in *size.  Returns 0, or -1 on failure. */
int file_size(FileHandle file, std::uint64_t* size);

/* Sleeps for `milliseconds`. */
void pause_ms(unsigned milliseconds);

/* Sounds the alert (500 Hz for 500 ms where the system can choose), never
   through standard output.  Where nothing can sound, does nothing. */
void sound_beep();

/* Writes all `count` bytes to standard output, unbuffered.  Returns 0, or
   -1 with the error kept for last_error_text(). */
int raw_write(const void* data, std::size_t count);

/* Writes all `count` bytes of the program's own text to standard error,
   unbuffered (on Windows: to a console through WriteConsoleW, else in the
   ANSI code page with '?').
   Returns 0, or -1 (nothing is left to report it on). */
int raw_write_error(const void* data, std::size_t count);

/* Reads one character from standard input.  Returns it (0 to 255), or -1
   at the end of input or on an error. */
int read_stdin_char();

/* The system's words for the error of the last open_shared() or raw_write()
   that failed, without a closing period or line end. */
const char* last_error_text();

// ---- Following a file by its name -----------------------------------------

// What tells two files apart: the device and inode on POSIX, the volume
// serial number and file index on Windows.
struct FileIdentity {
    std::uint64_t volume;
    std::uint64_t index;
};

/* Stores the identity of an open file in *id.  Returns 0, or -1. */
int file_identity(FileHandle file, FileIdentity* id);

/*
** Stores in *id the identity of the file that `name` names now, without
** opening it for reading and without keeping it from being renamed or
** deleted.  Returns 0, or -1 when no regular file stands under the name:
** nothing, a directory, FIFO, device or anything else.
*/
int name_identity(const char* name, FileIdentity* id);

/*
** True when the open file is marked for deletion and, while it stays
** open, keeps its name from being given to a new file (Windows: delete
** pending).  Always false where a deleted file frees its name at once.
*/
bool delete_pending(FileHandle file);

/* Closes a file opened with open_shared(). */
void close_file(FileHandle file);

/*
** True when standard output, which stdout_kind() found to be a pipe or
** socket, has lost its reader, so that any write there would fail; false
** while it has one or when the system cannot tell.  Found without writing.
** Ends as such a write would: where the system has SIGPIPE it is raised,
** which ends the process unless it is ignored.  When it returns true,
** last_error_text() gives the error the write would have had.
*/
bool stdout_reader_gone();

// ---- Text beyond ASCII: the UTF-16 display's output, the command line and
// ---- file names, the program's own text on Windows.

// How the UTF-16 display writes its text; the platform decides once, in
// platform_start(), from the locale (POSIX) or from what standard output is
// (Windows).
enum class TextForm {
    latin1,      // one byte per unit: up to 0xFF as that byte, else '?'
    utf8,        // UTF-8, written as it is
    converted,   // UTF-8 handed to write_text(), which converts it
};

/* The form platform_start() chose. */
TextForm text_form();

/*
** Writes `count` bytes of UTF-8 text, whole characters only, to standard
** output, unbuffered, in the form chosen for TextForm::converted: the
** locale's encoding through iconv(3), '?' for a character it cannot hold
** (POSIX), or UTF-16 through WriteConsoleW to the console (Windows; the
** program's own text goes the same way there).
** Returns 0, or -1 with the error kept for last_error_text().
*/
int write_text(const unsigned char* utf8, std::size_t count);

/*
** Replaces *argc and *argv with the command line as the program works with
** it: on POSIX the arguments as they are; on Windows the UTF-16 command
** line, split by the system's rules and each argument converted to UTF-8,
** so that a name outside the ANSI code page arrives whole.  The result
** lives until the program ends.  Returns 0, or -1 when the system's
** command line cannot be had (the arguments are then left as they are).
*/
int take_command_line(int* argc, const char* const** argv);

/* The length of a file name as max_name_length counts it: bytes on POSIX,
   characters (of the UTF-8 the name is carried in) on Windows. */
std::size_t name_length(std::string_view name);

/*
** Converts `count` bytes of the program's own text, whole UTF-8 characters,
** for a standard output that is not a console, into `out`, which has room
** for 3 * count bytes; returns the bytes it holds.  Used only where
** program_text_converted is true (Windows: the ANSI code page, '?' for what
** it cannot hold).
*/
std::size_t narrow_program_text(const char* utf8, std::size_t count, char* out);

// True where the program's own text is UTF-8 inside and is converted on its
// way out (Windows, where it shows names from the UTF-16 command line): to a
// console through write_text(), elsewhere through narrow_program_text().
// False where its bytes go out as they are (POSIX, where a name is shown as
// the bytes it was given in).
extern const bool program_text_converted;

}  // namespace ferrik
