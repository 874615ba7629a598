// ferrik.exe next to other Windows processes, under Wine: a writer that keeps
// the log open while it is followed, a rename and a delete of the followed
// file, and file names in a double-byte code page.  These run only in the
// Wine leg, which names the writer in FERRIK_WIN_WRITER.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/process.h"
#include "tests/expected.h"
#include "tests/support.h"
#include "tests/writer.h"

using namespace e2e;
using namespace std::string_literals;

namespace {

const std::string banner = text(expected::banner);

std::string setting(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

using support::expect_shown;

// tests/win_writer.exe under the same runner as ferrik.
class WinWriter : public Writer {
public:
    WinWriter() : Writer({setting("FERRIK_RUNNER"), setting("FERRIK_WIN_WRITER")}) {}
};

class WindowsWriter : public testing::Test {
protected:
    void SetUp() override
    {
        if (setting("FERRIK_WIN_WRITER").empty())
            GTEST_SKIP() << "needs FERRIK_WIN_WRITER, the Windows writer (Wine leg only)";
    }
};

// The writer holds the log open for appending and shares only reading, as
// many Windows programs do: ferrik must be able to open it anyway (it
// shares writing) and must see what the writer appends.
TEST_F(WindowsWriter, AppendsWhileFerrikFollows)
{
    TempDir dir;
    const std::string f = dir.path("app.log");
    WinWriter w;
    ASSERT_EQ(w.ask({"open", f}), "ok");
    ASSERT_EQ(w.ask({"write", "first\\r\\n"}), "ok");
    Process p({"-f", "+0", f});
    expect_shown(p, banner + "first\r\n", "initial display");
    ASSERT_EQ(w.ask({"write", "second\\r\\n\\0\\n"}), "ok");
    expect_shown(p, banner + "first\r\nsecond\r\n\0\n"s, "after the first append");
    ASSERT_EQ(w.ask({"write", "third\\r\\n"}), "ok");
    expect_shown(p, banner + "first\r\nsecond\r\n\0\nthird\r\n"s, "after the second append");
    EXPECT_EQ(w.ask({"close"}), "ok");
}

const std::string notice = "a new file has this name; showing it from its start\r\n";

// Log rotation by rename: a rename succeeds only when every open handle
// shares delete access.  ferrik finishes the renamed file, whatever the
// writer still appends to it, and then shows the new file under the name.
TEST_F(WindowsWriter, RotationByRenameAndCreate)
{
    TempDir dir;
    const std::string f = dir.write("app.log", "before\r\n");
    const std::string rotated = f + ".1";
    Process p({"-f", "+0", f});
    expect_shown(p, banner + "before\r\n", "initial display");
    WinWriter w;
    ASSERT_EQ(w.ask({"rename", f, rotated}), "ok") << "rename while followed";
    ASSERT_EQ(w.ask({"open", rotated}), "ok");
    ASSERT_EQ(w.ask({"write", "after the rename\\r\\n"}), "ok");
    ASSERT_EQ(w.ask({"close"}), "ok");
    ASSERT_EQ(w.ask({"open", f}), "ok") << "create under the old name";
    ASSERT_EQ(w.ask({"write", "new\\r\\n"}), "ok");
    expect_shown(p, banner + "before\r\nafter the rename\r\nnew\r\n", "after the new file");
    ASSERT_EQ(w.ask({"write", "more\\r\\n"}), "ok");
    expect_shown(p, banner + "before\r\nafter the rename\r\nnew\r\nmore\r\n", "after more");
    EXPECT_EQ(w.ask({"close"}), "ok");
    EXPECT_EQ(w.ask({"delete", rotated}), "ok") << "delete of the finished file";
    Result r = p.finish();
    EXPECT_EQ(r.err, "ferrik: " + f + ": " + notice);
}

// Log rotation by delete.  Windows either frees the name at once (POSIX
// delete semantics: the new file is another file, shown after a notice) or
// keeps it while ferrik holds the file (delete pending: ferrik finishes and
// closes the old file, and the writer's create succeeds within two polls).
// Wine does neither: the name still gives the deleted file, and the
// writer's "new" log is that file, so no notice comes.  The writer's create
// must succeed, and the shown bytes must be exact, in every case.
TEST_F(WindowsWriter, RotationByDeleteAndCreate)
{
    TempDir dir;
    const std::string f = dir.write("app.log", "before\r\n");
    Process p({"-f", "+0", f});
    expect_shown(p, banner + "before\r\n", "initial display");
    WinWriter w;
    ASSERT_EQ(w.ask({"delete", f}), "ok") << "delete while followed";
    std::string created;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((created = w.ask({"open", f})) != "ok" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(created, "ok") << "the writer could not create the new log";
    ASSERT_EQ(w.ask({"write", "new\\r\\n"}), "ok");
    expect_shown(p, banner + "before\r\nnew\r\n", "after the new file");
    EXPECT_EQ(w.ask({"close"}), "ok");
    Result r = p.finish();
    EXPECT_TRUE(r.err == "" || r.err == "ferrik: " + f + ": " + notice) << r.err;
}

// `ferrik -f QUIET | head -c 1` through a pipe made by Windows: ferrik
// must see that the reader has gone although nothing is written, and end
// as a failed write would, with -1.  (A pipe handed over by a POSIX parent
// is one Wine cannot tell about: FollowByName.EndsWhenTheReaderHasGone...
// skips under Wine.)
TEST_F(WindowsWriter, EndsWhenTheReaderOfAWindowsPipeHasGone)
{
    TempDir dir;
    const std::string f = dir.write("quiet.log", "quiet\r\n");
    std::string program = "Z:" + setting("FERRIK_UNDER_TEST");
    for (char& c : program)
        c = c == '/' ? '\\' : c;
    WinWriter w;
    EXPECT_EQ(w.ask({"head1", "\"" + program + "\" -f " + f}), "exit -1");
}

// The rename above proves something only if Wine enforces sharing: a
// handle that does not share delete access must block the rename.
// A file that another process holds without sharing cannot be opened, and
// ferrik says so rather than calling it missing.
TEST_F(WindowsWriter, AFileHeldWithoutSharingIsInUse)
{
    TempDir dir;
    const std::string f = dir.path("locked.log");
    WinWriter w;
    ASSERT_EQ(w.ask({"lock", f}), "ok");
    Result r = run({f});
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_TRUE(support::same_bytes(banner + text(f + ": In use by another process\n"), r.out));
    EXPECT_EQ(w.ask({"close"}), "ok");
}

TEST_F(WindowsWriter, AHandleThatDeniesDeleteSharingBlocksARename)
{
    TempDir dir;
    const std::string f = dir.path("app.log");
    WinWriter w;
    ASSERT_EQ(w.ask({"open", f}), "ok");
    EXPECT_EQ(w.ask({"rename", f, f + ".1"}), "error 32") << "ERROR_SHARING_VIOLATION expected";
    EXPECT_EQ(w.ask({"close"}), "ok");
}

// In code page 932 the second byte of many characters is 0x5C, the
// backslash: 表 is 95 5C.  The command line must not take it for a path
// separator, and the name must reach the file system converted, not widened
// byte by byte.  Wine takes its code page from the locale, which the Wine
// leg compiles into FERRIK_JA_LOCPATH.
TEST(WindowsNames, DoubleByteNamesInAJapaneseCodePage)
{
    const std::string locales = setting("FERRIK_JA_LOCPATH");
    if (locales.empty())
        GTEST_SKIP() << "needs FERRIK_JA_LOCPATH, a compiled ja_JP.UTF-8 locale (Wine leg only)";
    EnvSetting locpath("LOCPATH", locales.c_str());
    EnvSetting locale("LC_ALL", "ja_JP.UTF-8");
    TempDir dir;
    struct Case {
        const char* why;
        const char* name;
    } cases[] = {
        {"a trail byte 5C before the extension", "表.log"},
        {"a name that ends in a trail byte 5C", "予定表"},
        {"a trail byte 5C in the directory and the name", "ソフト/能力.txt"},
    };
    ASSERT_EQ(mkdir(dir.path("ソフト").c_str(), 0755), 0);
    for (const Case& c : cases) {
        const std::string content = "content of "s + c.name + "\r\n";
        support::expect_run(c.why, {"+0", dir.write(c.name, content)}, banner + content, 0);
    }
}

// The command line is taken in UTF-16 and names are opened through it, so
// a name outside the ANSI code page (1252 in the Wine leg) opens.  A
// message that shows such a name into a pipe has '?' for what the code
// page cannot hold, and the 255-character limit counts characters.
TEST(WindowsNames, NamesOutsideTheAnsiCodePage)
{
    if (!under_wine())
        GTEST_SKIP() << "the Windows build's names (Wine leg only)";
    TempDir dir;
    struct Case {
        const char* why;
        const char* name;
    } cases[] = {
        {"Japanese", "日本語.log"},
        {"Greek, outside code page 1252", "Ωμέγα.log"},
        {"a character outside the BMP", "log-😀.txt"},
        {"Latin-1, inside the code page", "café.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const std::string content = "content of "s + c.name + "\r\n";
        const std::string f = dir.write(c.name, content);
        Result r = run({"+0", f});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_TRUE(r.out == banner + content) << f << "\n  actual: " << r.out;
        EXPECT_EQ(r.err, "");
    }
    struct Missing {
        const char* why;
        std::string name;
        std::string shown;   // after the directory, in the message
    } missing[] = {
        {"a name outside the code page", "日本語-none.log", "??" "?-none.log: No such file\n"},
        {"Latin-1 in the name", "café-none.log", "caf\xe9-none.log: No such file\n"},
        {"100 characters of 3 bytes each are not too long",
         [] { std::string n; for (int i = 0; i < 100; ++i) n += "日"; return n; }(),
         std::string(100, '?') + ": No such file\n"},
    };
    for (const Missing& m : missing) {
        SCOPED_TRACE(m.why);
        Result r = run({dir.path(m.name)});
        EXPECT_EQ(r.exit_code, 255);
        EXPECT_TRUE(r.out == banner + text(dir.path("") + m.shown)) << "actual: " << r.out;
    }
    std::string longest;
    for (int i = 0; i < 256; ++i)
        longest += "日";
    Result r = run({longest});
    EXPECT_EQ(r.exit_code, 255) << "256 characters";
    EXPECT_EQ(r.out, banner + text("File name too long\n") + text(expected::usage))
        << "256 characters";
}

}  // namespace
