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
        fake::Platform& p = fake::reset_file(c.content);
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

// UTF-16LE units as bytes.
std::string units(std::initializer_list<unsigned> list)
{
    std::string out;
    for (unsigned u : list) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

const std::string emoji = units({0xD83D, 0xDE00});   // U+1F600
const std::string emoji_utf8 = "\xf0\x9f\x98\x80";
const std::string fffd = "\xef\xbf\xbd";
// The first half of the emoji is the last unit of the first read.
const std::string split_pair = wide(std::string(read_size / 2 - 1, 'x')) + emoji + wide("b");

struct Conversion {
    const char* name;
    std::string content;
    std::string latin1;   // shown where text_form() is latin1
    std::string utf8;     // shown where it is utf8, and given to write_text() where converted
    std::size_t held;     // left for a follow-mode wait to count as seen
};

const Conversion conversions[] = {
    {"ASCII", wide("hi, 7"), "hi, 7", "hi, 7", 0},
    {"Latin-1 letters", wide("caf\xe9 \xff"), "caf\xe9 \xff", "caf\xc3\xa9 \xc3\xbf", 0},
    {"Greek", units({0x3A9, 0x3BC}), "??", "\xce\xa9\xce\xbc", 0},
    {"CJK", units({0x65E5, 0x672C}), "??", "\xe6\x97\xa5\xe6\x9c\xac", 0},
    {"emoji as a pair", wide("a") + emoji + wide("b"), "a??b", "a" + emoji_utf8 + "b", 0},
    {"pair split across two reads", split_pair,
     std::string(read_size / 2 - 1, 'x') + "??b",
     std::string(read_size / 2 - 1, 'x') + emoji_utf8 + "b", 0},
    {"lone high surrogate", units({'a', 0xD83D, 'b'}), "a?b", "a" + fffd + "b", 0},
    {"high surrogate before a pair", units({0xD83D, 0xD83D, 0xDE00}), "???", fffd + emoji_utf8, 0},
    {"lone low surrogate", units({'a', 0xDE00, 'b'}), "a?b", "a" + fffd + "b", 0},
    {"high surrogate at the end of the file", units({'a', 0xD83D}), "a?", "a" + fffd, 2},
    {"high surrogate and an odd byte at the end", units({'a', 0xD83D}) + "c", "a?", "a" + fffd, 3},
    {"zero unit", units({'a', 0, 'b'}), "a\0b"s, "a\0b"s, 0},
    {"mark at position 0 is left out", "\xff\xfe" + wide("hi"), "hi", "hi", 0},
    {"mark elsewhere is a character", wide("a") + "\xff\xfe" + wide("b"), "a?b",
     "a\xef\xbb\xbf" "b", 0},
};

// Each case as a whole run without -f would show it: read_loop(), then the
// end of the display.
TEST(Utf16, ConversionTable)
{
    const struct {
        const char* name;
        TextForm form;
    } forms[] = {{"latin1", TextForm::latin1}, {"utf8", TextForm::utf8},
                 {"converted", TextForm::converted}};
    for (const auto& form : forms) {
        for (const Conversion& c : conversions) {
            SCOPED_TRACE(std::string(form.name) + ": " + c.name);
            fake::Platform& p = fake::reset_file(c.content);
            p.text_form = form.form;
            run_settings = RunSettings{};
            run_settings.unicode = true;
            read_state.handle = fake::open_file();
            read_state.position = 0;
            EXPECT_EQ(read_loop(), 0);
            EXPECT_EQ(read_state.held, c.held);
            EXPECT_EQ(print_utf16_end(), 0);
            out_flush();
            const std::string& expected = form.form == TextForm::latin1 ? c.latin1 : c.utf8;
            const std::string shown_input = c.content.size() > 64
                                                ? std::to_string(c.content.size()) + " bytes"
                                                : support::hex(c.content);
            EXPECT_TRUE(p.output == expected) << "input units: " << shown_input
                                              << "\n  expected: " << support::hex(expected)
                                              << "\n  actual:   " << support::hex(p.output);
            if (form.form == TextForm::converted)
                EXPECT_TRUE(p.converted == expected) << "not all through write_text()";
            else
                EXPECT_EQ(p.converted, "");
        }
    }
}

TEST(Utf16, PairSplitAcrossTwoAppendsStaysWhole)
{
    fake::Platform& p = fake::reset();
    p.file_name = "f";
    p.text_form = TextForm::utf8;
    run_settings = RunSettings{};
    run_settings.unicode = true;
    read_state.handle = fake::open_file();
    read_state.position = 0;
    p.content = units({'A', 0xD83D});
    EXPECT_EQ(read_loop(), 0);
    p.on_pause = [&](int n) {
        if (n == 5)
            p.content += units({0xDE00, 'B'});
    };
    wait_for_change();
    EXPECT_EQ(p.pauses, 5) << "the held half counts as seen";
    EXPECT_EQ(read_loop(), 0);
    out_flush();
    EXPECT_TRUE(p.output == "A" + emoji_utf8 + "B") << support::hex(p.output);
}

TEST(Utf16, LongTextOverManyReads)
{
    std::string text;
    for (int i = 0; text.size() < 3 * read_size; ++i)
        text += "line " + std::to_string(i) + "\n";
    fake::Platform& p = fake::reset_file(mark + wide(text));
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
    bool asked;
    std::string shown;   // after the banner and the question
};

// The question goes to a terminal on standard output, and to standard error
// when standard output is a file or pipe.  The answer's whole line is read.
TEST(Utf16, QuestionAndStartPosition)
{
    const std::string odd = wide(std::string(300, 'x')) + "!";   // 601 bytes
    const Asked cases[] = {
        {"answer y", {"f"}, mark + wide("hello"), "y\n", true, "hello"},
        {"answer Y", {"f"}, mark + wide("hello"), "Y", true, "hello"},
        {"answer yes, then more", {"f"}, mark + wide("hello"), "yes\nls\n", true, "hello"},
        {"answer n shows bytes", {"f"}, mark + wide("hi"), "n\n", true, mark + wide("hi")},
        {"no answer shows bytes", {"f"}, mark + wide("hi"), "", true, mark + wide("hi")},
        {"-u asks nothing", {"-u", "f"}, mark + wide("hello"), "n", false, "hello"},
        {"-u without a mark", {"-u", "f"}, wide("plain"), "", false, "plain"},
        {"no mark, no question", {"f"}, wide("plain"), "y", false, wide("plain")},
        {"big-endian mark is not one", {"f"}, "\xfe\xff\0a"s, "y", false, "\xfe\xff\0a"s},
        {"mark checked whatever the start", {"-2", "f"}, mark + wide("abc"), "y", true, "c"},
        {"odd default start rounds down", {"-u", "f"}, odd, "", false, std::string(200, 'x')},
    };
    for (bool terminal : {false, true}) {
        for (const Asked& c : cases) {
            SCOPED_TRACE(std::string(terminal ? "terminal: " : "pipe: ") + c.name);
            fake::Platform& p = fake::reset_file(c.content);
            p.input = c.input;
            p.terminal = terminal;
            std::vector<const char*> argv{"ferrik"};
            argv.insert(argv.end(), c.args.begin(), c.args.end());
            EXPECT_EQ(run_display(static_cast<int>(argv.size()), argv.data()), 0);
            std::string on_stdout = c.asked && terminal ? question : "";
            std::string on_stderr = c.asked && !terminal ? question : "";
            EXPECT_TRUE(support::same_bytes(banner + on_stdout + c.shown, p.output));
            EXPECT_EQ(p.errors, on_stderr);
            std::size_t line = std::min(c.input.find('\n'), c.input.size() - 1) + 1;
            EXPECT_EQ(p.input_used, c.asked ? std::min(line, c.input.size()) : 0u)
                << "the answer's line, and nothing after it, is read";
        }
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
        fake::Platform& p = fake::reset_file(mark + wide("hello"));
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
    fake::Platform& p = fake::reset_file("a\0b"s);
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
