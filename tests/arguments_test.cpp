// The command line: which message a user sees, and what a good one decides.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/arguments.h"
#include "output/output.h"
#include "tests/fake_platform.h"
#include "tests/expected.h"
#include "tests/support.h"

using namespace ferrik;
using namespace std::string_literals;

namespace {

struct Parsed {
    int result;
    std::string message;
    RunSettings settings;
};

Parsed parse(std::vector<std::string> args)
{
    fake::reset();
    std::vector<const char*> argv{"ferrik"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    Parsed p{};
    p.result = parse_arguments(static_cast<int>(argv.size()), argv.data(), p.settings);
    out_flush();
    p.message = fake::get().output;
    return p;
}

struct Rejected {
    const char* name;
    std::vector<std::string> args;
    std::string message;
};

// The fake platform takes names of up to 4095 bytes, as POSIX systems do.
const std::string too_long_name(4096, 'n');

const Rejected rejected[] = {
    {"no arguments", {}, "Filename not specified\n"},
    {"only flags", {"-f", "-b"}, "Filename not specified\n"},
    {"lone plus", {"+", "f"}, "Invalid option '\0' following '+'\n"s},
    {"plus letter", {"+x", "f"}, "Invalid option 'x' following '+'\n"},
    {"lone minus", {"-", "f"}, "Invalid Argument '-'"},
    {"minus word", {"-x", "f"}, "Invalid option 'x' following '-'\n"},
    {"two flags in one", {"-fb", "f"}, "Invalid option 'fb' following '-'\n"},
    {"duplicate f in either case", {"-f", "-F", "f"}, "Duplicate argument '-f'\n"},
    {"duplicate b", {"-b", "f", "-b"}, "Duplicate argument '-b'\n"},
    {"duplicate u", {"-u", "-u", "f"}, "Duplicate argument '-u'\n"},
    {"minus digits then letter", {"-5x", "f"}, "Invalid number (5x) after the '-'. \n"},
    {"plus digits then letter", {"+12k", "f"}, "Invalid number (12k) after the '+'. \n"},
    {"eleven digits", {"-12345678901", "f"}, "Invalid number (12345678901) after the '-'. \n"},
    {"high byte after digits", {"+1\xe9", "f"}, "Invalid number (1\xe9) after the '+'. \n"},
    {"second offset", {"+5", "-6", "f"}, "More than one offset specified\n"},
    {"bad option before second offset", {"+5", "+x", "f"}, "Invalid option 'x' following '+'\n"},
    {"offset too big", {"+4294967296", "f"}, "Offset too big \n"},
    {"missing name before big offset", {"+9999999999"}, "Filename not specified\n"},
    {"two names", {"a", "b"}, "Duplicate filename or the file/path contains spaces. "
                              "Enclose path and filename in quotes.\n"},
    {"empty after name", {"a", ""}, "Duplicate filename or the file/path contains spaces. "
                                    "Enclose path and filename in quotes.\n"},
    {"trailing backslash", {"dir\\"}, "File name not specified\n"},
    {"trailing slash", {"dir/"}, "File name not specified\n"},
    {"bare drive", {"C:"}, "File name not specified\n"},
    {"name of 4096", {too_long_name}, "File name too long\n"},
    {"quote and 4096", {"\"" + too_long_name}, "File name too long\n"},
    {"a quote is a name like any other", {"\"\"", "f"},
     "Duplicate filename or the file/path contains spaces. Enclose path and filename in quotes.\n"},
    {"long directory", {std::string(4094, 'd') + "/f"}, "File name too long\n"},
};

TEST(Arguments, RejectedCommandLinesPrintOneMessage)
{
    for (const Rejected& c : rejected) {
        SCOPED_TRACE(std::string(c.name) + ": " + support::arguments(c.args));
        Parsed p = parse(c.args);
        EXPECT_EQ(p.result, -1);
        EXPECT_TRUE(support::same_bytes(c.message, p.message));
    }
}

struct Accepted {
    const char* name;
    std::vector<std::string> args;
    std::string file_name;
    bool offset_given;
    char origin;
    std::uint64_t offset;
    bool follow, beep, unicode;
};

const std::string longest_name(4095, 'n');

const Accepted accepted[] = {
    {"plain name", {"app.log"}, "app.log", false, 0, 0, false, false, false},
    {"flags after name", {"f", "-f", "-400"}, "f", true, '-', 400, true, false, false},
    {"flags before name", {"-400", "-f", "f"}, "f", true, '-', 400, true, false, false},
    {"upper-case flags", {"-F", "-B", "-U", "f"}, "f", false, 0, 0, true, true, true},
    {"ten digits with zeros", {"-0000000001", "f"}, "f", true, '-', 1, false, false, false},
    {"largest offset", {"+4294967295", "f"}, "f", true, '+', 4294967295u, false, false, false},
    {"zero", {"+0", "f"}, "f", true, '+', 0, false, false, false},
    {"empty before name", {"", "f"}, "f", false, 0, 0, false, false, false},
    {"final dot kept", {"file."}, "file.", false, 0, 0, false, false, false},
    {"drive and path", {"C:\\logs\\app.log"}, "C:\\logs\\app.log", false, 0, 0, false, false, false},
    {"drive relative", {"C:app"}, "C:app", false, 0, 0, false, false, false},
    {"dot in directory", {"a.d/file"}, "a.d/file", false, 0, 0, false, false, false},
    {"hidden file", {".txt"}, ".txt", false, 0, 0, false, false, false},
    {"hidden file in a directory", {"dir\\.profile"}, "dir\\.profile", false, 0, 0, false, false, false},
    {"name of 4095", {longest_name}, longest_name, false, 0, 0, false, false, false},
    // POSIX: a double quote is an ordinary character of a name.
    {"quotes in a name", {"\"my file\"x"}, "\"my file\"x", false, 0, 0, false, false, false},
    {"a lone quote", {"\""}, "\"", false, 0, 0, false, false, false},
};

TEST(Arguments, AcceptedCommandLinesFillTheSettings)
{
    for (const Accepted& c : accepted) {
        Parsed p = parse(c.args);
        SCOPED_TRACE(std::string(c.name) + ": " + support::arguments(c.args));
        EXPECT_EQ(p.result, 0);
        EXPECT_EQ(p.message, "");
        EXPECT_EQ(p.settings.file_name, c.file_name);
        EXPECT_EQ(p.settings.offset_given, c.offset_given);
        if (c.offset_given) {
            EXPECT_EQ(p.settings.origin, c.origin);
            EXPECT_EQ(p.settings.offset, c.offset);
        }
        EXPECT_EQ(p.settings.follow, c.follow);
        EXPECT_EQ(p.settings.beep, c.beep);
        EXPECT_EQ(p.settings.unicode, c.unicode);
    }
}

TEST(Arguments, UsageTextIsExact)
{
    fake::reset();
    print_usage();
    out_flush();
    EXPECT_TRUE(support::same_bytes(expected::usage, fake::get().output));
}

}  // namespace
