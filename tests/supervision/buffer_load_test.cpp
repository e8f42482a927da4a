// The serial buffer load once a second, on a buffer of 1024 bytes.

#include "supervision/buffer_load.h"

#include <gmock/gmock.h>

namespace {

using namespace tw::supervision;

TEST(BufferLoadTest, ChartsPauseAbove65PercentAndResumeBelow25UnlessTheUserChose) {
    // Bytes waiting; then no_charts, the bar's colour, discard, messages.
    struct Look {
        int waiting, no_charts, color;
        bool discard;
        std::vector<std::string_view> messages;
    };
    const std::vector<Look> looks = {
        {100, 0, 14, false, {}},  // grew since the last look
        {100, 0, 2, false, {}},
        {665, 0, 14, false, {}},
        {666, 1, 12, false, {buffer_warning_text}},
        {800, 1, 12, false, {}},  // the warning is given once
        {973, 1, 12, true, {buffer_overload_text}},
        {256, 1, 2, false, {}},  // not below a quarter yet
        {255, 0, 2, false, {}},
        {700, 1, 12, false, {buffer_warning_text}},  // a new episode
        {10, 1, 2, false, {}},  // the user ticked "Charts off" meanwhile
    };
    BufferLoad load;
    PanelModel panel;
    int no_charts = 0;
    for (const auto& look : looks) {
        if (look.waiting == 10) load.user_chose_charts();
        const auto out = load.update(look.waiting, 1024, no_charts, panel);
        EXPECT_EQ(std::tie(no_charts, panel.buffer_color, out.discard, out.messages),
                  std::tie(look.no_charts, look.color, look.discard, look.messages))
            << look.waiting;
    }
}

}  // namespace
