// Follow mode: the wait between two read loops.
#include "display/display.h"

namespace ferrik {

/*
** Blocks until the file's size differs from what the display has seen: the
** read position plus any bytes read but held back.  The first poll comes one
** interval after the call, so a file that keeps its size costs one size
** query a second.  With -b the alert sounds on every end of a wait.  A file
** that has shrunk below the read position is shown again from its start:
** whatever a writer put there after truncating it is new.
*/
void wait_for_change()
{
    read_state.baseline_size = read_state.position + read_state.held;
    for (;;) {
        pause_ms(poll_interval_ms);
        std::uint64_t size = 0;
        if (file_size(read_state.handle, &size) == 0 && size != read_state.baseline_size) {
            read_state.size = size;
            break;
        }
    }
    if (run_settings.beep)
        sound_beep();
    if (read_state.size < read_state.position)
        read_state.position = 0;
}

}  // namespace ferrik
