#include "tests/fake_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <gtest/gtest.h>

#include "display/display.h"

namespace fake {
namespace {
Platform state;
}

Platform& reset()
{
    state = Platform{};
    ferrik::out_reset();
    return state;
}

Platform& reset_file(std::string content)
{
    reset();
    state.file_name = std::string(1, 'f');   // = "f" draws a false -Wrestrict from g++ 12
    state.content = std::move(content);
    return state;
}

Platform& get()
{
    return state;
}

ferrik::FileHandle open_file()
{
    ferrik::OpenFailure why;
    ferrik::open_file(state.file_name.c_str(), &why);
    return ferrik::read_state.handle;
}

int run(const std::vector<std::string>& args)
{
    std::vector<const char*> argv{"ferrik"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    return ferrik::run_display(static_cast<int>(argv.size()), argv.data());
}

}  // namespace fake

namespace ferrik {

using fake::state;

const char line_end[] = "\n";
const int max_name_length = 4095;
const bool dot_names_are_files = true;
const bool quoted_names = false;

int platform_start()
{
    return 0;
}

OutputKind stdout_kind()
{
    return state.terminal ? OutputKind::terminal
           : state.transfer ? OutputKind::file
                            : OutputKind::pipe;
}

FileHandle open_shared(const char* name, OpenFailure* why)
{
    bool named = !state.file_name.empty() && state.file_name == name;
    if (named && state.name_holds >= 0)
        return 3 + state.name_holds;
    *why = !named ? state.open_failure
           : state.name_holds == fake::Platform::holds_directory ? OpenFailure::directory
                                                                 : OpenFailure::missing;
    return no_file;
}

// The bytes behind a handle.
static const std::string& content_of(FileHandle file)
{
    return file >= 4 ? state.others.at(static_cast<std::size_t>(file - 4)) : state.content;
}

static std::uint64_t current_size(FileHandle file)
{
    return state.size_override >= 0 && file == 3 ? static_cast<std::uint64_t>(state.size_override)
                                                 : content_of(file).size();
}

int read_at(FileHandle file, std::uint64_t position, std::span<unsigned char> buffer,
            std::size_t* delivered)
{
    if (state.fail_read_at >= 0 && position == static_cast<std::uint64_t>(state.fail_read_at))
        return -1;
    const std::string& content = content_of(file);
    std::uint64_t end = std::min<std::uint64_t>(current_size(file), content.size());
    if (state.size_override == 0 && file == 3)
        end = content.size();   // a size of 0 reported, as /proc does, bytes delivered
    std::size_t n = 0;
    if (position < end)
        n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - position));
    std::memcpy(buffer.data(), content.data() + (n ? position : 0), n);
    *delivered = n;
    return 0;
}

Send send_to_stdout(FileHandle file, std::uint64_t position, std::uint64_t count,
                    std::uint64_t* sent)
{
    unsigned char chunk[7];   // odd and small, so that transfers take many calls
    std::size_t n = 0;
    read_at(file, position, std::span(chunk, std::min<std::uint64_t>(count, sizeof chunk)), &n);
    *sent = n;
    return raw_write(chunk, n) == 0 ? Send::sent : Send::copy;
}

int file_size(FileHandle file, std::uint64_t* size)
{
    if (state.fail_size)
        return -1;
    *size = current_size(file);
    return 0;
}

void pause_ms(unsigned)
{
    ++state.pauses;
    if (state.pauses > state.max_pauses) {
        ADD_FAILURE() << "the wait did not end after " << state.max_pauses << " polls";
        std::abort();
    }
    if (state.on_pause)
        state.on_pause(state.pauses);
}

void sound_beep()
{
    ++state.beeps;
}

int raw_write(const void* data, std::size_t count)
{
    ++state.writes;
    if (state.fail_writes)
        return -1;
    state.output.append(static_cast<const char*>(data), count);
    return 0;
}

int read_stdin_char()
{
    if (state.on_read_stdin)
        state.on_read_stdin();
    if (state.input_used >= state.input.size())
        return -1;
    return static_cast<unsigned char>(state.input[state.input_used++]);
}

int raw_write_error(const void* data, std::size_t count)
{
    state.errors.append(static_cast<const char*>(data), count);
    return 0;
}

const char* last_error_text()
{
    return "error";
}

// ---- Following a file by its name -----------------------------------------

int file_identity(FileHandle file, FileIdentity* id)
{
    *id = {1, static_cast<std::uint64_t>(file)};
    return 0;
}

int name_identity(const char* name, FileIdentity* id)
{
    if (state.file_name != name || state.name_holds < 0)
        return -1;
    *id = {1, static_cast<std::uint64_t>(3 + state.name_holds)};
    return 0;
}

bool delete_pending(FileHandle file)
{
    return file == 3 && state.delete_pending;
}

void close_file(FileHandle file)
{
    state.closed.push_back(file);
}

bool stdout_reader_gone()
{
    return state.reader_gone;
}

// ---- Text beyond ASCII: the UTF-16 display's output, the command line and
// ---- file names.

const bool program_text_converted = false;

TextForm text_form()
{
    return state.text_form;
}

// The converted text joins the output as it came, so that tests see where
// it went; state.converted keeps it apart as well.
int write_text(const unsigned char* utf8, std::size_t count)
{
    state.converted.append(reinterpret_cast<const char*>(utf8), count);
    return raw_write(utf8, count);
}

int take_command_line(int*, const char* const**)
{
    return 0;
}

std::size_t name_length(std::string_view name)
{
    return name.size();
}

std::size_t narrow_program_text(const char* text, std::size_t count, char* out)
{
    std::memcpy(out, text, count);
    return count;
}

}  // namespace ferrik
