// The run driver and the byte display.
#include "display/display.h"
#include "version.h"

namespace ferrik {

RunSettings run_settings;
ReadState read_state;

namespace {

// Ends the run: everything gathered goes out, and an output that failed
// on the way is reported, on standard error since standard output is lost.
int finish(int code)
{
    if (out_flush() != 0) {
        report_output_failure();
        return -1;
    }
    return code;
}

// Says why the file cannot be shown.
void report_open_failure(OpenFailure why, const char* name)
{
    switch (why) {
    case OpenFailure::denied:
        out_message("%s: Permission denied\n", name);
        break;
    case OpenFailure::directory:
        out_message("%s: Is a directory\n", name);
        break;
    case OpenFailure::not_regular:
        out_message("%s: Not a regular file\n", name);
        break;
    case OpenFailure::in_use:
        out_message("%s: In use by another process\n", name);
        break;
    case OpenFailure::other:
        out_message("%s: %s\n", name, last_error_text());
        break;
    default:
        out_message("%s: No such file\n", name);
        break;
    }
}

// Reads a chunk at the position and shows it.  Returns 0 with *used set to
// the bytes shown (0 at the end), or -1 after a read error (reported here)
// or a failed write.
int show_chunk(std::uint64_t* used)
{
    if (read_chunk(read_size) != 0) {
        out_message("%s: Read error\n", run_settings.file_name);
        return -1;
    }
    std::span<const unsigned char> chunk(read_state.buffer, read_state.bytes_read);
    std::size_t shown = chunk.size();
    int result = 0;
    if (chunk.empty())
        shown = 0;
    else if (run_settings.unicode)
        result = print_utf16_chunk(chunk, read_state.position, &shown);
    else
        result = print_byte_chunk(chunk);
    read_state.held = chunk.size() - shown;
    *used = shown;
    return result;
}

}  // namespace

int open_file(const char* name, OpenFailure* why)
{
    read_state.next = no_file;
    read_state.leaving = false;
    read_state.handle = open_shared(name, why);
    if (read_state.handle == no_file)
        return -1;
    if (file_identity(read_state.handle, &read_state.identity) != 0) {
        *why = OpenFailure::other;
        close_file(read_state.handle);
        read_state.handle = no_file;
        return -1;
    }
    return 0;
}

std::uint64_t choose_start(const RunSettings& settings, std::uint64_t size)
{
    std::uint64_t back = settings.offset;
    if (settings.origin == '+') {
        if (settings.offset <= size)
            return settings.offset;
        back = default_offset;
    }
    return back <= size ? size - back : 0;
}

int read_chunk(std::size_t request)
{
    std::size_t delivered = 0;
    int result = read_at(read_state.handle, read_state.position,
                         std::span(read_state.buffer, request), &delivered);
    read_state.bytes_read = result == 0 ? delivered : 0;
    return result;
}

int print_byte_chunk(std::span<const unsigned char> chunk)
{
    return out_bytes(chunk.data(), chunk.size());
}

int read_loop()
{
    read_state.held = 0;
    for (;;) {
        std::uint64_t used = 0;
        // Byte mode lets the output move the bytes straight from the file
        // where it can; otherwise they are read and written here.
        Send result = run_settings.unicode
                          ? Send::copy
                          : out_file_range(read_state.handle, read_state.position,
                                           transfer_size, &used);
        if (result == Send::copy)
            result = show_chunk(&used) == 0 ? Send::sent : Send::failed;
        if (result == Send::failed)
            return -1;
        if (used == 0)
            return 0;
        read_state.position += used;
    }
}

int measure_file()
{
    read_state.unsized = false;
    if (file_size(read_state.handle, &read_state.size) != 0) {
        out_message("%s: Read error\n", run_settings.file_name);
        return -1;
    }
    if (read_state.size != 0)
        return 0;
    std::uint64_t saved = read_state.position;
    std::uint64_t length = 0;
    for (read_state.position = 0;; read_state.position += read_state.bytes_read) {
        if (read_chunk(read_size) != 0) {
            out_message("%s: Read error\n", run_settings.file_name);
            return -1;
        }
        if (read_state.bytes_read == 0)
            break;
        length += read_state.bytes_read;
    }
    read_state.position = saved;
    // A file that was empty and has just been written to reports its size
    // by now; only one that still says 0 is taken at the length read.
    if (length == 0 || file_size(read_state.handle, &read_state.size) != 0 || read_state.size != 0)
        return 0;
    read_state.unsized = true;
    read_state.size = length;
    return 0;
}

int run_display(int argc, const char* const* argv)
{
    RunSettings& settings = run_settings;
    platform_start();
    out_start();
    out_message("ferrik %s\n", FERRIK_VERSION);
    settings = RunSettings{};
    if (parse_arguments(argc, argv, settings) != 0) {
        print_usage();
        return finish(-1);
    }
    OpenFailure why = OpenFailure::none;
    if (open_file(settings.file_name, &why) != 0) {
        report_open_failure(why, settings.file_name);
        return finish(-1);
    }
    check_byte_order_mark();
    if (measure_file() != 0)
        return finish(-1);
    read_state.position = choose_start(settings, read_state.size);
    if (settings.unicode)
        read_state.position = utf16_start(read_state.position);
    for (;;) {
        if (read_loop() != 0)
            return finish(-1);
        if (!settings.follow)
            return finish(settings.unicode ? print_utf16_end() : 0);
        // What has been read reaches a pipe before the wait, not a buffer
        // later.
        if (out_flush() != 0 || wait_for_change() != 0)
            return finish(-1);
    }
}

}  // namespace ferrik
