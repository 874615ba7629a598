// The UTF-16LE display, end to end, with real standard input.
#include <cstdlib>
#include <string>
#include <vector>

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

// The C locale natively; under Wine the locale its leg needs stays, since
// the Windows build writes one byte per unit into a pipe whatever it is.
const char* c_locale()
{
    return under_wine() ? std::getenv("LC_ALL") : "C";
}

// With standard output a pipe, the question goes to standard error and the
// pipe carries only the banner and the file.
TEST(Utf16EndToEnd, AnswerToTheQuestion)
{
    EnvSetting locale("LC_ALL", c_locale());
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
        EXPECT_TRUE(support::same_bytes(banner + c.shown, r.out));
        EXPECT_EQ(r.err, question);
    }
}

// The answer's whole line is ferrik's, and nothing after it: the shell that
// reads the same input next gets the following line intact.
TEST(Utf16EndToEnd, TheAnswerLineIsTakenWhole)
{
    EnvSetting locale("LC_ALL", c_locale());
    TempDir dir;
    std::string f = dir.write("u16.txt", "\xff\xfe"s + wide("hi"));
    std::vector<std::string> command = {"/bin/sh", "-c", "\"$@\"; echo; cat", "sh"};
    for (const std::string& part : ferrik_command())
        command.push_back(part);
    command.push_back(f);
    Process p(Helper{command});
    p.send("yes\nnext line\n");
    Result r = p.wait();
    EXPECT_EQ(r.out, banner + "hi\nnext line\n");
    EXPECT_EQ(r.err, question);
}

TEST(Utf16EndToEnd, DisplayWithoutAQuestion)
{
    EnvSetting locale("LC_ALL", c_locale());
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

const std::string sample = "\xff\xfe"s + wide("caf\xe9 ") +
                           "\xa9\x03\xbc\x03\xad\x03\xb3\x03\xb1\x03"s + wide(" ") +
                           "\xe5\x65\x2c\x67\x9e\x8a"s + wide(" ") + "\x3d\xd8\x00\xde"s +
                           wide("\n");
const std::string sample_latin1 = "caf\xe9 ????? ??? ??\n";
const std::string sample_utf8 = "caf\xc3\xa9 \xce\xa9\xce\xbc\xce\xad\xce\xb3\xce\xb1 "
                                "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xf0\x9f\x98\x80\n";

// The encoding comes from the locale the environment names; the Windows
// build writes one byte per unit into a pipe.
TEST(Utf16EndToEnd, TheLocaleChoosesTheEncoding)
{
    TempDir dir;
    const std::string f = dir.write("u16.txt", sample);
    struct Case {
        const char* name;
        const char* lc_all;
        const char* lang;
        std::string shown;
    } cases[] = {
        {"LANG=C.UTF-8", nullptr, "C.UTF-8", sample_utf8},
        {"LC_ALL=C.UTF-8 over LANG=C", "C.UTF-8", "C", sample_utf8},
        {"LC_ALL=C over LANG=C.UTF-8", "C", "C.UTF-8", sample_latin1},
        {"no locale at all", nullptr, nullptr, sample_latin1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (under_wine() && c.lc_all == nullptr)
            continue;   // Wine itself needs LC_ALL
        EnvSetting lc_all("LC_ALL", under_wine() ? std::getenv("LC_ALL") : c.lc_all);
        EnvSetting lc_ctype("LC_CTYPE", nullptr);
        EnvSetting lang("LANG", c.lang);
        Result r = run({"-u", "+0", f});
        const std::string& expected = under_wine() ? sample_latin1 : c.shown;
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_TRUE(r.out == banner + expected) << "expected: " << support::hex(expected)
                                                << "\n  actual:   " << support::hex(r.out);
    }
}

// Any other encoding a locale names goes through iconv, '?' for what it
// cannot hold: EUC-JP holds the accented letter, the Greek and the Japanese
// of the sample, not the emoji.  The locale is compiled into the test's
// directory, so nothing is installed on the machine.
TEST(Utf16EndToEnd, AnotherEncodingGoesThroughIconv)
{
    if (under_wine())
        GTEST_SKIP() << "the POSIX build's locales";
    TempDir dir;
    const std::string f = dir.write("u16.txt", sample);
    std::string compile = "localedef -i ja_JP -f EUC-JP '" + dir.path("ja_JP.EUC-JP") +
                          "' > /dev/null 2>&1";
    ASSERT_EQ(std::system(compile.c_str()), 0)
        << "needs localedef and the ja_JP locale source (Debian: locales)";
    EnvSetting locpath("LOCPATH", dir.path("").c_str());
    EnvSetting lc_all("LC_ALL", "ja_JP.EUC-JP");
    Result r = run({"-u", "+0", f});
    const std::string expected = "caf\x8f\xab\xb1 \xa6\xb8\xa6\xcc\x8f\xa6\xf2\xa6\xc3\xa6\xc1 "
                                 "\xc6\xfc\xcb\xdc\xb8\xec ?\n";
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.out == banner + expected) << "expected: " << support::hex(expected)
                                            << "\n  actual:   " << support::hex(r.out);
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
    // Standard output is a pipe, so the question is on standard error.
    EXPECT_TRUE(p.read_until([&](const std::string&) { return p.err().size() >= question.size(); }))
        << "no question before the answer";
    EXPECT_EQ(p.err(), text(question));
    p.send("y\n");
    Result r = p.wait();
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(support::same_bytes(banner + "hi", r.out));
}

// An answer that never ends (standard input is /dev/zero) is read no
// further than a terminal's longest line: its first character, NUL, is no.
TEST(Utf16EndToEnd, AnEndlessAnswerIsNotReadThrough)
{
    TempDir dir;
    const std::string content = "\xff\xfe"s + wide("hi");
    std::string f = dir.write("bom.txt", content);
    std::vector<std::string> command = {"/bin/sh", "-c", "\"$@\" < /dev/zero", "sh"};
    for (const std::string& part : ferrik_command())
        command.push_back(part);
    command.push_back(f);
    Process p(Helper{command});
    EXPECT_TRUE(p.end_unread(std::chrono::seconds(30))) << "still reading the answer";
    Result r = p.wait();
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(support::same_bytes(banner + content, r.out));
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

TEST(Utf16EndToEnd, PairSplitAcrossTwoAppendsIsShownWhole)
{
    EnvSetting locale("LC_ALL", under_wine() ? std::getenv("LC_ALL") : "C.UTF-8");
    TempDir dir;
    std::string f = dir.write("u16.log", "\xff\xfe"s + wide("go"));
    Process p({"-u", "-f", f});
    auto shown = [&](const std::string& s) {
        return p.read_until([&](const std::string& out) { return out.size() >= s.size(); }) &&
               p.out() == s;
    };
    EXPECT_TRUE(shown(banner + "go")) << support::hex(p.out());
    append(f, "\x3d\xd8"s);
    // Give ferrik a poll or two to read the first half alone; the result
    // must be the same whether it did or not.
    usleep(2500000);
    append(f, "\x00\xde"s + wide("!"));
    const std::string expected = banner + "go" + (under_wine() ? "??" : "\xf0\x9f\x98\x80") + "!";
    EXPECT_TRUE(shown(expected)) << "expected: " << support::hex(expected) << "\n  actual:   "
                                 << support::hex(p.out());
}

}  // namespace
