// Follow mode against the fake platform: the read loop and the wait
// between its runs, with the file changed from inside the fake's sleep.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "display/display.h"
#include "tests/fake_platform.h"
#include "tests/expected.h"
#include "tests/support.h"

using namespace ferrik;

namespace {

class Follow : public ::testing::Test {
protected:
    fake::Platform& p = fake::reset();

    void open(const std::string& content, bool beep = false)
    {
        p.file_name = "f";
        p.content = content;
        run_settings = RunSettings{};
        run_settings.beep = beep;
        read_state.handle = fake::open_file();
        read_state.position = 0;
    }

    // One read loop; returns what it showed.
    std::string show()
    {
        p.output.clear();
        EXPECT_EQ(read_loop(), 0);
        out_flush();
        return p.output;
    }

    // Runs `change` at poll number `at`.
    void at_poll(int at, std::function<void()> change)
    {
        auto earlier = p.on_pause;
        p.on_pause = [=](int n) {
            if (earlier)
                earlier(n);
            if (n == at)
                change();
        };
    }
};

TEST_F(Follow, AppendIsShownAfterTheNextPoll)
{
    open("start");
    EXPECT_TRUE(support::same_bytes("start", show()));
    at_poll(3, [&] { p.content += "0123456789"; });
    wait_for_change();
    EXPECT_EQ(p.pauses, 3);
    EXPECT_TRUE(support::same_bytes("0123456789", show()));
}

TEST_F(Follow, AppendBeforeTheWaitBeginsIsNotLeftBehind)
{
    open("start");
    EXPECT_TRUE(support::same_bytes("start", show()));
    p.content += "last line\n";   // lands after the empty read, before the wait
    wait_for_change();
    EXPECT_EQ(p.pauses, 1) << "the first comparison comes one poll after the call";
    EXPECT_TRUE(support::same_bytes("last line\n", show()));
}

TEST_F(Follow, ShrinkShowsTheFileAgainFromItsStart)
{
    open(std::string(900, 'o'));
    EXPECT_EQ(show().size(), 900u);
    at_poll(1, [&] { p.content = std::string(100, 'n'); });
    wait_for_change();
    EXPECT_EQ(read_state.position, 0u);
    EXPECT_TRUE(support::same_bytes(std::string(100, 'n'), show()));
    at_poll(2, [&] { p.content += std::string(20, 'a'); });
    wait_for_change();
    EXPECT_TRUE(support::same_bytes(std::string(20, 'a'), show()));
}

TEST_F(Follow, TruncateAndRefillWithinOnePollLosesNothingNew)
{
    open(std::string(900, 'o'));
    show();
    at_poll(1, [&] { p.content = "new first line\nnew second line\n"; });
    wait_for_change();
    EXPECT_TRUE(support::same_bytes("new first line\nnew second line\n", show()));
}

TEST_F(Follow, SizeThatGoesUpAndBackBetweenPollsIsNotSeen)
{
    open("abc");
    show();
    at_poll(1, [&] { p.content = "abc"; });   // grown and shrunk again meanwhile
    at_poll(2, [&] { p.content += "z"; });
    wait_for_change();
    EXPECT_EQ(p.pauses, 2);
    EXPECT_TRUE(support::same_bytes("z", show()));
}

TEST_F(Follow, BeepsOnEveryEndOfAWaitOnlyWithB)
{
    for (bool beep : {false, true}) {
        SCOPED_TRACE(beep ? "with -b" : "without -b");
        p = fake::reset();
        open("abc", beep);
        show();
        at_poll(1, [&] { p.content += "d"; });   // grows
        wait_for_change();
        show();
        at_poll(2, [&] { p.content = "a"; });    // shrinks
        wait_for_change();
        EXPECT_EQ(p.beeps, beep ? 2 : 0);
    }
}

// A size that can no longer be queried ends the run as a failed read does,
// whether at the start or in a wait of -f, and never turns into polling
// without a word.
TEST(FollowRun, FailedSizeQueryIsAReadError)
{
    struct Case {
        const char* name;
        int fails_at;        // the poll from which size queries fail; 0: from the start
        std::string shown;   // after the banner
    } cases[] = {
        {"at the start", 0, "f: Read error\n"},
        {"in the first wait", 1, "abcf: Read error\n"},
        {"after a change was shown", 3, "abcdf: Read error\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Platform& p = fake::reset_file("abc");
        p.fail_size = c.fails_at == 0;
        p.on_pause = [&](int n) {
            if (n == 2)
                p.content += "d";
            if (n == c.fails_at)
                p.fail_size = true;
        };
        EXPECT_EQ(fake::run({"-f", "+0", "f"}), -1);
        EXPECT_TRUE(support::same_bytes(expected::banner + c.shown, p.output));
        EXPECT_EQ(p.pauses, c.fails_at);
    }
}

// ---- Following by name: what a wait decides, poll by poll ------------------

using Step = std::function<void(fake::Platform&)>;

struct NameCase {
    const char* name;
    std::vector<std::string> args;        // before the file name
    std::string content;                  // the first file
    std::vector<std::pair<int, Step>> at; // what happens at which poll
    int end;                              // standard output loses its reader
    std::string shown;                    // after the banner
    int notices;                          // "a new file has this name"
    std::vector<FileHandle> closed;
    int beeps;
};

void rename_to_new(fake::Platform& p, const std::string& content)
{
    p.others.push_back(content);
    p.name_holds = static_cast<int>(p.others.size());
}

const std::string notice = "ferrik: f: a new file has this name; showing it from its start\n";

std::string wide_text(const std::string& s, bool mark)
{
    return (mark ? "\xff\xfe" : "") + support::wide(s);
}

const NameCase name_cases[] = {
    {"the same file under the name", {}, "x",
     {{2, [](auto& p) { p.content += "a"; }}}, 5, "xa", 0, {}, 0},
    {"a new file while the old one still grows, then stops", {}, "old\n",
     {{1, [](auto& p) { rename_to_new(p, "new\n"); p.content += "o1"; }},
      {2, [](auto& p) { p.content += "o2"; }},
      {4, [](auto& p) { p.others[0] += "n2"; }}},
     6, "old\no1o2new\nn2", 1, {3}, 0},
    {"a new file is taken one quiet poll after it is found", {}, "old",
     {{1, [](auto& p) { rename_to_new(p, "new"); }},
      {2, [](auto& p) { p.others[0] += "+"; }}},
     4, "oldnew+", 1, {3}, 0},
    {"the old file written once more a poll after the rename", {}, "old",
     {{1, [](auto& p) { rename_to_new(p, "new"); }},
      {2, [](auto& p) { p.content += "late"; }}},
     5, "oldlatenew", 1, {3}, 0},
    {"the name gone: the open file is still followed", {}, "x",
     {{1, [](auto& p) { p.name_holds = fake::Platform::holds_nothing; }},
      {3, [](auto& p) { p.content += "a"; }}},
     6, "xa", 0, {}, 0},
    {"the name gone and back", {}, "x",
     {{1, [](auto& p) { p.name_holds = fake::Platform::holds_nothing; }},
      {2, [](auto& p) { p.name_holds = 0; }},
      {4, [](auto& p) { p.content += "b"; }}},
     6, "xb", 0, {}, 0},
    {"the name gone, then a new file", {}, "x",
     {{1, [](auto& p) { p.name_holds = fake::Platform::holds_nothing; }},
      {2, [](auto& p) { p.content += "a"; }},
      {3, [](auto& p) { rename_to_new(p, "n"); }}},
     6, "xan", 1, {3}, 0},
    {"a directory under the name, then a file", {}, "x",
     {{1, [](auto& p) { p.name_holds = fake::Platform::holds_directory; }},
      {2, [](auto& p) { p.content += "a"; }},
      {4, [](auto& p) { rename_to_new(p, "n"); }}},
     7, "xan", 1, {3}, 0},
    {"delete pending: finished, closed, then the name awaited", {}, "x",
     {{1, [](auto& p) { p.name_holds = fake::Platform::holds_nothing; p.delete_pending = true;
                        p.content += "a"; }},
      {2, [](auto& p) { p.content += "b"; }},
      {6, [](auto& p) { rename_to_new(p, "n"); }}},
     8, "xabn", 1, {3}, 0},
    {"delete pending while the name still gives the deleted file", {}, "x",
     {{1, [](auto& p) { p.delete_pending = true; }},
      {5, [](auto& p) { rename_to_new(p, "n"); }}},
     7, "xn", 1, {3}, 0},
    {"rotated twice while the old file was still written", {}, "x",
     {{1, [](auto& p) { rename_to_new(p, "1"); p.content += "a"; }},
      {2, [](auto& p) { rename_to_new(p, "2"); p.content += "b"; }}},
     7, "xab12", 2, {3, 4}, 0},
    {"the bell on every resume, a new file's too", {"-b"}, "x",
     {{1, [](auto& p) { p.content += "a"; }},
      {2, [](auto& p) { rename_to_new(p, "n"); }}},
     6, "xan", 1, {3}, 2},
    {"UTF-16: each file's mark left out, no question", {"-u", "+0"},
     wide_text("old", true),
     {{1, [](auto& p) { rename_to_new(p, wide_text("new", true)); }}},
     4, "oldnew", 1, {3}, 0},
    {"UTF-16: a first half of a pair the old file never completes", {"-u", "+0"},
     wide_text("old", false) + "\x3d\xd8",
     {{1, [](auto& p) { rename_to_new(p, wide_text("new", false)); }}},
     4, "old?new", 1, {3}, 0},
};

TEST(FollowByName, TheWaitsDecisions)
{
    for (const NameCase& c : name_cases) {
        SCOPED_TRACE(c.name);
        fake::Platform& p = fake::reset_file(c.content);
        p.on_pause = [&](int n) {
            for (const auto& [poll, step] : c.at)
                if (poll == n)
                    step(p);
            if (n == c.end)
                p.reader_gone = true;
        };
        std::vector<std::string> args{"-f"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("f");
        EXPECT_EQ(fake::run(args), -1);
        EXPECT_EQ(p.pauses, c.end) << "the run ends at the poll that finds the reader gone";
        EXPECT_EQ(p.output, expected::banner + c.shown);
        std::string notices;
        for (int i = 0; i < c.notices; ++i)
            notices += notice;
        EXPECT_EQ(p.errors, notices + "ferrik: standard output: error\n");
        EXPECT_EQ(p.closed, c.closed);
        EXPECT_EQ(p.beeps, c.beeps);
    }
}

// A file that reports a size of 0 but delivers bytes, as files under /proc
// do: its length is found by reading it, and a wait never shows it again.
TEST(FollowByName, FileThatReportsNoSize)
{
    const std::string c = "Name:\tcat\nState:\tR (running)\n";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string shown;
        int result;
    } cases[] = {
        {"the last bytes", {"-12", "f"}, c.substr(c.size() - 12), 0},
        {"from an offset", {"+6", "f"}, c.substr(6), 0},
        {"the default", {"f"}, c, 0},
        {"followed: shown once, no bell", {"-f", "-b", "f"}, c, -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        fake::Platform& p = fake::reset_file(c);
        p.size_override = 0;
        p.on_pause = [&](int n) { p.reader_gone = n == 5; };
        EXPECT_EQ(fake::run(k.args), k.result);
        EXPECT_EQ(p.output, expected::banner + k.shown);
        EXPECT_EQ(p.beeps, 0);
    }
}

}  // namespace
