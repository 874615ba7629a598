// The UTF-16LE display against the fake platform.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/wide.h"

#include "display/display.h"
#include "tests/fake_platform.h"
#include "tests/expected.h"

using namespace ferrik;
using namespace std::string_literals;
using testing_text::wide;

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
        fake::Platform& p = fake::reset();
        p.file_name = "f";
        p.content = c.content;
        run_settings = RunSettings{};
        run_settings.unicode = true;
        read_state.handle = fake::open_file();
        read_state.position = c.from;
        EXPECT_EQ(read_loop(), 0);
        out_flush();
        EXPECT_EQ(p.output, c.shown) << c.name;
        EXPECT_EQ(read_state.held, c.held) << c.name;
        EXPECT_EQ(read_state.position, c.content.size() - c.held) << c.name;
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
    EXPECT_TRUE(p.output == banner + text);
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
        fake::Platform& p = fake::reset();
        p.file_name = "f";
        p.content = c.content;
        p.input = c.input;
        std::vector<const char*> argv{"ferrik"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(run_display(static_cast<int>(argv.size()), argv.data()), 0) << c.name;
        EXPECT_EQ(p.output, banner + c.output) << c.name;
        EXPECT_LE(p.input_used, 1u) << c.name << ": only the first character counts";
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
    EXPECT_EQ(p.output, "AB");
}

}  // namespace
