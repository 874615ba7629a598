// Inputs that cannot be made to happen on time end to end, against the fake
// platform: a file that shrinks between the size query and the read.
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

struct ShrinkCase {
    const char* name;
    std::vector<std::string> args;
    std::size_t reported;   // the size query's answer
    std::string content;    // what the reads then find
    std::string shown;      // after the banner
};

// The start is chosen from the reported size; reading stops where the
// file now ends.  Nothing that is not in the file is shown, and the run
// ends normally.
TEST(Shrink, FileThatShrinksBetweenTheSizeQueryAndTheRead)
{
    const std::string c = pattern(700);
    const ShrinkCase cases[] = {
        {"default start still inside the file", {"f"}, 1000, c, c.substr(600)},
        {"whole file", {"+0", "f"}, 1000, c, c},
        {"start now past the end", {"f"}, 1000, pattern(300), ""},
        {"forward start now past the end", {"+800", "f"}, 1000, c, ""},
        {"empty now", {"+0", "f"}, 1000, "", ""},
        {"UTF-16, odd byte left", {"-u", "+0", "f"}, 1000, "a\0b\0c"s, "ab"},
    };
    for (bool transfer : {false, true}) {
        for (const ShrinkCase& k : cases) {
            SCOPED_TRACE(std::string(k.name) + (transfer ? " (transfer)" : " (copy)"));
            fake::Platform& p = fake::reset_file(k.content);
            p.size_override = static_cast<std::int64_t>(k.reported);
            p.transfer = transfer;
            EXPECT_EQ(run(k.args), 0);
            EXPECT_TRUE(support::same_bytes(banner + k.shown, p.output));
        }
    }
}

// Under -f the next poll finds the real size below the read position: the
// file is shown again from its start, once, and appends follow.
TEST(Shrink, FollowerRecoversWhenTheSizeWasStale)
{
    fake::Platform& p = fake::reset_file(pattern(300));
    p.size_override = 1000;
    p.on_pause = [&](int n) {
        if (n == 1)
            p.size_override = -1;   // the size query now tells the truth
        if (n == 2)
            p.content += "x";
        if (n == 3) {               // ends the run: the next write fails
            p.content += "yz";
            p.fail_writes = true;
        }
    };
    EXPECT_EQ(run({"-f", "f"}), -1);
    EXPECT_TRUE(support::same_bytes(banner + pattern(300) + "x", p.output));
    EXPECT_EQ(p.pauses, 3);
}

}  // namespace
