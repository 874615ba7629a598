// Buffered standard output, and the program's own lines on standard error.
// The same on every platform: it sits on top of the raw writes of the
// platform file.  To a terminal every call goes out at once; to a file or
// pipe, output is gathered and written in large pieces.  After the first
// failed write every later call fails too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace ferrik {

/* Looks up what standard output is, once, before anything is written. */
void out_start();

/* What out_start() found standard output to be. */
OutputKind out_kind();

/* Writes file content as it is.  Returns 0, or -1 once output has failed. */
int out_bytes(const void* data, std::size_t count);

/*
** Writes up to `count` bytes of `file` at `position` as they are.  Sends
** them straight from the file only into a file or device: a pipe or socket
** would be handed references to the file's cached pages rather than copies,
** and a writer that rewrote or truncated that part of the file before the
** reader took them would change what was shown.  Returns Send::sent with
** *sent set, Send::copy when the caller must read and write the bytes
** itself, or Send::failed once output has failed.
*/
Send out_file_range(FileHandle file, std::uint64_t position,
                    std::uint64_t count, std::uint64_t* sent);

/*
** Writes UTF-8 text of the UTF-16 display, whole characters only, when
** text_form() is TextForm::converted: what is gathered goes out first, then
** the text through write_text().  Returns 0, or -1 once output has failed.
*/
int out_converted_text(const unsigned char* utf8, std::size_t count);

/* Formats the program's own text, printf-style (only %s and %c), and
   writes it with each line feed turned into line_end.  Returns 0, or -1
   once output has failed. */
int out_message(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

/* Writes out whatever is gathered.  Returns 0, or -1 once output failed. */
int out_flush();

/* True once a write to standard output has failed. */
bool out_failed();

/*
** Fails as a write would when standard output is a pipe or socket whose
** reader has gone, without writing: where the system has SIGPIPE that ends
** the process; otherwise output counts as failed from then on.  Costs one
** cheap query, and none into a terminal, file or device.  Returns 0, or -1
** once output has failed.
*/
int out_check_reader();

/* Formats a line of the program's own, as out_message() does, and writes it
   to standard error at once, never to standard output. */
void err_message(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

/* Reports the failure of standard output on standard error:
   "ferrik: standard output: <the system's words for it>". */
void report_output_failure();

}  // namespace ferrik
