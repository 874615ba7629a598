// Command-line parser and usage text.
#include "cli/arguments.h"

#include <cstring>
#include <string_view>

#include "output/output.h"

namespace ferrik {
namespace {

constexpr int max_digits = 10;
constexpr std::uint64_t max_offset = 4294967295u;

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// True when `text` is `letter` alone, in either case.
bool is_flag(const char* text, char letter)
{
    return (text[0] == letter || text[0] == letter - 'a' + 'A') && text[1] == '\0';
}

// Takes "+nnn" or "-nnn" whose sign is at argument[0] and whose second
// character is already known to be a digit.
int take_offset(const char* argument, RunSettings& settings)
{
    if (settings.offset_given) {
        out_message("More than one offset specified\n");
        return -1;
    }
    int error = 0;
    std::uint64_t value = parse_offset_number(argument + 1, &error);
    if (error != 0) {
        if (argument[0] == '+')
            out_message("Invalid number (%s) after the '+'. \n", argument + 1);
        else
            out_message("Invalid number (%s) after the '-'. \n", argument + 1);
        return -1;
    }
    settings.offset = value;
    settings.origin = argument[0];
    settings.offset_given = true;
    return 0;
}

int take_plus(const char* argument, RunSettings& settings)
{
    if (!is_digit(argument[1])) {
        out_message("Invalid option '%c' following '+'\n", argument[1]);
        return -1;
    }
    return take_offset(argument, settings);
}

// Sets `flag`, or reports it as given twice.
int take_flag(bool& flag, const char* message)
{
    if (flag) {
        out_message("%s", message);
        return -1;
    }
    flag = true;
    return 0;
}

int take_minus(const char* argument, RunSettings& settings)
{
    const char* rest = argument + 1;
    if (rest[0] == '\0') {
        out_message("Invalid Argument '-'");
        return -1;
    }
    if (is_flag(rest, 'f'))
        return take_flag(settings.follow, "Duplicate argument '-f'\n");
    if (is_flag(rest, 'b'))
        return take_flag(settings.beep, "Duplicate argument '-b'\n");
    if (is_flag(rest, 'u'))
        return take_flag(settings.unicode, "Duplicate argument '-u'\n");
    if (!is_digit(rest[0])) {
        out_message("Invalid option '%s' following '-'\n", rest);
        return -1;
    }
    return take_offset(argument, settings);
}

// True when a name is longer than max_name_length (as the platform counts)
// or than the room for it.
bool too_long(std::string_view name)
{
    return name_length(name) > static_cast<std::size_t>(max_name_length) ||
           name.size() >= static_cast<std::size_t>(file_name_size);
}

// A name that reached us with an escaped opening quote: taken up to the
// next quote as it stands, without composition.
int take_quoted_name(const char* argument, RunSettings& settings)
{
    if (argument[1] == '"' || argument[1] == '\0')
        return 0;
    std::string_view name(argument + 1);
    name = name.substr(0, name.find('"'));
    if (too_long(name)) {
        out_message("File name too long\n");
        return -1;
    }
    std::memcpy(settings.file_name, name.data(), name.size());
    settings.file_name[name.size()] = '\0';
    return 0;
}

int take_file_name(const char* argument, RunSettings& settings)
{
    if (settings.file_name[0] != '\0') {
        out_message("Duplicate filename or the file/path contains spaces. "
                    "Enclose path and filename in quotes.\n");
        return -1;
    }
    if (argument[0] == '\0')
        return 0;
    if (argument[0] == '"' && quoted_names)
        return take_quoted_name(argument, settings);
    int result = compose_file_name(argument, settings.file_name);
    if (result == -1)
        out_message("File name not specified\n");
    else if (result == -2)
        out_message("File name too long\n");
    return result == 0 ? 0 : -1;
}

}  // namespace

int parse_arguments(int argc, const char* const* argv, RunSettings& settings)
{
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        int result;
        if (argument[0] == '+')
            result = take_plus(argument, settings);
        else if (argument[0] == '-')
            result = take_minus(argument, settings);
        else
            result = take_file_name(argument, settings);
        if (result != 0)
            return -1;
    }
    if (settings.file_name[0] == '\0') {
        out_message("Filename not specified\n");
        return -1;
    }
    if (settings.offset > max_offset) {
        out_message("Offset too big \n");
        return -1;
    }
    return 0;
}

std::uint64_t parse_offset_number(const char* text, int* error)
{
    char digits[16];
    int count = 0;
    while (is_digit(text[count])) {
        if (count == max_digits) {
            *error = -1;
            return 0;
        }
        digits[count] = text[count];
        ++count;
    }
    if (text[count] != '\0') {
        *error = -1;
        return 0;
    }
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value * 10 + static_cast<std::uint64_t>(digits[i] - '0');
    *error = 0;
    return value;
}

// The name is split into drive, directory, base name and extension only to
// find the base name: joined again, uncut, the parts are the argument
// itself, so a name that fits is copied as it stands and one that does not
// is refused rather than shortened into the name of some other file.  Names
// are bytes on POSIX and UTF-8 on Windows: neither puts a separator or a dot
// byte inside a character, so every such byte is one.
int compose_file_name(const char* argument, char* destination)
{
    std::size_t start = argument[0] != '\0' && argument[1] == ':' ? 2 : 0;
    std::size_t base = start;
    std::size_t dot = std::string_view::npos;
    std::size_t i = start;
    for (; argument[i] != '\0'; ++i) {
        char c = argument[i];
        if (c == '/' || c == '\\')
            base = i + 1;
        else if (c == '.')
            dot = i;
    }
    std::size_t length = i;
    std::size_t base_end = dot != std::string_view::npos && dot >= base ? dot : length;
    // A last part that starts with a dot is a hidden file where the system
    // has them, and only an extension where it does not.
    if (base_end == base && !(dot_names_are_files && length > base))
        return -1;
    if (too_long(std::string_view(argument, length)))
        return -2;
    std::memcpy(destination, argument, length + 1);
    return 0;
}

void print_usage()
{
    out_message("\nferrik [+|-nnn] [-f] [-b] [-u] x:\\pathname\\filename.ext\n");
    out_message("\n");
    out_message("-b   - beeps when the ferrik -f resumes listing\n");
    out_message("-f   - waits for more input from the file\n");
    out_message("-u   - prints a unicode encoded text file\n");
    out_message("+nnn - begins the list nnn bytes from the start of the file\n");
    out_message("-nnn - begins the list nnn bytes from the end of the file\n");
    out_message("       (Default offset is -400)\n");
}

}  // namespace ferrik
