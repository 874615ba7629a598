// The built program, run as a user runs it.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

using support::every_byte;
using support::expect_run;

TEST(EndToEnd, CommandLineErrors)
{
    TempDir dir;
    std::string f = dir.write("f", "x");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {"no arguments", {}, "Filename not specified\n"},
        {"lone minus", {"-", f}, "Invalid Argument '-'"},
        {"lone plus", {"+", f}, "Invalid option '\0' following '+'\n"s},
        {"offset too big", {"+4294967296", f}, "Offset too big \n"},
        {"name too long", {std::string(longest_name() + 1, 'n')}, "File name too long\n"},
        {"two names", {f, f}, "Duplicate filename or the file/path contains spaces. "
                              "Enclose path and filename in quotes.\n"},
    };
    for (const Case& c : cases)
        expect_run(c.name, c.args, banner + text(c.message) + usage, 255);
}

TEST(EndToEnd, FilesThatCannotBeShown)
{
    TempDir dir;
    std::string fifo = dir.path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::string sub = dir.path("sub");
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    std::string dangling = dir.path("dangling");
    ASSERT_EQ(symlink("nowhere", dangling.c_str()), 0);
    std::string socket_name = dir.path("socket");
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket_name.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socket_name.c_str(), socket_name.size() + 1);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(sock, 1), 0);
    const std::string not_regular = ": Not a regular file\n";
    struct Case {
        std::string name;
        std::string reason;
    } cases[] = {
        {dir.path("missing"), ": No such file\n"},
        {dangling, ": No such file\n"},
        {sub, ": Is a directory\n"},
        {fifo, not_regular},
        {socket_name, not_regular},
        {"/dev/null", not_regular},
        {"/dev/zero", not_regular},
        // The null device of the Windows build, and a missing name here.
        {"NUL", under_wine() ? not_regular : ": No such file\n"},
    };
    for (const Case& c : cases) {
        // With -f as well: a file that cannot be shown ends the run at once.
        for (bool follow : {false, true}) {
            std::vector<std::string> args{c.name};
            if (follow)
                args.insert(args.begin(), "-f");
            expect_run((c.name + (follow ? " with -f" : "")).c_str(), args,
                       banner + text(c.name + c.reason), 255);
        }
    }
    close(sock);
}

// A name arrives as the user typed it.  The Windows build converts it from
// the ANSI code page (1252 in the Wine leg), in which the euro sign is the
// byte 80: widened byte by byte it would become U+0080 and miss the file.
TEST(EndToEnd, NamesAreTakenAsTyped)
{
    TempDir dir;
    ASSERT_EQ(mkdir(dir.path("a dir").c_str(), 0755), 0);
    struct Case {
        const char* why;
        const char* name;
    } cases[] = {
        {"a blank in the name", "two words.log"},
        {"a directory with a blank", "a dir/x.log"},
        {"the euro sign", "€uro.log"},
        {"accented letters", "café naïve.log"},
    };
    for (const Case& c : cases) {
        const std::string content = "content of "s + c.name + "\n";
        expect_run(c.why, {"+0", dir.write(c.name, content)}, banner + content, 0);
    }
}

// An argument that starts with a double quote: on POSIX the quote is part
// of the name, and a file named "a".log must never be taken for one named
// a.  The Windows build takes such an argument (an escaped quote, which the
// command line keeps) up to the next quote; a lone quote or an empty pair is
// ignored.
TEST(EndToEnd, ArgumentsThatStartWithAQuote)
{
    TempDir dir;
    dir.write("a", "plain a\n");
    dir.write("a.log", "a.log\n");
    support::InDirectory here(dir.path(""));
    std::vector<std::tuple<std::string, std::vector<std::string>, std::string, int>> cases;
    if (under_wine()) {
        cases = {
            {"taken up to the next quote", {"\"a.log\"x"}, "a.log\n", 0},
            {"taken to the end", {"\"a.log"}, "a.log\n", 0},
            {"an empty pair is ignored", {"\"\"", "a.log"}, "a.log\n", 0},
            {"a lone quote is ignored", {"\"", "a.log"}, "a.log\n", 0},
        };
    } else {
        dir.write("\"a\".log", "quoted\n");
        dir.write("\"", "a lone quote\n");
        cases = {
            {"quotes are part of the name", {"\"a\".log"}, "quoted\n", 0},
            {"a lone quote is a name", {"\""}, "a lone quote\n", 0},
        };
    }
    for (const auto& [why, args, shown, code] : cases)
        expect_run(why, args, banner + shown, code);
}

TEST(EndToEnd, CopiesTheFileByteForByte)
{
    TempDir dir;
    const std::string content = every_byte(3 * 65536 + 17);
    std::string f = dir.write("data.bin", content);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string shown;
    } cases[] = {
        {"plus zero", {"+0", f}, content},
        {"default last 400", {f}, content.substr(content.size() - 400)},
        {"last N", {"-100000", f}, content.substr(content.size() - 100000)},
        {"from N", {f, "+70000"}, content.substr(70000)},
        {"minus zero", {"-0", f}, ""},
        {"forward past the end", {"+999999999", f}, content.substr(content.size() - 400)},
        {"empty file", {dir.write("empty", "")}, ""},
    };
    for (const Case& c : cases)
        expect_run(c.name, c.args, banner + c.shown, 0);
}

TEST(EndToEnd, OutputToAFileIsTheSameAsToAPipe)
{
    TempDir dir;
    const std::string content = every_byte(200000);
    std::string f = dir.write("data.bin", content);
    std::string out = dir.path("out");
    Process p({"+0", f}, {}, out.c_str());
    Result r = p.wait();
    EXPECT_EQ(r.exit_code, 0);
    std::string written(banner.size() + content.size() + 1, '\0');
    int fd = open(out.c_str(), O_RDONLY);
    written.resize(static_cast<std::size_t>(read(fd, written.data(), written.size())));
    close(fd);
    EXPECT_TRUE(support::same_bytes(banner + content, written));
}

// A pipe on standard output is widened to 1 MiB (bench/run.sh shows why);
// what goes through it is unchanged, pieces larger than the pipe included.
TEST(EndToEnd, WidensAPipeOnStandardOutput)
{
    TempDir dir;
    const std::string content = every_byte(3 * 1024 * 1024 + 5);
    std::string f = dir.write("data.bin", content);
    Process p({"+0", f});
    ASSERT_TRUE(p.read_until([](const std::string& out) { return !out.empty(); }));
    // Under a runner (an emulator) it is that platform's matter.
    const char* runner = std::getenv("FERRIK_RUNNER");
    if (runner == nullptr || *runner == '\0') {
        EXPECT_GE(fcntl(p.stdout_pipe(), F_GETPIPE_SZ), 1024 * 1024);
    }
    Result r = p.wait();
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(support::same_bytes(banner + content, r.out));
}

// What ferrik has written into a pipe is a copy: a file truncated in the
// middle of a page while the reader has not yet taken the bytes must not
// turn them into NULs (as page references handed to the pipe would).
TEST(EndToEnd, WhatReachesAPipeCannotChangeAfterwards)
{
    TempDir dir;
    const std::string content(900, 'x');
    std::string f = dir.write("app.log", content);
    Process p({"+0", f});
    ASSERT_TRUE(p.end_unread());
    truncate_to(f, 100);
    Result r = p.wait();
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(support::same_bytes(banner + content, r.out))
        << std::count(r.out.begin(), r.out.end(), '\0') << " bytes turned into NULs";
}

TEST(EndToEnd, ShowsTheRealEndOfAFileLargerThan4GiB)
{
    TempDir dir;
    std::string f = dir.path("sparse");
    int fd = open(f.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const std::string tail = every_byte(400).substr(0, 400);
    const off_t end = 5ll << 30;
    ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), end - 400), 400);
    close(fd);
    expect_run("5 GiB default", {f}, banner + tail, 0);
    expect_run("5 GiB last 10", {"-10", f}, banner + tail.substr(390), 0);
}

// The error's words are the system's: strerror() natively, FormatMessage()
// for the Windows build, whose texts under Wine are Wine's own.
TEST(EndToEnd, OutputErrorsAreReportedOnStandardError)
{
    TempDir dir;
    std::string f = dir.write("f", every_byte(100000));
    const bool windows = under_wine();
    {
        Process p({"+0", f}, {}, "/dev/full");
        Result r = p.wait();
        EXPECT_EQ(r.exit_code, 255);
        EXPECT_EQ(r.err, text("ferrik: standard output: "s +
                              (windows ? "Disk full" : "No space left on device") + "\n"));
    }
    {
        Process p({"+0", f}, {}, nullptr, true);
        Result r = p.wait();
        EXPECT_EQ(r.exit_code, 255);
        EXPECT_EQ(r.err, text("ferrik: standard output: "s +
                              (windows ? "Invalid handle" : "Bad file descriptor") + "\n"));
    }
}

}  // namespace
