// The UTF-16LE display, end to end, with real standard input.
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/process.h"
#include "tests/expected.h"
#include "tests/support.h"

using namespace e2e;
using namespace std::string_literals;
using support::wide;

namespace {

const std::string banner = text(expected::banner);
const std::string question = "This file probably a unicode file. Display as unicode ? (y/n)";

TEST(Utf16EndToEnd, AnswerToTheQuestion)
{
    TempDir dir;
    const std::string file = "\xff\xfe"s + wide("caf\xe9\r\n");
    std::string f = dir.write("u16.txt", file);
    struct Case {
        const char* name;
        Input input;
        std::string shown;
    } cases[] = {
        {"y", {true, "y\n"}, "caf\xe9\r\n"},
        {"Y", {true, "Y\n"}, "caf\xe9\r\n"},
        {"yes", {true, "yes\n"}, "caf\xe9\r\n"},
        {"n", {true, "n\n"}, file},
        {"blank first", {true, " y\n"}, file},
        {"empty input", {true, ""}, file},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Result r = run({f}, c.input);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_TRUE(support::same_bytes(banner + question + c.shown, r.out));
    }
}

TEST(Utf16EndToEnd, DisplayWithoutAQuestion)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string content;
        std::string shown;
    } cases[] = {
        {"-u on a file without a mark", {"-u"}, wide("plain \x01\xff"), "plain \x01\xff"},
        {"odd size, default offset", {"-u"}, wide(std::string(300, 'x')) + "!",
         std::string(200, 'x')},
        {"outside Latin-1", {"-u", "+0"}, wide("a") + "\xa9\x03"s + wide("b"), "a?b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = c.args;
        args.push_back(dir.write("f", c.content));
        Result r = run(args, {true, "y"});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_TRUE(support::same_bytes(banner + c.shown, r.out));
    }
}

TEST(Utf16EndToEnd, UnitSplitAcrossTwoAppendsIsShownWhole)
{
    TempDir dir;
    std::string f = dir.write("u16.log", "\xff\xfe"s + wide("go"));
    Process p({"-u", "-f", f});
    support::expect_shown(p, banner + "go", "initial display");
    append(f, "A");
    // Give ferrik a poll or two to read the lone byte; the result must be
    // the same whether it did or not.
    usleep(2500000);
    append(f, "\0B\0"s);
    support::expect_shown(p, banner + "goAB", "after the second append");
}

// The question has reached a pipe before the answer is waited for: a
// reader sees it, and then answers.
TEST(Utf16EndToEnd, QuestionArrivesBeforeTheAnswerIsRead)
{
    TempDir dir;
    std::string f = dir.write("u16.txt", "\xff\xfe"s + wide("hi"));
    Process p({f}, {true, "", true});
    support::expect_shown(p, banner + question, "before the answer");
    p.send("y\n");
    Result r = p.wait();
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(support::same_bytes(banner + question + "hi", r.out));
}

// Once output has failed nobody sees the question: the failure is reported
// without waiting for an answer on a standard input that never ends.
TEST(Utf16EndToEnd, NoQuestionOnceOutputHasFailed)
{
    TempDir dir;
    std::string f = dir.write("bom.txt", "\xff\xfe"s + wide("hi"));
    Process p({f}, {true, "", true}, "/dev/full");
    EXPECT_TRUE(p.end_unread(std::chrono::seconds(30))) << "still waiting for an answer";
    Result r = p.wait();
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(r.err, text("ferrik: standard output: "s +
                          (under_wine() ? "Disk full" : "No space left on device") + "\n"));
}

}  // namespace
