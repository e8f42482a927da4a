#pragma once
// --retrigger: the day tracks of the station replayed through the trigger
// with the station's settings or those of another settings file, without
// windows and without writing anything.

#include "app/command_line.h"

#include <filesystem>
#include <iosfwd>

namespace tw::app {

// Reads the settings (--settings FILE, else the station's terrawv.ini),
// replays the stretch for the chosen channels (--channels, else the
// channels that record events and have a day track of the start's day,
// else every channel with one), prints one line per event and a summary
// on `out`, every notice on `err`. Returns 0 when the stretch was replayed,
// 1 when nothing could be (no settings file, refused trigger settings,
// nothing recorded).
int run_retrigger_command(const std::filesystem::path& station_folder, const CommandLine& options,
                          std::ostream& out, std::ostream& err);

}  // namespace tw::app
