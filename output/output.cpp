// Buffered standard output, and the program's own lines on standard error.
#include "output/output.h"

#include <cstdarg>
#include <cstring>
#include <string_view>

namespace ferrik {
namespace {

constexpr std::size_t stream_capacity = 64 * 1024;

struct OutputStream {
    unsigned char buffer[stream_capacity];
    std::size_t used;
    OutputKind kind;
    bool failed;
    bool no_transfer;   // send_to_stdout() said no once; do not ask again
    char failure[256];  // the system's words for the failed write
};

OutputStream stream;

// A line for standard error is gathered here and written in one piece, so
// that it does not interleave with other writers' lines.  The program's own
// text for standard output is gathered the same way where the platform
// converts it (program_text_converted).
struct TextLine {
    char text[4096];
    std::size_t used;
    int (*write)(const void*, std::size_t);
};

TextLine error_line = {{}, 0, raw_write_error};
TextLine message_line = {{}, 0, nullptr};

// Marks the output failed, keeping the system's words for the failure.
int fail_stream()
{
    stream.failed = true;
    std::string_view why = last_error_text();
    why = why.substr(0, sizeof stream.failure - 1);
    std::memcpy(stream.failure, why.data(), why.size());
    stream.failure[why.size()] = '\0';
    return -1;
}

int write_through(const void* data, std::size_t count)
{
    return raw_write(data, count) != 0 ? fail_stream() : 0;
}

// Appends to the buffer, or writes straight through when the bytes do not
// fit: large pieces go out in one write, small ones are gathered.
int put(const void* data, std::size_t count)
{
    if (stream.failed)
        return -1;
    if (stream.used + count > stream_capacity) {
        if (out_flush() != 0)
            return -1;
        if (count >= stream_capacity)
            return write_through(data, count);
    }
    std::memcpy(stream.buffer + stream.used, data, count);
    stream.used += count;
    return 0;
}

// The bytes at the front of `text` that end on a whole UTF-8 character:
// a converting platform must never be handed half of one.  Bytes that are
// not UTF-8 at all go out as they are.
std::size_t whole_characters(const char* text, std::size_t count)
{
    std::size_t start = count;
    while (start > 0 && count - start < 4 &&
           (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return count;
    unsigned char lead = static_cast<unsigned char>(text[start - 1]);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return count - (start - 1) < length ? start - 1 : count;
}

// Writes what `line` has gathered, but for a cut character at its end,
// which stays for the next piece.
int write_line(TextLine& line, bool all)
{
    std::size_t n = all ? line.used : whole_characters(line.text, line.used);
    if (n == 0 && line.used > 0)
        n = line.used;   // a full line of continuation bytes: not UTF-8
    int result = n == 0 ? 0 : line.write(line.text, n);
    std::memmove(line.text, line.text + n, line.used - n);
    line.used -= n;
    return result;
}

int gather(TextLine& line, const void* data, std::size_t count)
{
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        if (line.used == sizeof line.text && write_line(line, false) != 0)
            return -1;
        std::size_t n = std::min(count, sizeof line.text - line.used);
        std::memcpy(line.text + line.used, p, n);
        line.used += n;
        p += n;
        count -= n;
    }
    return 0;
}

int put_error(const void* data, std::size_t count)
{
    gather(error_line, data, count);   // nowhere to report a failure
    return 0;
}

// The program's text where the platform converts it: a console takes it at
// once, after what is gathered; anything else gets it converted, gathered
// like the rest.
int put_program_text(const void* data, std::size_t count)
{
    if (stream.kind == OutputKind::terminal)
        return out_converted_text(static_cast<const unsigned char*>(data), count);
    static char narrowed[3 * sizeof message_line.text];
    return put(narrowed, narrow_program_text(static_cast<const char*>(data), count, narrowed));
}

int put_message(const void* data, std::size_t count)
{
    return gather(message_line, data, count);
}

using Sink = int (*)(const void*, std::size_t);

// Writes program text to `sink`, each line feed as the platform's line end.
int put_text(Sink sink, std::string_view text)
{
    while (!text.empty()) {
        std::size_t lf = text.find('\n');
        if (lf == std::string_view::npos)
            return sink(text.data(), text.size());
        if (sink(text.data(), lf) != 0 || sink(line_end, std::strlen(line_end)) != 0)
            return -1;
        text.remove_prefix(lf + 1);
    }
    return 0;
}

// Only %s, %c and %% occur in the program's messages.  Formatting here
// rather than through vsnprintf keeps arguments of any length whole and
// writes a %c of 0 as the NUL byte it is.
int format_text(Sink sink, const char* format, va_list args)
{
    const char* p = format;
    while (*p != '\0') {
        const char* percent = std::strchr(p, '%');
        if (percent == nullptr)
            return put_text(sink, p);
        if (put_text(sink, std::string_view(p, percent - p)) != 0)
            return -1;
        char conversion = percent[1];
        if (conversion == '\0')
            return 0;
        int result;
        if (conversion == 's') {
            result = put_text(sink, va_arg(args, const char*));
        } else if (conversion == 'c') {
            char c = static_cast<char>(va_arg(args, int));
            result = put_text(sink, std::string_view(&c, 1));
        } else {
            result = put_text(sink, std::string_view(&conversion, 1));
        }
        if (result != 0)
            return -1;
        p = percent + 2;
    }
    return 0;
}

// Gives a terminal its output at once.
int settle()
{
    if (stream.failed)
        return -1;
    return stream.kind == OutputKind::terminal ? out_flush() : 0;
}

}  // namespace

void out_start()
{
    stream.kind = stdout_kind();
}

OutputKind out_kind()
{
    return stream.kind;
}

int out_bytes(const void* data, std::size_t count)
{
    if (put(data, count) != 0)
        return -1;
    return settle();
}

Send out_file_range(FileHandle file, std::uint64_t position,
                    std::uint64_t count, std::uint64_t* sent)
{
    if (stream.failed)
        return Send::failed;
    if (stream.no_transfer || stream.kind != OutputKind::file)
        return Send::copy;
    if (out_flush() != 0)
        return Send::failed;
    Send result = send_to_stdout(file, position, count, sent);
    if (result != Send::sent)
        stream.no_transfer = true;
    return result;
}

int out_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result;
    if (stream.failed) {
        result = -1;
    } else if (!program_text_converted) {
        result = format_text(put, format, args);
    } else {
        message_line.write = put_program_text;
        message_line.used = 0;
        result = format_text(put_message, format, args);
        if (result == 0)
            result = write_line(message_line, true);
    }
    va_end(args);
    if (result != 0)
        return -1;
    return settle();
}

int out_converted_text(const unsigned char* utf8, std::size_t count)
{
    if (out_flush() != 0)
        return -1;
    return count > 0 && write_text(utf8, count) != 0 ? fail_stream() : 0;
}

int out_flush()
{
    if (stream.failed)
        return -1;
    std::size_t used = stream.used;
    stream.used = 0;
    return used == 0 ? 0 : write_through(stream.buffer, used);
}

bool out_failed()
{
    return stream.failed;
}

int out_check_reader()
{
    if (stream.failed)
        return -1;
    if (stream.kind != OutputKind::pipe || !stdout_reader_gone())
        return 0;
    return fail_stream();
}

void err_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    error_line.used = 0;
    format_text(put_error, format, args);
    va_end(args);
    write_line(error_line, true);
}

void report_output_failure()
{
    err_message("ferrik: standard output: %s\n", stream.failure);
}

// For the tests alone; declared in tests/fake_platform.h.
void out_reset()
{
    stream.used = 0;
    stream.kind = OutputKind::pipe;
    stream.failed = false;
    stream.no_transfer = false;
    stream.failure[0] = '\0';
}

}  // namespace ferrik
