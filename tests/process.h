// Runs the built program as a user would: real files, a real pipe on its
// standard output, and real standard input.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// The command that runs ferrik: the binary under test, preceded by the
// runner named in FERRIK_RUNNER (such as an emulator) when that is set.
std::vector<std::string> ferrik_command();

// The program's own text as the build under test ends its lines: each "\n"
// becomes "\r\n" when FERRIK_LINE_END is "crlf".
std::string text(const std::string& s);

// True when the program under test is the Windows build, run by the Wine
// loader named in FERRIK_RUNNER.
bool under_wine();

// The longest file name, in bytes, that the build under test takes: 255
// for the Windows build, PATH_MAX - 1 natively.
std::size_t longest_name();

// What standard input is: a string through a pipe, or closed at once.
// With `kept_open`, the pipe stays open after the string, for
// Process::send(), until the program is waited for.
struct Input {
    bool given = false;
    std::string data;
    bool kept_open = false;
};

struct Result {
    std::string out;
    std::string err;
    int exit_code = -1;   // -1 when ended by a signal
    int signal = 0;
};

// Another program that a test drives (a writer, say): the whole command,
// run as it is, with its standard input left open for Process::send().
struct Helper {
    std::vector<std::string> command;
};

class Process {
public:
    // Starts ferrik with `args`.  With `stdout_path`, standard output goes to
    // that file instead of a pipe.  With `close_stdout` it is closed.
    Process(const std::vector<std::string>& args, const Input& input = {},
            const char* stdout_path = nullptr, bool close_stdout = false);
    explicit Process(const Helper& helper);
    ~Process();

    // Writes to the standard input of a helper, or of a program started
    // with Input::kept_open.
    void send(const std::string& data);

    // Reads standard output until `done` holds for what has arrived, the
    // program ends, or `deadline` passes.  Returns whether `done` held.
    bool read_until(const std::function<bool(const std::string&)>& done,
                    std::chrono::milliseconds deadline = std::chrono::seconds(30));

    // Ends the program (SIGTERM) if it still runs, and collects the rest.
    Result finish();

    // Waits for the program to end on its own (with a deadline that fails
    // the test), and collects everything.
    Result wait();

    // Waits, with a deadline, for the program to end without reading what
    // it wrote; wait() then collects the output.  Returns whether it ended.
    bool end_unread(std::chrono::milliseconds deadline = std::chrono::seconds(30));

    const std::string& out() const { return result_.out; }

    const std::string& err() const { return result_.err; }

    // Our end of the pipe on the program's standard output (-1 once closed).
    int stdout_pipe() const { return out_fd_; }

private:
    void start(const std::vector<std::string>& command, const Input& input,
               const char* stdout_path, bool close_stdout, bool keep_input);
    void pump(int timeout_ms);
    void collect(int status);
    int pid_ = -1;
    int in_fd_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    Result result_;
};

// Runs ferrik to its end.
Result run(const std::vector<std::string>& args, const Input& input = {});

// A fresh directory for one test's files, removed with its content after.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string write(const std::string& name, const std::string& content) const;
private:
    std::string dir_;
};

void append(const std::string& path, const std::string& data);
void truncate_to(const std::string& path, long size);

// Sets (or, with nullptr, removes) an environment variable for one scope:
// every ferrik started meanwhile inherits it.
class EnvSetting {
public:
    EnvSetting(const char* name, const char* value);
    ~EnvSetting();
    EnvSetting(const EnvSetting&) = delete;
    EnvSetting& operator=(const EnvSetting&) = delete;
private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

}  // namespace e2e
