// Follow mode: the wait between two read loops, and the file the name
// holds.
#include "display/display.h"

namespace ferrik {
namespace {

bool same_file(const FileIdentity& a, const FileIdentity& b)
{
    return a.volume == b.volume && a.index == b.index;
}

// Looks at what the name holds now.  Another regular file is opened and
// held at once, so that it stays the one to show even if the name moves on
// again; an open file that keeps its name from being used again is marked
// to be left.  Anything else leaves the open file followed as it is.  Once
// the open file is closed, `identity` still names it: a name that gives
// that file again (a deleted file that some process still holds) is not a
// new file.
void look_at_name()
{
    FileIdentity named;
    if (name_identity(run_settings.file_name, &named) != 0 ||
        same_file(named, read_state.identity)) {
        read_state.leaving = read_state.handle != no_file && delete_pending(read_state.handle);
        return;
    }
    OpenFailure why = OpenFailure::none;
    FileHandle file = open_shared(run_settings.file_name, &why);
    if (file == no_file)
        return;   // gone again, or not yet readable: the next poll looks again
    FileIdentity opened;
    // The name may have moved on between the look and the open: what was
    // opened is what counts, and it may be the open file after all.
    if (file_identity(file, &opened) != 0 || same_file(opened, read_state.identity)) {
        close_file(file);
        return;
    }
    read_state.next = file;
    read_state.identity_next = opened;
}

// The open file is finished: it is closed, and the held one, if any, is
// shown from its start.  Returns 1 when a new file was taken, 0 when the
// name is still awaited, -1 after a failed query (reported) or once output
// has failed.
int take_next()
{
    // A first half of a pair that the old file will never complete is
    // shown as what it is, a lone surrogate, rather than lost.
    if (read_state.handle != no_file && run_settings.unicode && print_utf16_end() != 0)
        return -1;
    if (read_state.handle != no_file)
        close_file(read_state.handle);
    read_state.handle = read_state.next;
    read_state.next = no_file;
    read_state.leaving = false;
    if (read_state.handle == no_file)
        return 0;
    read_state.identity = read_state.identity_next;
    read_state.position = 0;
    read_state.held = 0;
    if (measure_file() != 0)
        return -1;
    err_message("ferrik: %s: a new file has this name; showing it from its start\n",
                run_settings.file_name);
    return 1;
}

// One poll.  Returns 1 when the wait is over, 0 to poll again, -1 on an
// error (reported).
int poll_once(std::uint64_t baseline)
{
    if (out_check_reader() != 0)
        return -1;
    if (read_state.handle == no_file) {   // finished; waiting for the name
        look_at_name();
        return read_state.next == no_file ? 0 : take_next();
    }
    if (file_size(read_state.handle, &read_state.size) != 0) {
        out_message("%s: Read error\n", run_settings.file_name);
        return -1;
    }
    if (read_state.unsized && read_state.size == 0)
        read_state.size = baseline;   // the system does not tell
    bool quiet = read_state.size == baseline;
    // Marked at an earlier poll, so this whole interval has been quiet.
    if (quiet && (read_state.next != no_file || read_state.leaving))
        return take_next();
    if (read_state.next == no_file)
        look_at_name();
    return quiet ? 0 : 1;
}

}  // namespace

int wait_for_change()
{
    std::uint64_t baseline = read_state.position + read_state.held;
    int result;
    do {
        pause_ms(poll_interval_ms);
        result = poll_once(baseline);
    } while (result == 0);
    if (result < 0)
        return -1;
    if (run_settings.beep)
        sound_beep();
    if (read_state.size < read_state.position)
        read_state.position = 0;
    return 0;
}

}  // namespace ferrik
