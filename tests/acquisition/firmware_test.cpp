// The firmware table and the divisor bytes of the start command.

#include "acquisition/acquisition_run.h"
#include "acquisition/firmware.h"
#include "config/settings.h"

#include <gtest/gtest.h>

namespace {

using namespace tw;
using acquisition::check_firmware;

// Each reply against the setting: the version kept, the board type, and the
// warnings with whether they wait for OK (the first warning's start).
TEST(Firmware, VersionsGiveTheirBoardTypeAndWarnings) {
    EXPECT_EQ(acquisition::dotted_version("V180") + "|" + acquisition::dotted_version("V1"), "V.1.80|V1");
    const struct {
        const char* reply;
        int setting, warnings_off;
        const char* version;
        int ad_type;
        std::size_t warnings;
        bool modal;
        const char* first;
    } cases[] = {
        {"V.1.40", config::orda10, 0, "1.40", config::orda10, 0, false, ""},
        {"V.1.60", config::orda10, 0, "1.60", config::orda10, 0, false, ""},
        {"V.1.11", config::orda10, 0, "1.11", config::orda10, 1, false,
         "A/D board version is V.1.11 it is obsolete.\r\nCould not support important features.\r\nAdvice: "
         "Update your A/D card firmware returning the AT90S2313 chip to the manufacturer."},
        {"V.1.30", config::orda10, 0, "1.30", config::orda10, 1, false, "A/D board version is V.1.30 it is rather old"},
        {"V.1.31", config::orda10, 0, "1.31", config::orda10, 1, false, "A/D board version is V.1.31  \r\nThe version 1.40"},
        {"V.1.11", config::orda10, 1, "1.11", config::orda10, 0, false, ""},
        // An 18-bit board turns the setting into ORDA20, warnings off or not.
        {"V.1.80", config::orda10, 1, "1.80", config::orda20, 1, true,
         "The A/D board connected is a 18 bit data board.\r\nA/D interface type changed to < ORDA20 >\r\n"
         "Remember to check and SAVE this setting."},
        {"V.1.80", config::orda20, 0, "1.80", config::orda20, 0, false, ""},
        // Unknown versions on an ORDA20 setting: the version and the board type.
        {"V.1.99", config::orda20, 0, "1.xx", config::orda20, 2, true,
         "A/D board version is V.1.99 it is unknow\r\nbut seems to be a new version."},
        {"V.1.20", config::orda20, 0, "1.xx", config::orda20, 2, true,
         "A/D board version is V.1.20 it is unknow.\r\nCould not support"},
        {"V.1.99", config::orda20, 1, "1.xx", config::orda20, 1, true,
         "The A/D interface is not a 18 bit data\r\nas selected in H/W Setup - A/D Interface.\r\nCheck the board type."},
        {"V.1.99", config::orda10, 1, "1.xx", config::orda10, 0, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.reply) + " " + std::to_string(c.setting) + " " + std::to_string(c.warnings_off));
        const auto check = check_firmware(c.reply, c.setting, c.warnings_off);
        EXPECT_EQ(std::tuple(check.firmware_version, check.ad_type, check.warnings.size()),
                  std::tuple(std::string(c.version), c.ad_type, c.warnings));
        if (check.warnings.empty()) continue;
        EXPECT_TRUE(check.warnings[0].text.starts_with(c.first)) << check.warnings[0].text;
        EXPECT_EQ(check.warnings[0].modal, c.modal);
    }
}

// sps_code: 0 OFF, 1 1SPM, 2 .1, 3 .5, 4 1, 5 2, ... 11 100, 12 200. The start
// command bytes of each board base are the station tests' (tests/app).
TEST(RateCommand, TrueRatesAndTheFastestChannelTheLowestAmongEqualRates) {
    const auto command = [](int c1, int c2, int c3, int c4, const char* board) {
        config::Settings settings;
        for (int k = 1; const int code : {c1, c2, c3, c4}) settings.channel(k++).sps_code = code;
        return acquisition::build_rate_command(settings, board);
    };
    EXPECT_EQ(command(1, 5, 11, 12, "ORDA V.1.60").true_rate, (std::array<double, 4>{1.0 / 60, 2, 100, 200}));
    EXPECT_EQ(command(0, 2, 3, 4, "ORDA V.1.40").true_rate, (std::array<double, 4>{0, 0.1, 0.5, 1}));
    EXPECT_EQ(command(10, 11, 11, 4, "ORDA V.1.40").fastest_channel, 1);
    EXPECT_EQ(command(0, 0, 0, 0, "ORDA V.1.40").fastest_channel, 0);
    // A code outside the list is a channel switched off.
    EXPECT_EQ(command(40, -1, 4, 4, "ORDA V.1.40").bytes, std::string("\x00\x00\x64\x64", 4));
}

}  // namespace
