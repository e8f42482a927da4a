#pragma once
// The station's side of a DataLink connection to a ring server, without a
// socket: the session is given the bytes the server sent and gives back
// the bytes to send (the transport moves them).
//
// Every DataLink packet is "DL", one byte with the length of the header,
// the header (ASCII, at most 255 bytes) and, where the header names a size,
// that many bytes of data. The session
// - sends "ID terrawave:..." first and waits for the server's
//   "ID DataLink ... :: capabilities": the capabilities must grant WRITE and
//   a PACKETSIZE of at least one record (512 bytes);
// - then writes records as "WRITE NET_STA_LOC_CHAN/MSEED start end A 512"
//   (start and end: microseconds since 1970 of the first and last sample)
//   followed by the record, up to `max_in_flight` of them before the first
//   reply, so that a catch-up is not held back by the round trip;
// - takes the server's "OK id size|message" replies, one per WRITE and in
//   the order of the WRITEs, as acknowledgements.
//
// Anything else ends the session (failed()): an "ERROR" reply (the server
// refused a record; the established server closes the connection after
// one anyway), bytes that are not DataLink packets, a reply too long,
// a packet the station never asked for, or no reply for `reply_timeout_ms`
// while one is owed. The owner then drops the connection and writes the
// unacknowledged records again on the next one.

#include "stream/record.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace tw::stream {

class DataLinkSession {
public:
    // WRITEs sent before their reply: 64 records, 37 KiB on the way.
    static constexpr std::size_t max_in_flight = 64;
    // Longest message of an OK, ERROR or ID reply that is taken; a server
    // that announces more is not a DataLink server.
    static constexpr std::size_t max_message = 4096;
    // A server that owes a reply and has sent nothing for this long is
    // taken as gone (a stuck process, a cable pulled without a reset).
    static constexpr std::int64_t reply_timeout_ms = 60000;

    enum class Phase { identifying, ready, failed };

    // `client_id` is "program:user:pid:architecture".
    DataLinkSession(const std::string& client_id, std::int64_t now_ms);

    // Bytes from the server.
    void receive(std::string_view bytes, std::int64_t now_ms);
    // Ends the session when a reply is overdue.
    void check_timeout(std::int64_t now_ms);

    // Ready, and fewer than max_in_flight records wait for their reply.
    bool can_write() const { return phase_ == Phase::ready && in_flight_.size() < max_in_flight; }
    // Queues one record under `stream_id`. Only when can_write().
    void write(const Record& record, std::string_view stream_id, std::int64_t now_ms);
    // Records written and not yet acknowledged, oldest first.
    std::size_t in_flight() const { return in_flight_.size(); }
    // How many of the oldest in-flight records the server acknowledged since
    // the last call; they leave the in-flight count.
    std::size_t take_acknowledged();

    // Bytes to send, and how many of them the connection took.
    std::string_view output() const { return output_; }
    void consumed(std::size_t n) { output_.erase(0, n); }

    Phase phase() const { return phase_; }
    bool failed() const { return phase_ == Phase::failed; }
    // Why the session failed ("the server refused a record: ...").
    const std::string& failure() const { return failure_; }
    // True when the failure was an ERROR reply to a WRITE.
    bool refused() const { return refused_; }
    // What the server said of itself, without "ID " and its capabilities.
    const std::string& server_id() const { return server_id_; }
    // PACKETSIZE of the server's capabilities (0: not announced).
    long packet_size() const { return packet_size_; }

    // "NET_STA_LOC_CHAN/MSEED" of a record's codes; an empty location stays
    // empty ("XX_STA__HHZ/MSEED").
    static std::string stream_id(std::string_view network, std::string_view station,
                                 const Record& record);

private:
    void fail(std::string why);
    // One whole packet at the front of input_; false when more bytes are
    // needed (or the session failed).
    bool take_packet();
    void handle(std::string_view header, std::string_view data);
    void queue_packet(std::string_view header, std::string_view data);

    Phase phase_ = Phase::identifying;
    std::string input_;
    std::string output_;
    std::deque<std::int64_t> in_flight_;  // when each WRITE was queued
    std::size_t acknowledged_ = 0;
    std::int64_t waiting_since_ms_;        // last reply, or the first owed
    std::string failure_;
    bool refused_ = false;
    std::string server_id_;
    long packet_size_ = 0;
};

}  // namespace tw::stream
