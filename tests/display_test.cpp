// The run driver against the fake platform: start position, byte display,
// and the errors of a run.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "display/display.h"
#include "tests/fake_platform.h"
#include "tests/expected.h"
#include "tests/support.h"

using namespace ferrik;
using namespace std::string_literals;

namespace {

using fake::run;
using support::pattern;

const std::string banner = expected::banner;

struct StartCase {
    const char* name;
    char origin;
    std::uint64_t offset, size, start;
};

const StartCase starts[] = {
    {"default on a small file", '-', 400, 250, 0},
    {"back from the end", '-', 400, 900, 500},
    {"minus zero is the end", '-', 0, 900, 900},
    {"back past the start", '-', 5000, 900, 0},
    {"plus zero", '+', 0, 900, 0},
    {"forward to the end", '+', 900, 900, 900},
    {"forward past the end falls back", '+', 901, 900, 500},
    {"past 4 GiB", '-', 400, 5ull << 30, (5ull << 30) - 400},
    {"forward in a 5 GiB file", '+', 4294967295u, 5ull << 30, 4294967295u},
};

TEST(Display, StartPosition)
{
    for (const StartCase& c : starts) {
        SCOPED_TRACE(c.name);
        RunSettings s{};
        s.origin = c.origin;
        s.offset = c.offset;
        EXPECT_EQ(choose_start(s, c.size), c.start);
    }
}

struct ShowCase {
    const char* name;
    std::vector<std::string> args;
    std::string content;
    std::size_t from;   // the output is content from here on
};

TEST(Display, ShowsTheFileFromItsStart)
{
    const std::string big = pattern(300 * 1024 + 3);   // several reads
    const ShowCase cases[] = {
        {"empty file", {"f"}, "", 0},
        {"smaller than the default", {"f"}, pattern(250), 0},
        {"default", {"f"}, pattern(1000), 600},
        {"minus zero", {"-0", "f"}, pattern(1000), 1000},
        {"plus zero", {"+0", "f"}, pattern(1000), 0},
        {"forward offset equal to the size", {"+1000", "f"}, pattern(1000), 1000},
        {"forward offset past the size", {"+1001", "f"}, pattern(1000), 600},
        {"backward offset past the size", {"-1001", "f"}, pattern(1000), 0},
        {"NUL bytes are shown", {"+0", "f"}, "AB\0C"s, 0},
        {"many reads", {"+0", "f"}, big, 0},
        {"many reads from an offset", {"-200000", "f"}, big, big.size() - 200000},
    };
    for (bool transfer : {false, true}) {
        for (const ShowCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (transfer ? " (transfer)" : " (copy)"));
            fake::Platform& p = fake::reset_file(c.content);
            p.transfer = transfer;
            EXPECT_EQ(run(c.args), 0);
            EXPECT_TRUE(support::same_bytes(banner + c.content.substr(c.from), p.output));
        }
    }
}

TEST(Display, MissingFileIsReportedWithTheComposedName)
{
    fake::Platform& p = fake::reset();
    EXPECT_EQ(run({"-f", "logs/none.log"}), -1);
    EXPECT_TRUE(support::same_bytes(banner + "logs/none.log: No such file\n", p.output));
}

TEST(Display, CommandLineErrorPrintsUsage)
{
    fake::Platform& p = fake::reset();
    EXPECT_EQ(run({}), -1);
    EXPECT_EQ(p.output.rfind(banner + "Filename not specified\n\nferrik [+|-nnn]", 0), 0u)
        << p.output;
    EXPECT_EQ(p.output.substr(p.output.size() - 32), "       (Default offset is -400)\n");
}

TEST(Display, ReadErrorEndsTheRun)
{
    fake::Platform& p = fake::reset_file(pattern(400 * 1024));
    p.fail_read_at = read_size;
    EXPECT_EQ(run({"+0", "f"}), -1);
    EXPECT_TRUE(support::same_bytes(banner + p.content.substr(0, read_size) + "f: Read error\n",
                                    p.output));
}

TEST(Display, FailedOutputEndsTheRunAndIsReportedOnce)
{
    fake::Platform& p = fake::reset_file(pattern(1 << 20));
    p.fail_writes = true;
    EXPECT_EQ(run({"+0", "f"}), -1);
    EXPECT_EQ(p.errors, "ferrik: standard output: error\n");
    EXPECT_EQ(p.writes, 1) << "kept writing after the output failed";
}

// Whatever standard output is, everything written so far has gone out by
// the time the program blocks: on the answer to the question (which a
// terminal shows on standard output and anything else gets on standard
// error), or in the wait of -f.
TEST(Display, OutputHasGoneOutWhenTheProgramBlocks)
{
    const std::string question = "This file probably a unicode file. Display as unicode ? (y/n)";
    struct Kind {
        const char* name;
        bool terminal, transfer;
    } kinds[] = {{"terminal", true, false}, {"pipe", false, false}, {"file", false, true}};
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.name);
        auto prepare = [&](const std::string& content) -> fake::Platform& {
            fake::Platform& p = fake::reset_file(content);
            p.terminal = k.terminal;
            p.transfer = k.transfer;
            return p;
        };
        std::string seen, seen_on_errors;
        fake::Platform& p = prepare("\xff\xfe" + support::wide("hi"));
        p.input = "n";
        p.on_read_stdin = [&] {
            seen = p.output;
            seen_on_errors = p.errors;
        };
        EXPECT_EQ(run({"f"}), 0);
        EXPECT_TRUE(support::same_bytes(banner + (k.terminal ? question : ""), seen))
            << "at the question";
        EXPECT_EQ(seen_on_errors, k.terminal ? "" : question) << "at the question";

        prepare("abc").on_pause = [&](int) {
            seen = p.output;
            p.fail_size = true;   // ends the run
        };
        EXPECT_EQ(run({"-f", "f"}), -1);
        EXPECT_TRUE(support::same_bytes(banner + "abc", seen)) << "in the wait";
    }
}

}  // namespace
