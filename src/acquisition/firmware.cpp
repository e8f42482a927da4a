#include "acquisition/firmware.h"

#include "config/number_text.h"
#include "platform/dialogs.h"
#include "config/tables.h"

namespace tw::acquisition {

namespace {

constexpr std::string_view firmware_advice =
    "Advice: Update your A/D card firmware returning the AT90S2313 chip to the manufacturer.";


}  // namespace

std::string dotted_version(std::string_view reply) {
    if (reply.size() != 4) return std::string(reply);
    std::string dotted;
    dotted += reply[0];
    dotted += '.';
    dotted += reply[1];
    dotted += '.';
    dotted += reply.substr(2);
    return dotted;
}

FirmwareCheck check_firmware(std::string_view reply, int ad_type, int no_version_warning) {
    FirmwareCheck check;
    check.ad_type = ad_type;
    const bool version_warnings = no_version_warning == 0;
    const std::string r(reply);
    auto warn = [&](std::string text, bool modal) {
        check.warnings.push_back({std::move(text), modal});
    };

    if (reply == "V.1.11") {
        check.firmware_version = "1.11";
        if (version_warnings)
            warn(platform::joined_lines({"A/D board version is " + r + " it is obsolete.",
                        "Could not support important features.", firmware_advice}),
                 false);
    } else if (reply == "V.1.30") {
        check.firmware_version = "1.30";
        if (version_warnings)
            warn(platform::joined_lines({"A/D board version is " + r + " it is rather old.",
                        "Could not support important features.", firmware_advice}),
                 false);
    } else if (reply == "V.1.31") {
        check.firmware_version = "1.31";
        if (version_warnings)
            warn(platform::joined_lines({"A/D board version is " + r + "  ", "The version 1.40 is available.",
                        firmware_advice}),
                 false);
    } else if (reply == "V.1.40" || reply == "V.1.50" || reply == "V.1.51" || reply == "V.1.60") {
        check.firmware_version = std::string(reply.substr(2));
    } else if (reply == "V.1.80") {
        check.firmware_version = "1.80";
        if (ad_type != config::orda20) {
            warn(platform::joined_lines({"The A/D board connected is a 18 bit data board.",
                        "A/D interface type changed to < ORDA20 >",
                        "Remember to check and SAVE this setting."}),
                 true);
            check.ad_type = config::orda20;
        }
    } else {
        check.firmware_version = "1.xx";
        const double number = reply.size() > 2 ? config::number_scan(reply.substr(2)) : 0.0;
        if (version_warnings) {
            if (number > 1.4) {
                warn(platform::joined_lines({"A/D board version is " + r + " it is unknow",
                            "but seems to be a new version.",
                            "Advice: Update your Terrawave datalogging software in order to "
                            "meet the new requirements of this A/D version."}),
                     true);
            } else {
                warn(platform::joined_lines({"A/D board version is " + r + " it is unknow.",
                            "Could not support important features.", firmware_advice}),
                     true);
            }
        }
    }

    if (check.firmware_version != "1.80" && check.ad_type == config::orda20) {
        warn(platform::joined_lines({"The A/D interface is not a 18 bit data",
                    "as selected in H/W Setup - A/D Interface.", "Check the board type."}),
             true);
    }
    return check;
}

}  // namespace tw::acquisition
