// A writer process that a test drives one command at a time: the Windows
// writer (tests/win_writer.cpp) under Wine, or the POSIX one
// (tests/posix_writer.py).  Both take "verb\targ..." lines and answer each
// with one line, "ok" or "error ...".
#pragma once

#include <string>
#include <vector>

#include "tests/process.h"

namespace e2e {

class Writer {
public:
    explicit Writer(const std::vector<std::string>& command) : process_(Helper{command}) {}
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

}  // namespace e2e
