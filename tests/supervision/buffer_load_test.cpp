// The serial buffer load once a second, on a buffer of 1024 bytes.

#include "supervision/buffer_load.h"

#include <gmock/gmock.h>

namespace {

using namespace tw::supervision;

struct Look {
    int waiting;
    int no_charts;  // afterwards
    int color;      // of the filled part of the bar
    bool discard;
    std::vector<std::string_view> messages;
};

void expect_looks(BufferLoad& load, int& no_charts, const std::vector<Look>& looks) {
    PanelModel panel;
    for (const auto& look : looks) {
        const auto out = load.update(look.waiting, 1024, no_charts, panel);
        EXPECT_EQ(no_charts, look.no_charts) << look.waiting;
        EXPECT_EQ(panel.buffer_color, look.color) << look.waiting;
        EXPECT_EQ(panel.buffer_fill, look.waiting);
        EXPECT_EQ(out.discard, look.discard) << look.waiting;
        EXPECT_EQ(out.messages, look.messages) << look.waiting;
    }
}

TEST(BufferLoadTest, ChartsPauseAbove65PercentAndResumeOnlyBelow25) {
    BufferLoad load;
    int no_charts = 0;
    expect_looks(load, no_charts,
                 {
                     {100, 0, 14, false, {}},  // grew since the last look
                     {100, 0, 2, false, {}},
                     {665, 0, 14, false, {}},
                     {666, 1, 12, false, {buffer_warning_text}},
                     {800, 1, 12, false, {}},  // the warning is given once
                     {973, 1, 12, true, {buffer_overload_text}},
                     {256, 1, 2, false, {}},   // not below a quarter yet
                     {255, 0, 2, false, {}},
                     {700, 1, 12, false, {buffer_warning_text}},  // a new episode
                 });
}

TEST(BufferLoadTest, ChartsSwitchedOffByTheUserStayOff) {
    for (const bool chosen_during_pause : {false, true}) {
        BufferLoad load;
        int no_charts = chosen_during_pause ? 0 : 1;
        expect_looks(load, no_charts, {{700, 1, 12, false, {buffer_warning_text}}});
        if (chosen_during_pause) load.user_chose_charts();
        expect_looks(load, no_charts, {{10, 1, 14, false, {}}});
    }
}

}  // namespace
