#pragma once
// The DataLink feed's memory across restarts: for every stream, the start
// time of the last record the ring server acknowledged, with the station
// and the server it belongs to. A small text file in the station folder
// (CR LF line ends):
//
//   TERRAWAVE DataLink positions
//   station XX.STA
//   server host:16000
//   XX_STA__HHZ/MSEED 1733529600000000
//   end 1
//
// The last line counts the stream lines, so that a file cut short is seen
// as such. The file is replaced whole (a temporary file renamed over it),
// never written in place.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace tw::stream {

struct DataLinkState {
    std::string station;  // "NET.STA"
    std::string server;   // "host:port"
    // Stream id -> start (microseconds since 1970) of the last record acknowledged.
    std::map<std::string, std::int64_t> acknowledged;
};

enum class StateFileStatus { ok, missing, unreadable, damaged, other_station, other_server };

std::string format_datalink_state(const DataLinkState& state);
// Reads `text` into `state`; anything but ok leaves `state` empty. A file of
// another station or server is read into `found` (when given) for the
// message.
StateFileStatus parse_datalink_state(std::string_view text, const std::string& station,
                                     const std::string& server, DataLinkState& state,
                                     DataLinkState* found = nullptr);

// Loads the file of `station` and `server`; `why` says what was wrong with it.
StateFileStatus load_datalink_state(const std::filesystem::path& path, const std::string& station,
                                    const std::string& server, DataLinkState& state,
                                    std::string* why);
// Replaces the file through a temporary file beside it; with `durable` the
// bytes reach the device before the rename. False with the reason in `error`.
bool save_datalink_state(const std::filesystem::path& path, const DataLinkState& state,
                         bool durable, std::string* error);

}  // namespace tw::stream
