// Buffered standard output, the same on every platform: it sits on top of
// raw_write() and send_to_stdout() from the platform file.
#include <cstdarg>
#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace ferrik {
namespace {

constexpr std::size_t stream_capacity = 64 * 1024;

struct OutputStream {
    unsigned char buffer[stream_capacity];
    std::size_t used;
    bool failed;
    bool checked;       // `terminal` has been looked up
    bool terminal;
    bool no_transfer;   // send_to_stdout() said no once; do not ask again
};

OutputStream stream;

bool to_terminal()
{
    if (!stream.checked) {
        stream.terminal = stdout_is_terminal();
        stream.checked = true;
    }
    return stream.terminal;
}

int write_through(const void* data, std::size_t count)
{
    if (raw_write(data, count) != 0) {
        stream.failed = true;
        return -1;
    }
    return 0;
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

// Writes program text, each line feed as the platform's line end.
int put_text(std::string_view text)
{
    while (!text.empty()) {
        std::size_t lf = text.find('\n');
        if (lf == std::string_view::npos)
            return put(text.data(), text.size());
        if (put(text.data(), lf) != 0 || put(line_end, std::strlen(line_end)) != 0)
            return -1;
        text.remove_prefix(lf + 1);
    }
    return 0;
}

// Gives a terminal its output at once.
int settle()
{
    if (stream.failed)
        return -1;
    return to_terminal() ? out_flush() : 0;
}

}  // namespace

int out_bytes(const void* data, std::size_t count)
{
    if (put(data, count) != 0)
        return -1;
    return settle();
}

int out_file_range(FileHandle file, std::uint64_t position,
                   std::uint64_t count, std::uint64_t* sent)
{
    if (stream.failed)
        return -1;
    // A terminal is served by plain writes; its reader is a person.
    if (stream.no_transfer || to_terminal())
        return 1;
    if (out_flush() != 0)
        return -1;
    if (send_to_stdout(file, position, count, sent) != 0) {
        stream.no_transfer = true;
        return 1;
    }
    return 0;
}

// Only %s, %c and %% occur in the program's messages.  Formatting here
// rather than through vsnprintf keeps arguments of any length whole and
// writes a %c of 0 as the NUL byte it is.
int out_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = 0;
    const char* p = format;
    while (*p != '\0' && result == 0) {
        const char* percent = std::strchr(p, '%');
        if (percent == nullptr) {
            result = put_text(p);
            break;
        }
        result = put_text(std::string_view(p, percent - p));
        char conversion = percent[1];
        if (result != 0 || conversion == '\0')
            break;
        if (conversion == 's') {
            result = put_text(va_arg(args, const char*));
        } else if (conversion == 'c') {
            char c = static_cast<char>(va_arg(args, int));
            result = put_text(std::string_view(&c, 1));
        } else {
            result = put_text(std::string_view(&conversion, 1));
        }
        p = percent + 2;
    }
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

void out_reset()
{
    stream.used = 0;
    stream.failed = false;
    stream.checked = false;
    stream.no_transfer = false;
}

}  // namespace ferrik
