// ferrik.exe next to other Windows processes, under Wine: a writer that keeps
// the log open while it is followed, a rename and a delete of the followed
// file, and file names in a double-byte code page.  These run only in the
// Wine leg, which names the writer in FERRIK_WIN_WRITER.
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/process.h"
#include "tests/expected.h"

using namespace e2e;
using namespace std::string_literals;

namespace {

const std::string banner = text(expected::banner);

std::string setting(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Waits until the output is exactly `expected`, and says what it was if not.
void expect_shown(Process& p, const std::string& expected, const char* step)
{
    bool ok = p.read_until([&](const std::string& out) { return out.size() >= expected.size(); });
    EXPECT_TRUE(ok && p.out() == expected)
        << step << "\n  expected: " << expected.size() << " bytes: " << expected
        << "\n  actual:   " << p.out().size() << " bytes: " << p.out().substr(0, 300);
}

// tests/win_writer.exe under the same runner as ferrik, driven one command
// at a time.
class Writer {
public:
    Writer() : process_(Helper{{setting("FERRIK_RUNNER"), setting("FERRIK_WIN_WRITER")}}) {}
    ~Writer()
    {
        process_.send("exit\n");
        process_.wait();
    }

    // Sends one command (fields joined by tabs) and returns the answer line.
    std::string ask(const std::vector<std::string>& fields)
    {
        std::string line;
        for (const std::string& f : fields)
            line += (line.empty() ? "" : "\t") + f;
        process_.send(line + "\n");
        bool answered = process_.read_until([&](const std::string& out) {
            return out.find('\n', seen_) != std::string::npos;
        });
        if (!answered)
            return "no answer to '" + line + "'; stderr: " + process_.err();
        std::size_t end = process_.out().find('\n', seen_);
        std::string reply = process_.out().substr(seen_, end - seen_);
        seen_ = end + 1;
        return reply;
    }

private:
    Process process_;
    std::size_t seen_ = 0;
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
    Writer w;
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

// Log rotation by rename: a rename succeeds only when every open handle
// shares delete access.  ferrik keeps the file it opened, whatever its
// name, and never picks up a new file under the old name.
TEST_F(WindowsWriter, RenamesAndDeletesTheFollowedFile)
{
    TempDir dir;
    const std::string f = dir.write("app.log", "before\r\n");
    const std::string rotated = f + ".1";
    Process p({"-f", "+0", f});
    expect_shown(p, banner + "before\r\n", "initial display");
    Writer w;
    ASSERT_EQ(w.ask({"rename", f, rotated}), "ok") << "rename while followed";
    ASSERT_EQ(w.ask({"open", rotated}), "ok");
    ASSERT_EQ(w.ask({"write", "after the rename\\r\\n"}), "ok");
    ASSERT_EQ(w.ask({"close"}), "ok");
    expect_shown(p, banner + "before\r\nafter the rename\r\n", "after the rename");
    ASSERT_EQ(w.ask({"open", f}), "ok");
    ASSERT_EQ(w.ask({"write", "a new file under the old name\\r\\n"}), "ok");
    ASSERT_EQ(w.ask({"close"}), "ok");
    ASSERT_EQ(w.ask({"open", rotated}), "ok");
    ASSERT_EQ(w.ask({"write", "last\\r\\n"}), "ok");
    ASSERT_EQ(w.ask({"close"}), "ok");
    expect_shown(p, banner + "before\r\nafter the rename\r\nlast\r\n", "after the new file");
    EXPECT_EQ(w.ask({"delete", rotated}), "ok") << "delete while followed";
}

// The rename above proves something only if Wine enforces sharing: a
// handle that does not share delete access must block the rename.
TEST_F(WindowsWriter, AHandleThatDeniesDeleteSharingBlocksARename)
{
    TempDir dir;
    const std::string f = dir.path("app.log");
    Writer w;
    ASSERT_EQ(w.ask({"open", f}), "ok");
    EXPECT_EQ(w.ask({"rename", f, f + ".1"}), "error 32") << "ERROR_SHARING_VIOLATION expected";
    EXPECT_EQ(w.ask({"close"}), "ok");
}

// Sets an environment variable for one scope: ferrik inherits it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

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
    ScopedEnv locpath("LOCPATH", locales);
    ScopedEnv locale("LC_ALL", "ja_JP.UTF-8");
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
        const std::string f = dir.write(c.name, content);
        Result r = run({"+0", f});
        EXPECT_EQ(r.exit_code, 0) << c.why;
        EXPECT_TRUE(r.out == banner + content)
            << c.why << ": " << f << "\n  expected: " << banner + content
            << "\n  actual:   " << r.out;
        EXPECT_EQ(r.err, "") << c.why;
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
