#include "tests/process.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace e2e {

std::vector<std::string> ferrik_command()
{
    std::vector<std::string> command;
    if (const char* runner = std::getenv("FERRIK_RUNNER"); runner && *runner)
        command.push_back(runner);
    const char* binary = std::getenv("FERRIK_UNDER_TEST");
    command.push_back(binary && *binary ? binary : FERRIK_BINARY);
    return command;
}

std::string text(const std::string& s)
{
    const char* style = std::getenv("FERRIK_LINE_END");
    if (!style || std::strcmp(style, "crlf") != 0)
        return s;
    std::string r;
    for (char c : s) {
        if (c == '\n')
            r += '\r';
        r += c;
    }
    return r;
}

bool under_wine()
{
    const char* runner = std::getenv("FERRIK_RUNNER");
    if (!runner)
        return false;
    const char* base = std::strrchr(runner, '/');
    return std::strncmp(base ? base + 1 : runner, "wine", 4) == 0;
}

std::size_t longest_name()
{
    return under_wine() ? 255 : PATH_MAX - 1;
}

Process::Process(const std::vector<std::string>& args, const Input& input,
                 const char* stdout_path, bool close_stdout)
{
    std::vector<std::string> command = ferrik_command();
    command.insert(command.end(), args.begin(), args.end());
    start(command, input, stdout_path, close_stdout, input.kept_open);
}

Process::Process(const Helper& helper)
{
    start(helper.command, {}, nullptr, false, true);
}

void Process::start(const std::vector<std::string>& command_line, const Input& input,
                    const char* stdout_path, bool close_stdout, bool keep_input)
{
    std::vector<std::string> command = command_line;
    // Close-on-exec: a child must not hold the pipes of another one running
    // beside it, or that one's end of output would never be seen.
    int out[2], err[2], in[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
        pipe2(in, O_CLOEXEC) != 0)
        std::abort();
    signal(SIGPIPE, SIG_IGN);   // for our side of the stdin pipe
    pid_ = fork();
    if (pid_ == 0) {
        signal(SIGPIPE, SIG_DFL);
        dup2(in[0], 0);
        if (close_stdout)
            close(1);
        else if (stdout_path)
            dup2(open(stdout_path, O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        else
            dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1], in[0], in[1]})
            close(fd);
        std::vector<char*> argv;
        for (std::string& a : command)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    close(in[0]);
    // A program that has ended before its input arrived did not need it (what
    // it printed says whether that was right): a closed pipe is no failure.
    if (input.given && !input.data.empty() &&
        write(in[1], input.data.data(), input.data.size()) < 0 && errno != EPIPE) {
        ADD_FAILURE() << "could not write standard input: " << std::strerror(errno);
    }
    if (keep_input)
        in_fd_ = in[1];
    else
        close(in[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
}

void Process::send(const std::string& data)
{
    ASSERT_GE(in_fd_, 0) << "standard input is closed";
    ASSERT_EQ(::write(in_fd_, data.data(), data.size()), static_cast<ssize_t>(data.size()));
}

Process::~Process()
{
    if (pid_ > 0)
        finish();
}

// Moves whatever the program has written into the result.
void Process::pump(int timeout_ms)
{
    pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    if (poll(fds, 2, timeout_ms) <= 0)
        return;
    char buf[65536];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
            continue;
        ssize_t n = read(fds[i].fd, buf, sizeof buf);
        std::string& sink = i == 0 ? result_.out : result_.err;
        if (n > 0) {
            sink.append(buf, static_cast<std::size_t>(n));
        } else {
            close(fds[i].fd);
            (i == 0 ? out_fd_ : err_fd_) = -1;
        }
    }
}

bool Process::read_until(const std::function<bool(const std::string&)>& done,
                         std::chrono::milliseconds deadline)
{
    auto end = std::chrono::steady_clock::now() + deadline;
    while (!done(result_.out)) {
        if ((out_fd_ < 0 && err_fd_ < 0) || std::chrono::steady_clock::now() > end)
            return false;
        pump(50);
    }
    return true;
}

Result Process::finish()
{
    if (pid_ > 0)
        kill(pid_, SIGTERM);
    return wait();
}

Result Process::wait()
{
    if (in_fd_ >= 0) {
        close(in_fd_);
        in_fd_ = -1;
    }
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((out_fd_ >= 0 || err_fd_ >= 0) && std::chrono::steady_clock::now() < end)
        pump(50);
    if (out_fd_ >= 0 || err_fd_ >= 0) {
        ADD_FAILURE() << "ferrik did not end";
        kill(pid_, SIGKILL);
    }
    for (int* fd : {&out_fd_, &err_fd_}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    if (pid_ > 0) {
        int status = 0;
        waitpid(pid_, &status, 0);
        collect(status);
    }
    return result_;
}

bool Process::end_unread(std::chrono::milliseconds deadline)
{
    auto end = std::chrono::steady_clock::now() + deadline;
    while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_)
            collect(status);
        else
            usleep(10000);
    }
    return pid_ < 0;
}

void Process::collect(int status)
{
    pid_ = -1;
    if (WIFEXITED(status))
        result_.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result_.signal = WTERMSIG(status);
}

Result run(const std::vector<std::string>& args, const Input& input)
{
    Process p(args, input);
    return p.wait();
}

TempDir::TempDir()
{
    char tmpl[] = "/tmp/ferrik-test-XXXXXX";
    dir_ = mkdtemp(tmpl);
}

TempDir::~TempDir()
{
    std::string command = "rm -rf '" + dir_ + "'";
    if (std::system(command.c_str()) != 0) {
        // A directory left in /tmp is harmless.
    }
}

std::string TempDir::write(const std::string& name, const std::string& content) const
{
    std::string p = path(name);
    std::ofstream(p, std::ios::binary).write(content.data(),
                                             static_cast<std::streamsize>(content.size()));
    return p;
}

void append(const std::string& path, const std::string& data)
{
    int fd = open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    close(fd);
}

void truncate_to(const std::string& path, long size)
{
    ASSERT_EQ(::truncate(path.c_str(), size), 0) << path;
}

EnvSetting::EnvSetting(const char* name, const char* value) : name_(name)
{
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

EnvSetting::~EnvSetting()
{
    if (had_)
        setenv(name_, old_.c_str(), 1);
    else
        unsetenv(name_);
}

}  // namespace e2e
