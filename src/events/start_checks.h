#pragma once
// The checks of the event settings that START makes before anything changes.

#include "config/settings.h"

#include <optional>
#include <string>

namespace tw::events {

// A refused START: shown in a message box with the critical icon.
struct StartRefusal {
    std::string title;
    std::string text;
};

// Event file extensions, all four channels, enabled or not:
// - two channels whose extensions are equal ignoring letter case would write
//   the same file when they trigger in the same second: "File extensions
//   mismatch for channel c and k. Check [f.extens.] field and retry.";
// - an extension holding a character that cannot stand in a file name
//   ("/", "\", a control character) would name a file elsewhere or none:
//   "Invalid file extension for channel c. Check [f.extens.] field and
//   retry.".
// Both titled "Error.". nullopt when START may go on.
std::optional<StartRefusal> check_file_extensions(const config::Settings& settings);

}  // namespace tw::events
