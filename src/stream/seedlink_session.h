#pragma once
// One client of the station's server: the protocol (version 3) between the
// bytes it sends and the bytes it is sent, without any socket.
//
// Handshaking. Commands end with CR, LF or both. HELLO, CAT, BYE and INFO
// work at any time before data flow; without STATION the connection is in
// uni-station mode: SELECT answers OK and DATA, FETCH or TIME start the data
// flow at once. STATION puts it into multi-station mode: SELECT, DATA, FETCH
// and TIME answer OK for the station named last and END starts the flow. A
// command that is unknown, malformed or names another station gets ERROR.
//
// Data flow. Each record goes out as "SL", its sequence number in six
// hexadecimal digits and the 512-byte record. DATA and FETCH start at the
// record they name, or at the oldest one held when the ring no longer (or
// never) had it; without a number at the next new record. TIME starts at
// the oldest record held. A begin time leaves out records that end before
// it, an end time those that start at or after it. FETCH, and TIME with an
// end, send "END" once everything asked for has gone, and wait for the
// client to close. While data flows only INFO and BYE are taken; other lines
// are dropped. INFO answers go out as packets headed "SLINFO *" (more
// follow) or "SLINFO  " (the last).
//
// Bounds. A line longer than max_command_length gets ERROR and the
// connection closes. Data waits in a queue of at most `max_queued` bytes,
// filled from the ring as the client takes it; a client so slow that the
// ring drops records it has not been sent yet is disconnected, and so is
// one whose answers pile up beyond `max_output` or that stays silent in the
// handshake for `handshake_timeout_ms`.

#include "stream/record_ring.h"
#include "stream/seedlink_command.h"
#include "stream/seedlink_info.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::stream {

struct SessionLimits {
    std::size_t max_queued = 64 * 1024;   // data packets waiting to be sent
    std::size_t max_output = 256 * 1024;  // everything waiting, answers included
    std::size_t max_selectors = 32;
    std::int64_t handshake_timeout_ms = 120000;
};

// Size of a data packet: the 8-byte header and the record.
inline constexpr std::size_t packet_length = 8 + record_length;

class SeedLinkSession {
public:
    SeedLinkSession(const ServerIdentity& identity, const RecordRing& ring, SessionLimits limits,
                    std::int64_t now_ms);

    // Bytes from the client; whole lines are handled at once.
    void receive(std::string_view bytes, std::int64_t now_ms, std::int64_t now_us);
    // Queues records from the ring while the queue has room.
    void pump();
    // What waits to be sent, and how much of it went.
    std::string_view output() const { return std::string_view(out_).substr(sent_); }
    void consumed(std::size_t bytes);

    bool streaming() const { return state_ != State::handshake; }
    // Close once the output has gone (BYE, an overlong line).
    bool closing() const { return closing_; }
    // Close at once (fell behind the ring, too much output, silent too
    // long); the reason says why.
    bool aborted() const { return !abort_reason_.empty(); }
    const std::string& abort_reason() const { return abort_reason_; }
    // Aborts a session still in the handshake after the timeout.
    void check_timeout(std::int64_t now_ms);
    // The next record it would be sent.
    std::uint32_t cursor() const { return cursor_; }

private:
    enum class State { handshake, realtime, dialup, done };
    enum class Action { none, data, fetch, time };

    void handle_line(std::string_view line, std::int64_t now_us);
    void handle(const Command& command, std::int64_t now_us);
    void reply(std::string_view text);
    void start_flow();
    bool wanted(const Record& record) const;
    void append_packet(std::string_view header, const Record& record);
    void abort(std::string reason);

    const ServerIdentity& identity_;
    const RecordRing& ring_;
    SessionLimits limits_;
    std::string in_;
    std::string out_;
    std::size_t sent_ = 0;
    State state_ = State::handshake;
    bool multi_station_ = false;
    bool station_ok_ = false;      // the last STATION named this station
    bool closing_ = false;
    std::string abort_reason_;
    std::int64_t last_command_ms_ = 0;

    // What was asked for.
    std::vector<Selector> selectors_;
    Action action_ = Action::none;
    std::optional<std::uint32_t> sequence_;
    std::optional<std::int64_t> begin_us_;
    std::optional<std::int64_t> end_us_;
    std::uint32_t cursor_ = 0;
};

}  // namespace tw::stream
