// The UTF-16LE display and the question that offers it.  Every rule of
// UTF-16 lives here: where a unit starts, the mark at the file's start,
// surrogate pairs, what stands for a broken one, and the odd byte or the
// first half of a pair left for the next read.
#include "display/display.h"

namespace ferrik {
namespace {

constexpr unsigned char mark[2] = {0xFF, 0xFE};   // U+FEFF, little-endian
constexpr char question[] = "This file probably a unicode file. Display as unicode ? (y/n)";
constexpr char32_t replacement = 0xFFFD;          // for a lone or broken surrogate

// The text of one read: a unit takes at most 3 bytes of UTF-8, a pair 4.
unsigned char text[read_size / 2 * 3];

bool starts_with_mark(std::span<const unsigned char> bytes)
{
    return bytes.size() >= 2 && bytes[0] == mark[0] && bytes[1] == mark[1];
}

bool is_high(unsigned unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool is_low(unsigned unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

unsigned unit_at(const unsigned char* bytes, std::size_t i)
{
    return bytes[2 * i] | bytes[2 * i + 1] << 8;
}

unsigned char* put_utf8(unsigned char* out, char32_t c)
{
    if (c < 0x80) {
        *out++ = static_cast<unsigned char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<unsigned char>(0xC0 | c >> 6);
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<unsigned char>(0xE0 | c >> 12);
        *out++ = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<unsigned char>(0xF0 | c >> 18);
        *out++ = static_cast<unsigned char>(0x80 | (c >> 12 & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    return out;
}

// One byte per unit: Latin-1 as it is, anything above it (each half of a
// pair included) as '?'.  Returns the bytes written to `text`.
std::size_t to_latin1(const unsigned char* bytes, std::size_t units)
{
    for (std::size_t i = 0; i < units; ++i) {
        unsigned unit = unit_at(bytes, i);
        text[i] = unit <= 0xFF ? static_cast<unsigned char>(unit) : '?';
    }
    return units;
}

// UTF-8: a pair as the one character it encodes, a surrogate without its
// other half as U+FFFD.  Returns the bytes written to `text`.
std::size_t to_utf8(const unsigned char* bytes, std::size_t units)
{
    unsigned char* out = text;
    for (std::size_t i = 0; i < units; ++i) {
        unsigned unit = unit_at(bytes, i);
        if (unit < 0x80) {
            *out++ = static_cast<unsigned char>(unit);
        } else if (is_high(unit) && i + 1 < units && is_low(unit_at(bytes, i + 1))) {
            unsigned low = unit_at(bytes, ++i);
            out = put_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else {
            out = put_utf8(out, is_high(unit) || is_low(unit) ? replacement : unit);
        }
    }
    return static_cast<std::size_t>(out - text);
}

// Writes the first `count` bytes of `text` in the form the platform chose.
int write_out(std::size_t count)
{
    if (count == 0)
        return 0;
    if (text_form() == TextForm::converted)
        return out_converted_text(text, count);
    return out_bytes(text, count);
}

// Reads the answer's whole line, up to its line feed or the end of input,
// so that nothing of it is left for whoever reads standard input next (the
// shell that started ferrik).  A terminal's line is at most 4096 bytes;
// more than that is no typed answer (standard input is /dev/zero, say) and
// is not read on.  Returns the first character, or -1 when there is none.
int read_answer()
{
    constexpr int longest_line = 4096;
    int first = read_stdin_char();
    int c = first;
    for (int n = 1; n < longest_line && c != '\n' && c != -1; ++n)
        c = read_stdin_char();
    return first;
}

}  // namespace

void check_byte_order_mark()
{
    read_state.position = 0;
    read_chunk(2);
    // Nobody would see a question once output has failed.
    if (run_settings.unicode || out_failed() ||
        !starts_with_mark(std::span(read_state.buffer, read_state.bytes_read)))
        return;
    // The question must be seen before the answer is waited for: it goes
    // after everything gathered so far, and to standard error when standard
    // output is a file or pipe, where nobody would read it.
    if (out_flush() != 0)
        return;
    if (out_kind() == OutputKind::terminal) {
        out_message("%s", question);
        if (out_flush() != 0)
            return;
    } else {
        err_message("%s", question);
    }
    int answer = read_answer();
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
    std::size_t skipped = position == 0 && starts_with_mark(chunk) ? 2 : 0;
    const unsigned char* bytes = chunk.data() + skipped;
    std::size_t units = (chunk.size() - skipped) / 2;
    // The first half of a pair at the end waits for its second half.
    if (units > 0 && is_high(unit_at(bytes, units - 1)))
        --units;
    *used = skipped + 2 * units;
    bool latin1 = text_form() == TextForm::latin1;
    return write_out(latin1 ? to_latin1(bytes, units) : to_utf8(bytes, units));
}

int print_utf16_end()
{
    if (read_state.held < 2)
        return 0;
    if (text_form() == TextForm::latin1) {
        text[0] = '?';
        return write_out(1);
    }
    return write_out(static_cast<std::size_t>(put_utf8(text, replacement) - text));
}

}  // namespace ferrik
