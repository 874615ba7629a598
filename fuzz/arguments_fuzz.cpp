// libFuzzer target for the command line.  The input is the argument vector
// after argv[0]: each argument ends at a NUL byte (the last one may end at
// the end of the input).  For every input the parser must either accept the
// command line, printing nothing and leaving a name of 1 to max_name_length bytes,
// or print exactly one of its messages and return -1.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "output/output.h"
#include "platform/platform.h"
#include "tests/fake_platform.h"

using namespace ferrik;

namespace {

// A message of the parser, split around its one placeholder, if any.
struct Message {
    const char* before;
    char conversion;   // 's', 'c' or 0 for none
    const char* after;
};

const Message messages[] = {
    {"More than one offset specified\n", 0, ""},
    {"Invalid number (", 's', ") after the '+'. \n"},
    {"Invalid number (", 's', ") after the '-'. \n"},
    {"Invalid option '", 'c', "' following '+'\n"},
    {"Invalid option '", 's', "' following '-'\n"},
    {"Invalid Argument '-'", 0, ""},
    {"Duplicate argument '-f'\n", 0, ""},
    {"Duplicate argument '-b'\n", 0, ""},
    {"Duplicate argument '-u'\n", 0, ""},
    {"File name too long\n", 0, ""},
    {"Duplicate filename or the file/path contains spaces. "
     "Enclose path and filename in quotes.\n", 0, ""},
    {"File name not specified\n", 0, ""},
    {"Filename not specified\n", 0, ""},
    {"Offset too big \n", 0, ""},
};

// Arguments larger than this could make one message go out in several
// writes (the output buffer is 64 KiB), so that the write count would no
// longer be the message count.
constexpr std::size_t countable_size = 32 * 1024;

std::string quoted(const std::string& s)
{
    std::string r = "\"";
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            r += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            r += hex;
        }
    }
    return r + "\"";
}

[[noreturn]] void fail(const char* what, const std::vector<std::string>& args,
                       int result, const std::string& output)
{
    std::fprintf(stderr, "arguments_fuzz: %s\n  arguments:", what);
    for (const std::string& a : args)
        std::fprintf(stderr, " %s", quoted(a).c_str());
    std::fprintf(stderr, "\n  result:    %d\n  output:    %s\n", result, quoted(output).c_str());
    std::abort();
}

// True when `output` is `m` with its placeholder filled from one of the
// arguments, as the parser fills it: %s with the argument after its sign,
// %c with the character after the sign.
bool is_message(const Message& m, const std::string& output,
                const std::vector<std::string>& args)
{
    if (m.conversion == 0)
        return output == m.before;
    std::size_t b = std::strlen(m.before), a = std::strlen(m.after);
    if (output.size() < b + a || output.compare(0, b, m.before) != 0 ||
        output.compare(output.size() - a, a, m.after) != 0)
        return false;
    std::string middle = output.substr(b, output.size() - b - a);
    for (const std::string& arg : args) {
        if (arg.empty())
            continue;
        if (m.conversion == 's' && middle == arg.substr(1))
            return true;
        if (m.conversion == 'c' && middle == std::string(1, arg.c_str()[1]))
            return true;
    }
    return false;
}

// True when `name` is what a file argument gives: the argument itself, or
// an argument with an opening quote, taken up to its next quote.
bool is_file_argument(const char* name, const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == name)
            return true;
        if (!arg.empty() && arg[0] == '"' && arg.substr(1, arg.find('"', 1) - 1) == name)
            return true;
    }
    return false;
}

// How many arguments are the flag `letter`, in either case.
int flag_count(const std::vector<std::string>& args, char letter)
{
    int n = 0;
    for (const std::string& arg : args)
        if (arg.size() == 2 && arg[0] == '-' && (arg[1] | 0x20) == letter)
            ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size ? i > start : data[i] == 0) {
            args.emplace_back(reinterpret_cast<const char*>(data) + start, i - start);
            start = i + 1;
        }
    }
    std::vector<const char*> argv{"ferrik"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());

    fake::Platform& p = fake::reset();
    // To a terminal every out_message() goes out at once, in one write.
    p.terminal = true;
    out_start();

    // As the run driver hands it over: every field at its initial value.
    RunSettings settings{};

    int result = parse_arguments(static_cast<int>(argv.size()), argv.data(), settings);
    int writes = p.writes;
    out_flush();
    const std::string& output = p.output;

    if (result == 0) {
        if (!output.empty())
            fail("accepted, yet printed something", args, result, output);
        std::size_t length = strnlen(settings.file_name, sizeof settings.file_name);
        if (length == 0 || length > static_cast<std::size_t>(max_name_length))
            fail("accepted with a file name that is empty or too long", args, result, output);
        if (!is_file_argument(settings.file_name, args))
            fail("accepted with a file name that is no argument", args, result,
                 settings.file_name);
        if (settings.offset_given &&
            ((settings.origin != '+' && settings.origin != '-') || settings.offset > 4294967295u))
            fail("accepted with a bad offset", args, result, output);
        if (settings.follow != (flag_count(args, 'f') == 1) ||
            settings.beep != (flag_count(args, 'b') == 1) ||
            settings.unicode != (flag_count(args, 'u') == 1))
            fail("accepted with flags that the arguments did not give", args, result, output);
    } else if (result == -1) {
        if (size <= countable_size && writes != 1)
            fail("refused with other than one message", args, result, output);
        bool known = false;
        for (const Message& m : messages)
            known = known || is_message(m, output, args);
        if (!known)
            fail("refused with an unknown message", args, result, output);
    } else {
        fail("result is neither 0 nor -1", args, result, output);
    }
    return 0;
}
