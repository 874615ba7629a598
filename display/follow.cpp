// Follow mode: the wait between two read loops.
#include "display/display.h"

namespace ferrik {

int wait_for_change()
{
    read_state.baseline_size = read_state.position + read_state.held;
    for (;;) {
        pause_ms(poll_interval_ms);
        if (file_size(read_state.handle, &read_state.size) != 0) {
            out_message("%s: Read error\n", run_settings.file_name);
            return -1;
        }
        if (read_state.size != read_state.baseline_size)
            break;
    }
    if (run_settings.beep)
        sound_beep();
    if (read_state.size < read_state.position)
        read_state.position = 0;
    return 0;
}

}  // namespace ferrik
