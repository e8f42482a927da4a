#include "supervision/buffer_load.h"

#include <algorithm>

namespace tw::supervision {

BufferLoad::Outcome BufferLoad::update(int waiting, int size, int& no_charts, PanelModel& panel) {
    Outcome out;
    size = std::max(size, 1);
    const double n = std::max(waiting, 0);
    if (n > 0.65 * size) {
        if (no_charts == 0) paused_for_load_ = true;
        no_charts = 1;
        panel.buffer_color = 12;
        if (!warning_given_) {
            out.messages.push_back(buffer_warning_text);
            warning_given_ = true;
            out.repaint = true;
        }
        if (n > 0.95 * size) {
            out.discard = true;
            out.messages.push_back(buffer_overload_text);
        }
    } else {
        if (paused_for_load_ && no_charts != 0 && n < 0.25 * size) {
            no_charts = 0;
            paused_for_load_ = false;
        }
        panel.buffer_color = waiting <= previous_fill_ ? 2 : 14;
        previous_fill_ = waiting;
        warning_given_ = false;
    }
    panel.buffer_fill = std::max(waiting, 0);
    panel.buffer_size = size;
    return out;
}

}  // namespace tw::supervision
