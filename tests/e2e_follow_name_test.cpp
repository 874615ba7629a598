// Follow mode by name, end to end: a writer process rotates the followed log
// by rename or delete while ferrik follows it into a real pipe, and the shown
// bytes must be exactly the ones written, each once, in order.  And a
// follower whose reader has gone must end although nothing is written.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/expected.h"
#include "tests/process.h"
#include "tests/support.h"
#include "tests/writer.h"

using namespace e2e;
using support::same_bytes;
using namespace std::string_literals;

namespace {

const std::string banner = text(expected::banner);

// One step of a case: a command for the writer, or ("show", BYTES) to wait
// until ferrik has shown exactly the banner and BYTES.  Names are relative
// to the case's directory.
struct Step {
    std::string verb, first, second = "";
};

struct RotationCase {
    const char* name;
    std::vector<std::string> flags;
    std::string first;          // the log's content when ferrik starts
    std::vector<Step> steps;
    int notices;                // "a new file has this name" lines expected
};

const RotationCase rotation_cases[] = {
    {"rename and create, the old file written after the rename",
     {}, "first\n",
     {{"show", "first\n"},
      {"rename", "app.log", "app.log.1"},
      {"create", "app.log"},
      {"write", "late to the old file\\n"},
      {"show", "first\nlate to the old file\n"},
      {"write", "later still\\n"},
      {"open", "app.log"},
      {"write", "new\\n"},
      {"show", "first\nlate to the old file\nlater still\nnew\n"},
      {"write", "more\\r\\n\\0"},
      {"show", "first\nlate to the old file\nlater still\nnew\nmore\r\n\0"s}},
     1},
    {"delete and create",
     {}, "first\n",
     {{"show", "first\n"},
      {"delete", "app.log"},
      {"write", "late to the deleted file\\n"},
      {"show", "first\nlate to the deleted file\n"},
      {"open", "app.log"},
      {"write", "new\\n"},
      {"show", "first\nlate to the deleted file\nnew\n"}},
     1},
    {"renamed away with no new file: still followed",
     {}, "first\n",
     {{"show", "first\n"},
      {"rename", "app.log", "app.log.1"},
      {"write", "a\\n"},
      {"show", "first\na\n"},
      {"write", "b\\n"},
      {"show", "first\na\nb\n"}},
     0},
    {"deleted with no new file, written through the open descriptor",
     {}, "first\n",
     {{"show", "first\n"},
      {"delete", "app.log"},
      {"write", "a\\n"},
      {"show", "first\na\n"},
      {"write", "b\\n"},
      {"show", "first\na\nb\n"}},
     0},
    {"a directory under the name for a while, then a file",
     {}, "first\n",
     {{"show", "first\n"},
      {"rename", "app.log", "app.log.1"},
      {"mkdir", "app.log"},
      {"write", "a\\n"},
      {"show", "first\na\n"},
      {"write", "b\\n"},
      {"show", "first\na\nb\n"},
      {"rmdir", "app.log"},
      {"open", "app.log"},
      {"write", "new\\n"},
      {"show", "first\na\nb\nnew\n"}},
     1},
    {"-u: rename and create, each file starting with the mark",
     {"-u"}, "\xff\xfeo\0l\0d\0"s,
     {{"show", "old"},
      {"rename", "app.log", "app.log.1"},
      {"open", "app.log"},
      {"write", "\\xff\\xfen\\0e\\0w\\0"},
      {"show", "oldnew"},
      {"write", "!\\0"},
      {"show", "oldnew!"}},
     1},
};

std::vector<std::string> posix_writer()
{
    return {"python3", FERRIK_POSIX_WRITER};
}

TEST(FollowByName, RotationByAWriterProcess)
{
    for (const RotationCase& c : rotation_cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string log = dir.path("app.log");
        Writer w(posix_writer());
        ASSERT_EQ(w.ask({"open", log}), "ok");
        append(log, c.first);
        std::vector<std::string> args{"-f", "+0"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        args.push_back(log);
        Process p(args);
        for (const Step& s : c.steps) {
            if (s.verb == "show") {
                const std::string expected = banner + s.first;
                p.read_until([&](const std::string& out) { return out.size() >= expected.size(); });
                ASSERT_TRUE(same_bytes(expected, p.out())) << "at the step showing "
                                                           << s.first.size() << " bytes";
                continue;
            }
            std::vector<std::string> fields{s.verb};
            bool names = s.verb != "write";
            if (!s.first.empty())
                fields.push_back(names ? dir.path(s.first) : s.first);
            if (!s.second.empty())
                fields.push_back(dir.path(s.second));
            ASSERT_EQ(w.ask(fields), "ok") << s.verb << " " << s.first;
        }
        Result r = p.finish();
        std::string notices;
        for (int i = 0; i < c.notices; ++i)
            notices += text("ferrik: " + log + ": a new file has this name; showing it from its start\n");
        EXPECT_EQ(r.err, notices);
        EXPECT_EQ(r.signal, SIGTERM) << "ended another way: exit code " << r.exit_code;
    }
}

// `ferrik -f QUIET | head -c 1`: head ends after the first byte, and ferrik
// must end too, although the file never changes and so nothing is written
// that would find the pipe closed.
TEST(FollowByName, EndsWhenTheReaderHasGoneWhileTheFileIsQuiet)
{
    if (under_wine())
        GTEST_SKIP() << "Wine cannot tell that a pipe made outside it has lost its reader";
    TempDir dir;
    const std::string f = dir.write("quiet.log", "quiet\n");
    std::string command;
    for (const std::string& part : ferrik_command())
        command += "'" + part + "' ";
    command += "-f '" + f + "' | head -c 1; echo \" ${PIPESTATUS[0]}\"";
    Process p(Helper{{"bash", "-c", command}});
    Result r = p.wait();
    EXPECT_EQ(r.out, "f 141\n") << "the first byte of the banner, then ferrik's end by SIGPIPE";
    EXPECT_EQ(r.err, "");
}

// Files under /proc report a size of 0 but deliver bytes.  ferrik reads
// such a file through once to find its length, and in follow mode shows it
// once.  /proc/version stays the same from one read to the next.
TEST(FilesWithoutASize, ProcFilesAreMeasuredByReading)
{
    std::ifstream in("/proc/version", std::ios::binary);
    const std::string version((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(version.size(), 50u);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string shown;
    } cases[] = {
        {"the last 50 bytes", {"-50", "/proc/version"}, version.substr(version.size() - 50)},
        {"from byte 10", {"+10", "/proc/version"}, version.substr(10)},
        {"the whole file", {"+0", "/proc/version"}, version},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Result r = run(c.args);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_TRUE(same_bytes(banner + c.shown, r.out));
    }
    SCOPED_TRACE("followed");
    Process p({"-f", "-b", "+0", "/proc/version"});
    const std::string once = banner + version;
    p.read_until([&](const std::string& out) { return out.size() >= once.size(); });
    EXPECT_TRUE(same_bytes(once, p.out()));
    // Three polls' time for a second showing that must not come.
    EXPECT_FALSE(p.read_until([&](const std::string& out) { return out.size() > once.size(); },
                              std::chrono::milliseconds(3500)))
        << "shown again";
    Result r = p.finish();
    EXPECT_EQ(r.err, "");
}

}  // namespace
