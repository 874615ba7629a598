// What the tests share: the bytes their files are made of, what the UTF-16
// display should make of them, and a failure report that shows where two
// byte strings part.  Used by the unit tests, the end-to-end tests and the
// fuzzers alike.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/process.h"

namespace support {

// `n` bytes of every value in turn, in an order that shows a misplaced start.
std::string pattern(std::size_t n);

// pattern(n) followed by CR LF pairs and a run of NULs: the bytes a display
// would be tempted to translate or stop at.
std::string every_byte(std::size_t n);

// ASCII or Latin-1 text as UTF-16LE, one unit per character.
std::string wide(const std::string& s);

/*
** What the UTF-16 display shows of `bytes`, read from file position
** `position` (even): one byte per whole unit, a unit up to 0xFF as that
** byte and any other as '?', the byte-order mark left out only at file
** position 0, and an odd last byte not shown.
*/
std::string utf16_view(const std::string& bytes, std::uint64_t position = 0);

// Bytes as hex pairs separated by blanks, for a failure message.
std::string hex(const std::string& bytes);

// A command line for a failure message: each argument in brackets, any
// byte that is not printable ASCII as \xNN.
std::string arguments(const std::vector<std::string>& args);

/*
** Where `actual` first differs from `expected`: the position, both sizes,
** and the bytes around that position on each side in hex (with the
** printable ones beside them).  Returns "" when the two are the same.
*/
std::string first_difference(const std::string& expected, const std::string& actual);

/* Succeeds when `actual` is `expected` byte for byte, and otherwise fails
   with first_difference().  Name the case with SCOPED_TRACE or <<. */
testing::AssertionResult same_bytes(const std::string& expected, const std::string& actual);

/*
** Waits (within Process::read_until's deadline) until the running program
** has written at least as many bytes as `expected`, or has ended, and then
** expects its output to be `expected` byte for byte; `step` names the
** moment in the failure.  (This and expect_run() are inline, so that the
** tests that never run the program need not link tests/process.cpp.)
*/
inline void expect_shown(e2e::Process& p, const std::string& expected, const std::string& step)
{
    p.read_until([&](const std::string& out) { return out.size() >= expected.size(); });
    EXPECT_TRUE(same_bytes(expected, p.out())) << step;
}

/*
** Runs the program to its end with `args` and no standard input, and
** expects exactly `out` on standard output, nothing on standard error, and
** `exit_code`.  A failure names the case and the arguments.
*/
inline void expect_run(const std::string& name, const std::vector<std::string>& args,
                       const std::string& out, int exit_code)
{
    SCOPED_TRACE(name + ": " + arguments(args));
    e2e::Result r = e2e::run(args);
    EXPECT_EQ(r.exit_code, exit_code);
    EXPECT_TRUE(same_bytes(out, r.out));
    EXPECT_EQ(r.err, "");
}

// Runs in `dir` for as long as it lives, so that a test can name its files
// relative to it (short enough for the 255-character limit of the Windows
// build, or starting with the character under test).
class InDirectory {
public:
    explicit InDirectory(const std::string& dir)
    {
        if (getcwd(old_, sizeof old_) == nullptr || chdir(dir.c_str()) != 0)
            ADD_FAILURE() << "cannot change to " << dir;
    }
    ~InDirectory()
    {
        if (chdir(old_) != 0)
            ADD_FAILURE() << "cannot change back to " << old_;
    }
private:
    char old_[PATH_MAX];
};

}  // namespace support
