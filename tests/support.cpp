#include "tests/support.h"

#include <algorithm>
#include <cstdio>

using namespace std::string_literals;

namespace support {

namespace {

constexpr std::size_t context = 16;   // bytes shown on each side of a difference

// `s` from `from` to `to` as hex, the byte at `mark` in brackets, and the
// same bytes beside it with anything unprintable as '.'.
std::string hex_line(const std::string& s, std::size_t from, std::size_t to, std::size_t mark)
{
    std::string hex, chars;
    for (std::size_t i = from; i < to && i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char byte[8];
        std::snprintf(byte, sizeof byte, i == mark ? " [%02x]" : " %02x", c);
        hex += byte;
        chars += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
    }
    if (mark >= s.size())
        hex += " [end]";
    return hex + "  |" + chars + "|";
}

}  // namespace

std::string pattern(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return s;
}

std::string every_byte(std::size_t n)
{
    return pattern(n) + "\r\n\r\n\0\0\0end"s;
}

std::string wide(const std::string& s)
{
    std::string w;
    for (char c : s) {
        w += c;
        w += '\0';
    }
    return w;
}

std::string utf16_view(const std::string& bytes, std::uint64_t position)
{
    std::size_t start = position == 0 && bytes.compare(0, 2, "\xff\xfe") == 0 ? 2 : 0;
    std::string shown;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2)
        shown += bytes[i + 1] == '\0' ? bytes[i] : '?';
    return shown;
}

std::string arguments(const std::vector<std::string>& args)
{
    std::string r;
    for (const std::string& a : args) {
        r += r.empty() ? "[" : " [";
        for (unsigned char c : a) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            r += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : hex;
        }
        r += "]";
    }
    return r;
}

std::string first_difference(const std::string& expected, const std::string& actual)
{
    auto [e, a] = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    if (e == expected.end() && a == actual.end())
        return "";
    std::size_t at = static_cast<std::size_t>(e - expected.begin());
    std::size_t from = at > context ? at - context : 0;
    return "first difference at byte " + std::to_string(at) + " (expected " +
           std::to_string(expected.size()) + " bytes, actual " + std::to_string(actual.size()) +
           ")\n  expected from byte " + std::to_string(from) + ": " +
           hex_line(expected, from, at + context, at) + "\n  actual from byte   " +
           std::to_string(from) + ": " + hex_line(actual, from, at + context, at);
}

testing::AssertionResult same_bytes(const std::string& expected, const std::string& actual)
{
    std::string difference = first_difference(expected, actual);
    if (difference.empty())
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << difference;
}

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += out.empty() ? "" : " ";
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

}  // namespace support
