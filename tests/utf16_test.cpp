// The UTF-16LE display against the fake platform.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "display/display.h"
#include "tests/fake_platform.h"
#include "tests/expected.h"
#include "tests/support.h"

using namespace ferrik;
using namespace std::string_literals;
using support::wide;

namespace {

const std::string banner = expected::banner;
const std::string question = "This file probably a unicode file. Display as unicode ? (y/n)";

const std::string mark = "\xff\xfe";

struct Chunk {
    const char* name;
    std::string content;
    std::uint64_t from;
    std::string shown;
    std::size_t held;   // odd byte left for the wait to count as seen
};

const Chunk chunks[] = {
    {"mark at the start is left out", mark + wide("hi"), 0, "hi", 0},
    {"mark elsewhere is a unit", wide("a") + mark + wide("b"), 0, "a?b", 0},
    {"mark read from later on", mark + wide("ab") + mark, 6, "?", 0},
    {"unit above 0xFF", wide("a") + "\xb1\x03" + wide("b"), 0, "a?b", 0},
    {"surrogate pair", wide("a") + "\x3d\xd8\x00\xde"s + wide("b"), 0, "a??b", 0},
    {"Latin-1", "\xe9\x00\xff\x00"s, 0, "\xe9\xff", 0},
    {"zero unit", wide("a") + "\0\0"s + wide("b"), 0, "a\0b"s, 0},
    {"odd count", wide("ab") + "c", 0, "ab", 1},
    {"only the mark", mark, 0, "", 0},
    {"one byte", "x", 0, "", 1},
};

TEST(Utf16, ChunksBecomeOneBytePerUnit)
{
    for (const Chunk& c : chunks) {
        SCOPED_TRACE(c.name);
        fake::Platform& p = fake::reset();
        p.file_name = "f";
        p.content = c.content;
        run_settings = RunSettings{};
        run_settings.unicode = true;
        read_state.handle = fake::open_file();
        read_state.position = c.from;
        EXPECT_EQ(read_loop(), 0);
        out_flush();
        EXPECT_TRUE(support::same_bytes(c.shown, p.output));
        EXPECT_EQ(read_state.held, c.held);
        EXPECT_EQ(read_state.position, c.content.size() - c.held);
    }
}

TEST(Utf16, LongTextOverManyReads)
{
    std::string text;
    for (int i = 0; text.size() < 3 * read_size; ++i)
        text += "line " + std::to_string(i) + "\n";
    fake::Platform& p = fake::reset();
    p.file_name = "f";
    p.content = mark + wide(text);
    run_settings = RunSettings{};
    const char* argv[] = {"ferrik", "-u", "+0", "f"};
    EXPECT_EQ(run_display(4, argv), 0);
    EXPECT_TRUE(support::same_bytes(banner + text, p.output));
}

struct Asked {
    const char* name;
    std::vector<const char*> args;
    std::string content;
    std::string input;
    std::string output;   // after the banner
};

TEST(Utf16, QuestionAndStartPosition)
{
    const std::string odd = wide(std::string(300, 'x')) + "!";   // 601 bytes
    const Asked cases[] = {
        {"answer y", {"f"}, mark + wide("hello"), "y\n", question + "hello"},
        {"answer Y", {"f"}, mark + wide("hello"), "Y", question + "hello"},
        {"answer n shows bytes", {"f"}, mark + wide("hi"), "n\n", question + mark + wide("hi")},
        {"no answer shows bytes", {"f"}, mark + wide("hi"), "", question + mark + wide("hi")},
        {"-u asks nothing", {"-u", "f"}, mark + wide("hello"), "n", "hello"},
        {"-u without a mark", {"-u", "f"}, wide("plain"), "", "plain"},
        {"no mark, no question", {"f"}, wide("plain"), "y", wide("plain")},
        {"big-endian mark is not one", {"f"}, "\xfe\xff\0a"s, "y", "\xfe\xff\0a"s},
        {"mark checked whatever the start", {"-2", "f"}, mark + wide("abc"), "y", question + "c"},
        {"odd default start rounds down", {"-u", "f"}, odd, "", std::string(200, 'x')},
    };
    for (const Asked& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Platform& p = fake::reset();
        p.file_name = "f";
        p.content = c.content;
        p.input = c.input;
        std::vector<const char*> argv{"ferrik"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(run_display(static_cast<int>(argv.size()), argv.data()), 0);
        EXPECT_TRUE(support::same_bytes(banner + c.output, p.output));
        EXPECT_LE(p.input_used, 1u) << "only the first character counts";
    }
}

TEST(Utf16, UnitSplitAcrossTwoAppendsStaysWhole)
{
    fake::Platform& p = fake::reset();
    p.file_name = "f";
    run_settings = RunSettings{};
    run_settings.unicode = true;
    run_settings.beep = true;
    read_state.handle = fake::open_file();
    read_state.position = 0;
    p.content = "A";
    EXPECT_EQ(read_loop(), 0);
    p.on_pause = [&](int n) {
        if (n == 5)
            p.content += "\0B\0"s;
    };
    wait_for_change();
    EXPECT_EQ(p.pauses, 5) << "the held byte counts as seen";
    EXPECT_EQ(p.beeps, 1);
    EXPECT_EQ(read_loop(), 0);
    out_flush();
    EXPECT_TRUE(support::same_bytes("AB", p.output));
}

// Once output has failed nobody would see the question: the run reports the
// failure without waiting for an answer.
TEST(Utf16, NoQuestionOnceOutputHasFailed)
{
    for (bool terminal : {false, true}) {
        SCOPED_TRACE(terminal ? "terminal" : "pipe");
        fake::Platform& p = fake::reset();
        p.file_name = "f";
        p.content = mark + wide("hello");
        p.input = "y";
        p.terminal = terminal;
        p.fail_writes = true;
        EXPECT_EQ(fake::run({"f"}), -1);
        EXPECT_EQ(p.input_used, 0u) << "waited for an answer";
        EXPECT_EQ(p.errors, "ferrik: standard output: error\n");
    }
}

// A file cut back to exactly the read position while an odd byte is held
// has not shrunk below what was shown: nothing is shown again, and the
// units that follow are read from there.
TEST(Utf16, CutToTheReadPositionWhileAByteIsHeld)
{
    fake::Platform& p = fake::reset();
    p.file_name = "f";
    p.content = "a\0b"s;
    p.on_pause = [&](int n) {
        if (n == 1)
            p.content.resize(2);
        if (n == 2)
            p.content += "c\0"s;
        if (n == 3) {   // ends the run: the next write fails
            p.content += "d\0"s;
            p.fail_writes = true;
        }
    };
    EXPECT_EQ(fake::run({"-u", "-f", "+0", "f"}), -1);
    EXPECT_TRUE(support::same_bytes(banner + "ac", p.output));
    EXPECT_EQ(p.pauses, 3);
}

}  // namespace
