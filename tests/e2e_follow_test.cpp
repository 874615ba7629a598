// Follow mode, end to end: a real writer, and ferrik's output through a pipe.
#include <random>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/process.h"
#include "tests/expected.h"
#include "tests/support.h"

using namespace e2e;
using namespace std::string_literals;

namespace {

const std::string banner = text(expected::banner);

using support::expect_shown;

TEST(Follow, AppendedBytesArrive)
{
    TempDir dir;
    std::string f = dir.write("app.log", "first\n");
    Process p({"-f", f});
    expect_shown(p, banner + "first\n", "initial display");
    append(f, "second\n");
    expect_shown(p, banner + "first\nsecond\n", "after one append");
    append(f, "third\n");
    expect_shown(p, banner + "first\nsecond\nthird\n", "after another");
}

TEST(Follow, ShrinkShowsTheFileAgainThenWhatIsAppended)
{
    TempDir dir;
    std::string old(900, 'o');
    std::string f = dir.write("app.log", old);
    Process p({"-f", "+0", f});
    expect_shown(p, banner + old, "initial display");
    truncate_to(f, 100);
    expect_shown(p, banner + old + old.substr(0, 100), "after the shrink");
    append(f, "appended\n");
    expect_shown(p, banner + old + old.substr(0, 100) + "appended\n", "after the append");
}

TEST(Follow, TruncateAndRefillLosesNoNewLine)
{
    TempDir dir;
    std::string f = dir.write("app.log", std::string(900, 'o') + "\n");
    Process p({"-f", "-0", f});
    expect_shown(p, banner, "initial display");
    truncate_to(f, 0);
    append(f, "rotated 1\nrotated 2\n");
    expect_shown(p, banner + "rotated 1\nrotated 2\n", "after the rotation");
}

TEST(Follow, BeepNeverReachesStandardOutput)
{
    TempDir dir;
    std::string f = dir.write("app.log", "a\n");
    Process p({"-f", "-b", f});
    expect_shown(p, banner + "a\n", "initial display");
    append(f, "b\n");
    expect_shown(p, banner + "a\nb\n", "after the append");
    EXPECT_EQ(p.out().find('\a'), std::string::npos);
}

// A writer process appends pieces of random size and content, NULs and
// CR LF among them, at varying pace; every byte must arrive once, in order.
TEST(Follow, SteadyWriterArrivesExactlyOnceAndInOrder)
{
    TempDir dir;
    std::string f = dir.write("app.log", "");
    std::mt19937 random(12345);
    std::string written;
    std::vector<std::string> pieces;
    for (int i = 0; i < 300; ++i) {
        std::string piece(random() % 3000, '\0');
        for (char& c : piece)
            c = "ab\0\r\n\xff"[random() % 6];
        pieces.push_back(piece);
        written += piece;
    }
    Process p({"-f", f});
    expect_shown(p, banner, "initial display");
    pid_t writer = fork();
    if (writer == 0) {
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            append(f, pieces[i]);
            usleep(i % 50 == 0 ? 300000 : 2000);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(writer, &status, 0);
    expect_shown(p, banner + written, "after the writer ended");
}

}  // namespace
