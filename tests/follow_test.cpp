// Follow mode against the fake platform: the read loop and the wait
// between its runs, with the file changed from inside the fake's sleep.
#include <string>

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
        fake::Platform& p = fake::reset();
        p.file_name = "f";
        p.content = "abc";
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

}  // namespace
