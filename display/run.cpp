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
        report_error("standard output");
        return -1;
    }
    return code;
}

void reset_settings(RunSettings& settings)
{
    settings.file_name[0] = '\0';
    settings.offset = 0;
    settings.follow = false;
    settings.beep = false;
    settings.offset_given = false;
}

// Reads a chunk at the position and shows it.  UTF-16 text is shown in
// whole units: an odd last byte is held back and read again with the bytes
// that follow it.  Returns 0 with *used set to the bytes shown (0 at the
// end), or -1 after a read error (reported here) or a failed write.
int show_chunk(std::uint64_t* used)
{
    if (read_chunk(read_size) != 0) {
        out_message("%s: Read error\n", run_settings.file_name);
        return -1;
    }
    std::span<const unsigned char> chunk(read_state.buffer, read_state.bytes_read);
    if (!run_settings.unicode) {
        *used = chunk.size();
        return chunk.empty() ? 0 : print_byte_chunk(chunk);
    }
    *used = chunk.size() & ~std::size_t{1};
    read_state.held = chunk.size() - *used;
    if (*used == 0)
        return 0;
    return print_utf16_chunk(chunk.first(*used), read_state.position == 0);
}

}  // namespace

std::uint64_t choose_start(RunSettings& settings, std::uint64_t size)
{
    if (settings.origin == '+') {
        if (settings.offset <= size)
            return settings.offset;
        settings.offset = default_offset;
        settings.origin = '-';
    }
    return settings.offset <= size ? size - settings.offset : 0;
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
        // Byte mode lets the platform move the bytes straight from the file
        // to the output where it can; 1 means they are read here instead.
        int result = run_settings.unicode
                         ? 1
                         : out_file_range(read_state.handle, read_state.position,
                                          transfer_size, &used);
        if (result > 0)
            result = show_chunk(&used);
        if (result < 0)
            return -1;
        if (used == 0)
            return 0;
        read_state.position += used;
    }
}

int run_display(int argc, const char* const* argv)
{
    RunSettings& settings = run_settings;
    platform_start();
    out_message("ferrik %s\n", FERRIK_VERSION);
    reset_settings(settings);
    if (parse_arguments(argc, argv, settings) != 0) {
        print_usage();
        return finish(-1);
    }
    if (!settings.offset_given) {
        settings.offset = default_offset;
        settings.origin = '-';
    }
    read_state.handle = open_shared(settings.file_name);
    if (read_state.handle == no_file) {
        out_message("%s: No such file\n", settings.file_name);
        return finish(-1);
    }
    check_byte_order_mark();
    if (file_size(read_state.handle, &read_state.size) != 0) {
        out_message("%s: Read error\n", settings.file_name);
        return finish(-1);
    }
    read_state.position = choose_start(settings, read_state.size);
    if (settings.unicode)
        read_state.position &= ~std::uint64_t{1};   // units start at even positions
    for (;;) {
        if (read_loop() != 0)
            return finish(-1);
        if (!settings.follow)
            return finish(0);
        // What has been read reaches a pipe before the wait, not 4 KiB later.
        if (out_flush() != 0)
            return finish(-1);
        wait_for_change();
    }
}

}  // namespace ferrik
