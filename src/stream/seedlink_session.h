#pragma once
// One client of the station's server: the protocol between the bytes it
// sends and the bytes it is sent, without any socket. It speaks protocol
// 3.1 until the client asks for 4.0 with SLPROTO (or the transport starts
// it in 4.0).
//
// Handshaking. Commands end with CR, LF or both. HELLO, INFO and BYE work
// at any time before data flow. In 3.1, without STATION the connection is
// in uni-station mode: SELECT answers OK and DATA, FETCH or TIME start the
// data flow at once. STATION puts it into multi-station mode: SELECT, DATA,
// FETCH and TIME answer OK for the station named last and END starts the
// flow. CAPABILITIES takes any capability words (EXTREPLY: an ERROR carries
// its reason as "ERROR<CR>reason<CR><LF>", the form the reference client
// library reads); BATCH leaves out the OK and ERROR answers from then on.
// In 4.0, STATION NET_STA with wildcards, SELECT LOC_B_S_SS[.FS], DATA
// [seq|ALL [start [end]]] and END or ENDFETCH (dial-up), every refusal is
// "ERROR CODE text" and INFO answers in JSON.
//
// Data flow. In 3.1 each record goes out as "SL", its sequence number in six
// hexadecimal digits and the 512-byte record; in 4.0 as an "SE" packet
// (format 2, subformat the record type, little-endian length and 64-bit
// sequence number, station id NET_STA). A request starts at the record it
// names, or at the oldest one held when the ring no longer (or never) had
// it, or (4.0) at the next one when it names a record still to come;
// without a number at the next new record. TIME and DATA ALL start at the
// oldest record held. A begin time leaves out records that end before it,
// an end time those that start at or after it. FETCH and ENDFETCH, and a
// time window with an end, send "END" once everything asked for has gone,
// and wait for the client to close. While data flows only INFO and BYE are
// taken; other lines are dropped. INFO answers in 3.1 go out as packets
// headed "SLINFO *" (more follow) or "SLINFO  " (the last).
//
// Messages. The output is cut into messages for transports that frame
// them (WebSocket): the whole answer to one command, each data or INFO
// packet, and the final END are one message each.
//
// Bounds. A line longer than max_command_length gets ERROR and the
// connection closes. Data waits in a queue of at most `max_queued` bytes,
// filled from the ring as the client takes it; a client so slow that the
// ring drops records it has not been sent yet is disconnected, and so is
// one whose answers pile up beyond `max_output`, that sends no command
// within `first_command_timeout_ms` of connecting or that stays silent in
// the handshake for `handshake_timeout_ms`.

#include "stream/record_ring.h"
#include "stream/seedlink_command.h"
#include "stream/seedlink_info.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::stream {

struct SessionLimits {
    std::size_t max_queued = 64 * 1024;   // data packets waiting to be sent
    std::size_t max_output = 256 * 1024;  // everything waiting, answers included
    std::size_t max_selectors = 32;       // per station
    std::size_t max_stations = 32;        // STATION commands of 4.0
    // A connection must send its first command this soon: a client of
    // the field sends HELLO at once, and a socket held open without a word
    // only takes a place from a real client.
    std::int64_t first_command_timeout_ms = 10000;
    std::int64_t handshake_timeout_ms = 120000;
};

// Size of a data packet of protocol 3.1: the 8-byte header and the record.
inline constexpr std::size_t packet_length = 8 + record_length;

class SeedLinkSession {
public:
    SeedLinkSession(const ServerIdentity& identity, const RecordRing& ring, SessionLimits limits,
                    std::int64_t now_ms, int protocol = 3);

    // The protocol a transport chose (a WebSocket subprotocol), before the
    // first command.
    void use_protocol(int protocol);
    // Bytes from the client; whole lines are handled at once.
    void receive(std::string_view bytes, std::int64_t now_ms, std::int64_t now_us);
    // Queues records from the ring while the queue has room.
    void pump();
    // What waits to be sent, and how much of it went.
    std::string_view output() const { return std::string_view(out_).substr(sent_); }
    // The first whole message of what waits (empty when nothing does).
    std::string_view next_message() const;
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
    // The next record it would be sent, as a six-digit and a full number.
    std::uint32_t cursor() const { return RecordRing::wrap(static_cast<std::uint32_t>(cursor_)); }
    std::uint64_t cursor_number() const { return cursor_; }
    int protocol() const { return protocol_; }
    bool heard_command() const { return heard_command_; }
    const std::string& user_agent() const { return user_agent_; }
    std::uint64_t packets_sent() const { return packets_; }
    bool dialup() const { return state_ == State::dialup || state_ == State::done; }

private:
    enum class State { handshake, realtime, dialup, done };
    enum class Action { none, data, fetch, time };

    void handle_line(std::string_view line, std::int64_t now_us);
    void handle(const Command& command, std::int64_t now_us);
    void handle_v4(const Command& command, std::int64_t now_us);
    void reply(std::string_view text);
    void ok();
    void error(std::string_view code, std::string_view text);
    void put_message(std::string_view bytes);
    void info(const Command& command, std::int64_t now_us);
    void reset_request();
    void start_flow(bool dialup);
    bool wanted(const Record& record) const;
    void append_packet(std::uint64_t number, const Record& record);
    void abort(std::string reason);

    const ServerIdentity& identity_;
    const RecordRing& ring_;
    SessionLimits limits_;
    std::string in_;
    std::string out_;
    std::size_t sent_ = 0;
    std::deque<std::size_t> message_ends_;  // offsets in out_
    State state_ = State::handshake;
    int protocol_ = 3;
    bool extended_replies_ = false;  // CAPABILITIES EXTREPLY
    bool batch_ = false;             // BATCH: no OK or ERROR answers
    bool heard_command_ = false;     // anything besides HELLO and INFO
    bool multi_station_ = false;
    bool station_ok_ = false;        // the last STATION named this station
    bool station_claimed_ = false;   // 4.0: a STATION has taken this station
    std::size_t station_commands_ = 0;
    bool closing_ = false;
    std::string abort_reason_;
    std::string user_agent_;
    std::int64_t last_command_ms_ = 0;
    bool any_line_ = false;
    std::uint64_t packets_ = 0;

    // What was asked for.
    std::vector<Selector> selectors_;
    Action action_ = Action::none;
    std::optional<std::uint64_t> sequence_;
    bool all_ = false;
    std::optional<std::int64_t> begin_us_;
    std::optional<std::int64_t> end_us_;
    std::uint64_t cursor_ = 0;
};

}  // namespace tw::stream
