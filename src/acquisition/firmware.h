#pragma once
// The firmware table of the ORDA boards: what a version reply means for the
// program, and the warnings it shows the user.

#include <string>
#include <string_view>
#include <vector>

namespace tw::acquisition {

// One text for the warning box; lines are joined by CR LF.
struct FirmwareWarning {
    std::string text;
    bool modal = false;  // the user must close it before the run goes on
};

struct FirmwareCheck {
    // "1.11", "1.30", "1.31", "1.40", "1.50", "1.51", "1.60", "1.80" or "1.xx".
    std::string firmware_version;
    std::vector<FirmwareWarning> warnings;  // in the order they are shown
    // The board family to use from now on: a "V.1.80" board is an ORDA20
    // whatever the settings said.
    int ad_type = 0;
};

// The version reply of the board ("V" and three characters) in its dotted
// form: "V180" gives "V.1.80". Any other length gives the reply unchanged.
std::string dotted_version(std::string_view reply);

// Looks a dotted reply up in the firmware table. `ad_type` is the configured
// board family; `no_version_warning` set hides the warnings about old or
// unknown firmware, never the two about the 18-bit board.
FirmwareCheck check_firmware(std::string_view dotted_reply, int ad_type, int no_version_warning);

}  // namespace tw::acquisition
