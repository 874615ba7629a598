// Inputs that could break the program, end to end: odd offsets and names,
// files that change under a follower, and output that cannot be written.
// Every run must end with the documented output and exit code; under -f,
// where waiting is by design, what arrives is checked within a deadline and
// the process is then ended.
#include <climits>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/process.h"
#include "tests/expected.h"
#include "tests/support.h"

using namespace e2e;
using namespace std::string_literals;

namespace {

const std::string banner = text(expected::banner);
const std::string usage = text(expected::usage);

using support::expect_shown;
using support::utf16_view;
using support::pattern;

struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string out;   // after the banner
    int exit_code;
};

void expect_cases(const std::vector<Case>& cases)
{
    for (const Case& c : cases)
        support::expect_run(c.name, c.args, banner + c.out, c.exit_code);
}

TEST(BadInput, OffsetsAtAndPastTheLimits)
{
    TempDir dir;
    const std::string content = pattern(1000);
    const std::string f = dir.write("f", content);
    expect_cases({
        {"largest offset forward: past the end, so the last 400", {"+4294967295", f},
         content.substr(600), 0},
        {"largest offset back: the whole file", {"-4294967295", f}, content, 0},
        {"ten digits with leading zeros", {"-0000000010", f}, content.substr(990), 0},
        {"ten digits above the largest", {"+9999999999", f}, text("Offset too big \n") + usage,
         255},
        {"ten digits just above the largest, back", {f, "-4294967296"},
         text("Offset too big \n") + usage, 255},
        {"eleven digits", {"+12345678901", f},
         text("Invalid number (12345678901) after the '+'. \n") + usage, 255},
        {"eleven zeros", {"-00000000000", f},
         text("Invalid number (00000000000) after the '-'. \n") + usage, 255},
        {"plus and letters", {"+abc", f}, text("Invalid option 'a' following '+'\n") + usage,
         255},
        {"minus and letters", {"-abc", f}, text("Invalid option 'abc' following '-'\n") + usage,
         255},
        // Wine hands on an argument byte that is not UTF-8 as '?'.
        {"plus and a high byte", {"+\xe9", f},
         text("Invalid option '"s + (under_wine() ? "?" : "\xe9") + "' following '+'\n") + usage,
         255},
    });
}

TEST(BadInput, FileNames)
{
    TempDir dir;
    support::InDirectory here(dir.path(""));
    const std::string longest = std::string(251, 'l') + ".log";   // 255, the filesystem's limit
    ASSERT_EQ(longest.size(), 255u);
    dir.write(longest, "longest name\n");
    ASSERT_EQ(mkdir("d", 0755), 0);
    const std::string path_256 = "d/" + std::string(254, 'n');
    dir.write(path_256, "path of 256\n");
    // Where a name cut to 255 characters would lead.
    dir.write(path_256.substr(0, 255), "cut name\n");
    const std::string not_utf8 = "bad-\xff\xfe-\xc3(-\x80.log";
    dir.write(not_utf8, "not UTF-8\n");
    dir.write("my app log.txt", "spaces\n");
    dir.write(".hidden", "hidden file\n");
    const std::string too_long = text("File name too long\n") + usage;
    std::vector<Case> cases = {
        {"name of 255 characters", {longest}, "longest name\n", 0},
        {"name one past the limit", {std::string(longest_name() + 1, 'x')}, too_long, 255},
        {"name with spaces in one argument", {"my app log.txt"}, "spaces\n", 0},
        {"missing name with spaces", {"no such log.txt"}, text("no such log.txt: No such file\n"),
         255},
    };
    if (under_wine()) {
        // Windows: 255 characters at most, and a leading dot starts an
        // extension, not a name.
        cases.push_back({"path of 256 characters to a real file", {path_256}, too_long, 255});
        cases.push_back({"hidden file", {".hidden"}, text("File name not specified\n") + usage,
                         255});
    } else {
        cases.push_back({"path of 256 characters to a real file", {path_256}, "path of 256\n", 0});
        cases.push_back({"hidden file", {".hidden"}, "hidden file\n", 0});
        cases.push_back({"hidden file in a directory", {"./d/../.hidden"}, "hidden file\n", 0});
        // A Windows program is handed its arguments in its code page: Wine
        // cannot pass bytes that are not UTF-8 through to it unchanged.
        cases.push_back({"name that is not UTF-8", {not_utf8}, "not UTF-8\n", 0});
    }
    expect_cases(cases);
}

TEST(BadInput, FileContents)
{
    // One byte per unit is the C locale's form (and the only one of the
    // Windows build into a pipe, whose Wine needs its own locale kept).
    EnvSetting locale("LC_ALL", under_wine() ? std::getenv("LC_ALL") : "C");
    TempDir dir;
    const std::string bin = pattern(70001);   // odd, several reads
    const std::string f = dir.write("bin", bin);
    const std::string empty = dir.write("empty", "");
    expect_cases({
        {"binary file, whole", {"+0", f}, bin, 0},
        {"binary file as UTF-16: one byte per unit, the odd byte left", {"-u", "+0", f},
         utf16_view(bin), 0},
        {"binary file as UTF-16 from an odd offset", {"-u", "+7", f},
         utf16_view(bin.substr(6), 6), 0},
        {"empty file", {empty}, "", 0},
        {"empty file as UTF-16", {"-u", "+0", empty}, "", 0},
    });
}

TEST(BadInput, EmptyFileFollowedShowsWhatArrives)
{
    TempDir dir;
    const std::string f = dir.write("empty", "");
    Process p({"-f", f});
    expect_shown(p, banner, "the banner alone");
    append(f, "first\n");
    expect_shown(p, banner + "first\n", "after an append");
}

TEST(BadInput, FileDeletedWhileFollowedIsStillFollowed)
{
    TempDir dir;
    const std::string f = dir.write("app.log", "before\n");
    int writer = open(f.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(writer, 0);
    Process p({"-f", f});
    expect_shown(p, banner + "before\n", "initial display");
    ASSERT_EQ(unlink(f.c_str()), 0);
    ASSERT_EQ(write(writer, "after delete\n", 13), 13);
    expect_shown(p, banner + "before\nafter delete\n", "after the delete");
    ASSERT_EQ(write(writer, "and more\n", 9), 9);
    expect_shown(p, banner + "before\nafter delete\nand more\n", "a second append");
    close(writer);
    Result r = p.finish();
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.signal, SIGTERM) << "ended another way: exit code " << r.exit_code;
}

TEST(BadInput, FileRenamedWhileFollowedIsFinishedBeforeANewOne)
{
    TempDir dir;
    const std::string f = dir.write("app.log", "before\n");
    const std::string moved = dir.path("app.log.1");
    Process p({"-f", f});
    expect_shown(p, banner + "before\n", "initial display");
    ASSERT_EQ(rename(f.c_str(), moved.c_str()), 0);
    append(moved, "after rename\n");
    expect_shown(p, banner + "before\nafter rename\n", "after the rename");
    // A new file under the old name takes over once the old one has been
    // quiet for a poll; what the old one got first is still shown.
    dir.write("app.log", "new file under the old name\n");
    append(moved, "still the old one\n");
    expect_shown(p, banner + "before\nafter rename\nstill the old one\nnew file under the old name\n",
                 "after a new file");
    Result r = p.finish();
    EXPECT_EQ(r.err, text("ferrik: " + f + ": a new file has this name; showing it from its start\n"));
}

// Run as a user who lacks the permission: as root, through setpriv as
// nobody, with a copy of the program that nobody may run.
TEST(BadInput, UnreadableFileIsReportedAsSuch)
{
    if (under_wine())
        GTEST_SKIP() << "Wine keeps its prefix for the user who made it";
    TempDir dir;
    ASSERT_EQ(chmod(dir.path("").c_str(), 0755), 0);
    const std::string f = dir.write("secret", "hidden\n");
    ASSERT_EQ(chmod(f.c_str(), 0), 0);
    std::vector<std::string> command{ferrik_command().back()};
    if (geteuid() == 0) {
        const std::string copy = dir.path("ferrik");
        ASSERT_EQ(std::system(("cp '" + command[0] + "' '" + copy + "'").c_str()), 0);
        command = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", copy};
    }
    command.push_back(f);
    Process p(Helper{command});
    Result r = p.wait();
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_TRUE(support::same_bytes(banner + f + ": Permission denied\n", r.out));
}

// Output that fails, with -f too: the run must end, not wait with nowhere
// to write.  (Without -f: EndToEnd.OutputErrorsAreReportedOnStandardError.)
TEST(BadInput, OutputThatFailsEndsAFollowRun)
{
    TempDir dir;
    const std::string f = dir.write("f", pattern(5000));
    const std::string empty = dir.write("empty", "");
    struct OutputCase {
        const char* name;
        std::vector<std::string> args;
        bool closed;   // standard output closed; else it is /dev/full
        std::string err;
    } cases[] = {
        {"-f to /dev/full", {"-f", f}, false, "No space left on device"},
        {"-f on an empty file to /dev/full", {"-f", empty}, false, "No space left on device"},
        {"command-line error to /dev/full", {"-f"}, false, "No space left on device"},
        {"-f with standard output closed", {"-f", f}, true, "Bad file descriptor"},
        {"-f on an empty file with standard output closed", {"-f", empty}, true,
         "Bad file descriptor"},
    };
    for (const OutputCase& c : cases) {
        SCOPED_TRACE(c.name);
        Process p(c.args, {}, c.closed ? nullptr : "/dev/full", c.closed);
        Result r = p.wait();
        // The system's own wording of the error: Wine's in the Windows build.
        std::string error = !under_wine() ? c.err : c.closed ? "Invalid handle" : "Disk full";
        EXPECT_EQ(r.exit_code, 255);
        EXPECT_EQ(r.err, text("ferrik: standard output: " + error + "\n"));
    }
}

// A write that takes only part of what it is given has not failed yet, and
// has not succeeded either: the rest is written, and when that fails the
// run ends with the error.  A file-size limit of 4 KiB (with SIGXFSZ
// ignored, so that the write fails instead of killing the program) cuts
// the first write of the output short.
TEST(BadInput, OutputCutShortByAFileSizeLimit)
{
    TempDir dir;
    std::string text_of_20k;
    for (int i = 0; text_of_20k.size() < 20000; ++i)
        text_of_20k += "line " + std::to_string(i) + "\n";
    const std::string f = dir.write("u16.txt", support::wide(text_of_20k));
    const std::string out = dir.path("out");
    std::vector<std::string> command{"bash", "-c",
                                     "trap '' XFSZ; ulimit -f 4 && exec \"$@\" > \"$0\"", out};
    for (const std::string& word : ferrik_command())
        command.push_back(word);
    command.insert(command.end(), {"-u", "+0", f});
    Process p(Helper{command});
    Result r = p.wait();
    EXPECT_EQ(r.exit_code, 255);
    // The system's words for it: Wine's in the Windows build.
    EXPECT_EQ(r.err, text("ferrik: standard output: "s +
                          (under_wine() ? "General failure" : "File too large") + "\n"));
    std::ifstream written(out, std::ios::binary);
    const std::string shown{std::istreambuf_iterator<char>(written), {}};
    EXPECT_EQ(shown.size(), 4096u);
    EXPECT_TRUE(support::same_bytes((banner + text_of_20k).substr(0, shown.size()), shown));
}

}  // namespace
