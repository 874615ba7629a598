// What a person sees: ferrik run from a shell in a real terminal (a tmux
// pane), keys typed with send-keys, the screen read with capture-pane.
// Under Wine the Windows build runs in the same pane, as a console program.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support.h"

#include "tests/process.h"
#include "tests/expected.h"

using namespace e2e;
using namespace std::string_literals;
using support::wide;

namespace {

const std::string question = "This file probably a unicode file. Display as unicode ? (y/n)";
const std::string sample_utf8 = "caf\xc3\xa9 \xce\xa9\xce\xbc\xce\xad\xce\xb3\xce\xb1 "
                                "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xf0\x9f\x98\x80";
// The same text in UTF-16LE, after the byte-order mark.
const std::string sample_utf16 = "\xff\xfe"s + wide("caf\xe9 ") +
                                 "\xa9\x03\xbc\x03\xad\x03\xb3\x03\xb1\x03"s + wide(" ") +
                                 "\xe5\x65\x2c\x67\x9e\x8a"s + wide(" ") + "\x3d\xd8\x00\xde"s +
                                 wide("\r\n");

// What the screen shows of the sample.  Wine's console writes each half of a
// surrogate pair to the terminal on its own, as U+FFFD, although ferrik.exe
// hands WriteConsoleW the pair whole; the rest is drawn as it is.
std::string sample_seen()
{
    if (!under_wine())
        return sample_utf8;
    return sample_utf8.substr(0, sample_utf8.size() - 4) + "\xef\xbf\xbd\xef\xbf\xbd";
}

// Single-quoted for the shell.
std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? "'\\''"s : std::string(1, c);
    return q + "'";
}

// A tmux server of its own, with one pane running sh in a UTF-8 locale.
class Terminal {
public:
    Terminal()
    {
        static std::atomic<int> count{0};
        socket_ = "ferrik-test-" + std::to_string(getpid()) + "-" + std::to_string(++count);
        // LC_ALL is kept as the Wine leg sets it; natively it is C.UTF-8.
        const char* lc_all = std::getenv("LC_ALL");
        std::string locale = under_wine() && lc_all ? lc_all : "C.UTF-8";
        ok_ = tmux({"new-session", "-d", "-x", "150", "-y", "40", "-e", "LC_ALL=" + locale,
                    "-e", "LANG=" + locale, "sh"})
                  .exit_code == 0;
        ok_ = ok_ && wait_for([](const std::string& s) { return s.find_first_not_of(" \n") != std::string::npos; });
    }

    ~Terminal() { tmux({"kill-server"}); }

    bool ok() const { return ok_; }

    // Types `text` and, with `enter`, presses Enter.
    void type(const std::string& text, bool enter = true)
    {
        tmux({"send-keys", "-l", text});
        if (enter)
            tmux({"send-keys", "Enter"});
    }

    void key(const std::string& name) { tmux({"send-keys", name}); }

    // What the pane shows, each row without its trailing blanks.
    std::string screen() { return tmux({"capture-pane", "-p"}).out; }

    // Waits until `done` holds for the screen, with a generous deadline.
    template <typename Done>
    bool wait_for(Done done, std::chrono::seconds deadline = std::chrono::seconds(60))
    {
        auto end = std::chrono::steady_clock::now() + deadline;
        while (!done(screen())) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return true;
    }

    bool shows(const std::string& text)
    {
        return wait_for([&](const std::string& s) { return s.find(text) != std::string::npos; });
    }

    // Waits until the shell's prompt ("#" or "$", its blank trimmed) stands
    // alone on the last line that is not empty, after `after`: the program
    // has ended, and what is typed next goes to the shell.
    bool prompts_after(const std::string& after)
    {
        return wait_for([&](const std::string& s) {
            std::size_t at = s.rfind(after);
            if (at == std::string::npos)
                return false;
            std::string rest = s.substr(at + after.size());
            rest.erase(rest.find_last_not_of('\n') + 1);
            std::size_t line = rest.rfind('\n');
            std::string last = line == std::string::npos ? "" : rest.substr(line + 1);
            return last == "#" || last == "$";
        });
    }

private:
    Result tmux(const std::vector<std::string>& args)
    {
        std::vector<std::string> command = {"tmux", "-L", socket_, "-f", "/dev/null"};
        command.insert(command.end(), args.begin(), args.end());
        Process p(Helper{command});
        return p.wait();
    }

    std::string socket_;
    bool ok_ = false;
};

// The command line that runs ferrik with `args`, for the shell.
std::string ferrik_line(const std::vector<std::string>& args)
{
    std::string line;
    for (const std::string& part : ferrik_command())
        line += (line.empty() ? "" : " ") + quoted(part);
    for (const std::string& a : args)
        line += " " + quoted(a);
    return line;
}

class TerminalTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (access("/usr/bin/tmux", X_OK) != 0)
            FAIL() << "these tests need tmux: apt-get install tmux";
        ASSERT_TRUE(term_.ok()) << "tmux did not start a shell";
    }

    // The screen from the line that ran ferrik on.
    std::string from_command(const std::string& marker)
    {
        std::string s = term_.screen();
        std::size_t at = s.rfind(marker);
        return at == std::string::npos ? s : s.substr(at);
    }

    Terminal term_;
    TempDir dir_;
};

TEST_F(TerminalTest, Utf16TextAsAPersonReadsIt)
{
    const std::string f = dir_.write("u16.txt", sample_utf16);
    term_.type(ferrik_line({"-u", "+0", f}));
    EXPECT_TRUE(term_.shows(sample_seen())) << "screen:\n" << term_.screen();
}

// The question is on the screen before the answer is typed; "yes" and Enter
// show the text, and the shell gets nothing of the answer to run.
TEST_F(TerminalTest, TheQuestionBeforeTheAnswerAndNothingLeftForTheShell)
{
    const std::string f = dir_.write("u16.txt", sample_utf16);
    term_.type(ferrik_line({f}));
    ASSERT_TRUE(term_.shows(question)) << "screen:\n" << term_.screen();
    EXPECT_EQ(term_.screen().find("caf"), std::string::npos) << "shown before the answer";
    term_.type("yes");
    EXPECT_TRUE(term_.shows(sample_seen())) << "screen:\n" << term_.screen();
    ASSERT_TRUE(term_.prompts_after(sample_seen())) << "no prompt after the run:\n"
                                                    << term_.screen();
    term_.type("echo next-$((6 * 7))");
    ASSERT_TRUE(term_.shows("\nnext-42")) << "screen:\n" << term_.screen();
    std::string s = term_.screen();
    EXPECT_EQ(s.find("not found"), std::string::npos) << "the shell ran a rest of the answer:\n"
                                                      << s;
}

// The alert of -b sounds on the terminal; nothing of it is drawn, and the
// screen holds the banner and the lines alone.
TEST_F(TerminalTest, BeepInFollowModeDrawsNothing)
{
    const std::string f = dir_.write("app.log", "line one\n");
    term_.type(ferrik_line({"-b", "-f", "+0", f}));
    ASSERT_TRUE(term_.shows("line one")) << "screen:\n" << term_.screen();
    append(f, "line two\n");
    ASSERT_TRUE(term_.shows("line two")) << "screen:\n" << term_.screen();
    append(f, "line three\n");
    ASSERT_TRUE(term_.shows("line three")) << "screen:\n" << term_.screen();
    std::string s = from_command("ferrik " FERRIK_VERSION);
    std::size_t banner_end = s.find('\n');
    ASSERT_NE(banner_end, std::string::npos);
    std::string rest = s.substr(banner_end + 1);
    rest.erase(rest.find_last_not_of('\n') + 1);
    EXPECT_EQ(rest, "line one\nline two\nline three") << "screen:\n" << term_.screen();
    term_.key("C-c");
}

}  // namespace
