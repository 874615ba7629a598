// The UTF-16LE display and the question that offers it.  Every rule of
// UTF-16 lives here: where a unit starts, the mark at the file's start, and
// the odd byte left for the next read.
#include "display/display.h"

namespace ferrik {
namespace {

constexpr unsigned char mark[2] = {0xFF, 0xFE};   // U+FEFF, little-endian

bool starts_with_mark(std::span<const unsigned char> bytes)
{
    return bytes.size() >= 2 && bytes[0] == mark[0] && bytes[1] == mark[1];
}

// One byte per unit: Latin-1 as it is, anything above it as '?'.
unsigned char narrow(unsigned unit)
{
    return unit <= 0xFF ? static_cast<unsigned char>(unit) : '?';
}

unsigned char text[read_size / 2];

}  // namespace

void check_byte_order_mark()
{
    read_state.position = 0;
    read_chunk(2);
    // Nobody would see a question once output has failed.
    if (run_settings.unicode || out_failed() ||
        !starts_with_mark(std::span(read_state.buffer, read_state.bytes_read)))
        return;
    out_message("This file probably a unicode file. Display as unicode ? (y/n)");
    // The question must be seen before the answer is waited for.
    if (out_flush() != 0)
        return;
    int answer = read_stdin_char();
    if (answer == 'y' || answer == 'Y')
        run_settings.unicode = true;
}

std::uint64_t utf16_start(std::uint64_t start)
{
    return start & ~std::uint64_t{1};
}

int print_utf16_chunk(std::span<const unsigned char> chunk, std::uint64_t position,
                      std::size_t* used)
{
    *used = chunk.size() & ~std::size_t{1};
    chunk = chunk.first(*used);
    if (position == 0 && starts_with_mark(chunk))
        chunk = chunk.subspan(2);
    std::size_t units = chunk.size() / 2;
    for (std::size_t i = 0; i < units; ++i)
        text[i] = narrow(chunk[2 * i] | chunk[2 * i + 1] << 8);
    return units == 0 ? 0 : out_bytes(text, units);
}

}  // namespace ferrik
