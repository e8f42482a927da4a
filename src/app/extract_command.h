#pragma once
// The extraction of event files from the day tracks for the Review window
// and for the command line (--extract), which write the same files.

#include "app/command_line.h"
#include "app/station.h"
#include "datalog/extraction.h"
#include "datalog/review.h"

#include <iosfwd>

namespace tw::app {

// What the extraction needs from the station: the tracks of review_path
// (the station folder when empty), the live events folder and counter
// file, the board's lock state and identification.
datalog::ExtractionContext extraction_context(Station& station);
// The saved drum picture of a channel for a date ("YYYY/MM/DD"): the
// current picture when its state file names that day, else the day's
// archive, found whatever the case of its extension.
std::optional<std::filesystem::path> drum_picture(const Station& station, int channel,
                                                  const std::string& date);
// The Review window's logic on the station.
datalog::ReviewContext review_context(Station& station);

// --extract: loads the settings, cuts the stretch for the chosen channels
// (--channels, else those ticked in extract_channel_mask, else every
// channel with a day track of the start's day), prints the path of each
// file written on `out` and every message on `err`. Returns 0 when every
// chosen channel gave a file, else 1.
int run_extract_command(Station& station, const CommandLine& options, std::ostream& out,
                        std::ostream& err);

}  // namespace tw::app
