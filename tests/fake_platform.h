// A platform for unit tests: one scripted file, captured output, scripted
// standard input, and a clock that never really sleeps.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace ferrik {
// Empties the output stream and clears its failure; it then writes to a
// pipe until out_start() looks again.  Defined beside the stream.
void out_reset();
}  // namespace ferrik

namespace fake {

struct Platform {
    std::string file_name;            // the one name that opens
    std::string content;              // the file's bytes
    std::int64_t size_override = -1;  // reported size when >= 0
    std::int64_t fail_read_at = -1;   // a read at this position fails
    bool fail_size = false;           // size queries fail
    ferrik::OpenFailure open_failure = ferrik::OpenFailure::missing;   // for other names
    std::string output;               // everything written to stdout
    std::string errors;               // everything reported on stderr
    std::string input;                // standard input
    std::size_t input_used = 0;
    bool terminal = false;            // standard output is a terminal
    bool transfer = false;            // it is a file, which takes send_to_stdout()
    bool fail_writes = false;
    int writes = 0;                   // raw_write() calls
    int beeps = 0;
    int pauses = 0;
    int max_pauses = 100;             // a wait that never ends fails the test
    std::function<void(int)> on_pause;   // called with the pause count
    // What is seen when the program blocks on standard input.
    std::function<void()> on_read_stdin;   // called before each read of it

    // Following by name.  Handle 3 is the file of `content`, handle 4 + i
    // is others[i].  `name_holds` says what file_name names now: 0 the
    // file of `content`, i + 1 others[i], or holds_nothing or
    // holds_directory.
    static constexpr int holds_nothing = -1;
    static constexpr int holds_directory = -2;
    std::vector<std::string> others;
    int name_holds = 0;
    bool delete_pending = false;      // the file of `content` is delete pending
    bool reader_gone = false;         // standard output has lost its reader
    std::vector<ferrik::FileHandle> closed;   // close_file() calls
    ferrik::TextForm text_form = ferrik::TextForm::latin1;   // as the C locale gives
    std::string converted;            // what write_text() was given, as it came
};

// Resets the fake and the output stream, and returns the fake's state.
Platform& reset();

// The same, with one file, named "f", that holds `content`.
Platform& reset_file(std::string content);
Platform& get();

// Opens the fake's file, as the run would.
ferrik::FileHandle open_file();

// Runs the whole program, as `ferrik ARGS...`, against the fake.
int run(const std::vector<std::string>& args);

}  // namespace fake
