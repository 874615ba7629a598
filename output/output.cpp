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
// that it does not interleave with other writers' lines.
struct ErrorLine {
    char text[4096];
    std::size_t used;
};

ErrorLine error_line;

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

int put_error(const void* data, std::size_t count)
{
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        if (error_line.used == sizeof error_line.text) {
            raw_write_error(error_line.text, error_line.used);
            error_line.used = 0;
        }
        std::size_t n = std::min(count, sizeof error_line.text - error_line.used);
        std::memcpy(error_line.text + error_line.used, p, n);
        error_line.used += n;
        p += n;
        count -= n;
    }
    return 0;
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
    int result = stream.failed ? -1 : format_text(put, format, args);
    va_end(args);
    if (result != 0)
        return -1;
    return settle();
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
    if (error_line.used > 0)
        raw_write_error(error_line.text, error_line.used);
    error_line.used = 0;
}

void report_output_failure()
{
    err_message("ferrik: standard output: %s\n", stream.failure);
}

// Declared for the tests alone, in tests/fake_platform.h: every test starts
// from an empty stream to a pipe that has not failed.
void out_reset()
{
    stream.used = 0;
    stream.kind = OutputKind::pipe;
    stream.failed = false;
    stream.no_transfer = false;
    stream.failure[0] = '\0';
}

}  // namespace ferrik
