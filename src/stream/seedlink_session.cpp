#include "stream/seedlink_session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tw::stream {

namespace {

bool has_wildcard(std::string_view pattern) {
    return pattern.find_first_of("*?") != std::string_view::npos;
}

void put_le(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The header of a packet of protocol 4.0.
void put_se_header(std::string& out, char format, char subformat, std::size_t length,
                   std::uint64_t number, std::string_view station) {
    out += "SE";
    out += format;
    out += subformat;
    put_le(out, length, 4);
    put_le(out, number, 8);
    out += static_cast<char>(station.size());
    out.append(station);
}

}  // namespace

SeedLinkSession::SeedLinkSession(const ServerIdentity& identity, const RecordRing& ring,
                                 SessionLimits limits, std::int64_t now_ms, int protocol)
    : identity_(identity), ring_(ring), limits_(limits), protocol_(protocol >= 4 ? 4 : 3),
      last_command_ms_(now_ms) {}

void SeedLinkSession::abort(std::string reason) {
    if (abort_reason_.empty()) abort_reason_ = std::move(reason);
}

std::string_view SeedLinkSession::next_message() const {
    if (message_ends_.empty()) return output();
    return std::string_view(out_).substr(sent_, message_ends_.front() - sent_);
}

void SeedLinkSession::consumed(std::size_t bytes) {
    sent_ += std::min(bytes, out_.size() - sent_);
    while (!message_ends_.empty() && message_ends_.front() <= sent_) message_ends_.pop_front();
    if (sent_ == out_.size()) {
        out_.clear();
        sent_ = 0;
    } else if (sent_ >= 64 * 1024) {
        out_.erase(0, sent_);
        for (auto& end : message_ends_) end -= sent_;
        sent_ = 0;
    }
}

void SeedLinkSession::use_protocol(int protocol) {
    if (!any_line_) protocol_ = protocol >= 4 ? 4 : 3;
}

void SeedLinkSession::put_message(std::string_view bytes) {
    out_.append(bytes);
    message_ends_.push_back(out_.size());
}

void SeedLinkSession::reply(std::string_view text) {
    if (state_ != State::handshake) return;  // no text inside the data flow
    std::string line(text);
    line += "\r\n";
    put_message(line);
    if (out_.size() - sent_ > limits_.max_output) abort("answers not taken by the client");
}

void SeedLinkSession::ok() {
    if (!batch_) reply("OK");
}

void SeedLinkSession::error(std::string_view code, std::string_view text) {
    if (protocol_ >= 4) {
        reply("ERROR " + std::string(code) + " " + std::string(text));
    } else if (extended_replies_) {
        if (!batch_) reply("ERROR\r" + std::string(code) + " " + std::string(text));
    } else if (!batch_) {
        reply("ERROR");
    }
}

void SeedLinkSession::check_timeout(std::int64_t now_ms) {
    if (!any_line_ && now_ms - last_command_ms_ >= limits_.first_command_timeout_ms) {
        abort("no command within " + std::to_string(limits_.first_command_timeout_ms / 1000) + " s");
    } else if ((state_ == State::handshake || state_ == State::done) &&
               now_ms - last_command_ms_ >= limits_.handshake_timeout_ms) {
        abort("no command for " + std::to_string(limits_.handshake_timeout_ms / 1000) + " s");
    }
}

void SeedLinkSession::receive(std::string_view bytes, std::int64_t now_ms, std::int64_t now_us) {
    for (char c : bytes) {
        if (closing_ || aborted()) return;
        if (c == '\r' || c == '\n') {
            if (!in_.empty()) {
                last_command_ms_ = now_ms;
                any_line_ = true;
                handle_line(in_, now_us);
            }
            in_.clear();
            continue;
        }
        in_ += c;
        if (in_.size() > max_command_length) {
            // A line without end: refused, and the connection goes.
            in_.clear();
            const bool was_batch = batch_;
            batch_ = false;
            error("LIMIT", "command line longer than 255 characters");
            batch_ = was_batch;
            closing_ = true;
        }
    }
}

void SeedLinkSession::handle_line(std::string_view line, std::int64_t now_us) {
    const ParsedCommand parsed = parse_command(line, protocol_);
    if (state_ != State::handshake) {
        // Inside the data flow only INFO and BYE are heard.
        if (parsed.status == ParseStatus::ok && (parsed.command.kind == CommandKind::info ||
                                                 parsed.command.kind == CommandKind::bye))
            handle(parsed.command, now_us);
        return;
    }
    switch (parsed.status) {
    case ParseStatus::ok:
        if (protocol_ >= 4) {
            handle_v4(parsed.command, now_us);
        } else {
            handle(parsed.command, now_us);
        }
        break;
    case ParseStatus::empty: break;
    case ParseStatus::unknown_command: error("UNSUPPORTED", "unknown command"); break;
    case ParseStatus::bad_arguments: error("ARGUMENTS", parsed.reason); break;
    default: error("ARGUMENTS", to_string(parsed.status)); break;
    }
}

void SeedLinkSession::reset_request() {
    selectors_.clear();
    action_ = Action::none;
    sequence_.reset();
    all_ = false;
    begin_us_.reset();
    end_us_.reset();
}

void SeedLinkSession::info(const Command& c, std::int64_t now_us) {
    const InfoLevel level = info_level_of(c.info_level);
    if (protocol_ >= 4) {
        const std::string json = info_json(level, identity_, ring_, c.words.size() > 0 ? c.words[0] : "",
                                           c.words.size() > 1 ? c.words[1] : "");
        const bool failed = level == InfoLevel::gaps || level == InfoLevel::unsupported;
        std::string packet;
        put_se_header(packet, 'J', failed ? 'E' : 'I', json.size(), 0, "");
        packet += json;
        put_message(packet);
    } else {
        const bool unsupported = level == InfoLevel::unsupported || level == InfoLevel::formats;
        const auto records = info_records(info_document(level, identity_, ring_), identity_.codes,
                                          unsupported, now_us);
        for (std::size_t i = 0; i < records.size(); ++i) {
            std::string packet(i + 1 < records.size() ? "SLINFO *" : "SLINFO  ");
            packet.append(reinterpret_cast<const char*>(records[i].bytes.data()), record_length);
            put_message(packet);
        }
    }
    if (out_.size() - sent_ > limits_.max_output) abort("answers not taken by the client");
}

void SeedLinkSession::handle(const Command& c, std::int64_t now_us) {
    const StreamCodes& codes = identity_.codes;
    auto pattern_matches = [](const std::string& pattern, const std::string& code) {
        if (pattern.size() != code.size()) return false;
        for (std::size_t i = 0; i < code.size(); ++i)
            if (pattern[i] != '?' && pattern[i] != code[i]) return false;
        return true;
    };
    // In multi-station mode the modifiers belong to the station named last.
    const bool station_usable = !multi_station_ || station_ok_;
    const bool first_command = !heard_command_;
    if (c.kind != CommandKind::hello && c.kind != CommandKind::info) heard_command_ = true;

    switch (c.kind) {
    case CommandKind::hello:
        put_message(identity_.software + " :: " + std::string(hello_capabilities()) + "\r\n" +
             identity_.organization + "\r\n");
        break;
    case CommandKind::cat:
        put_message(codes.network + " " + codes.station + " " + identity_.description + "\r\nEND\r\n");
        break;
    case CommandKind::bye: closing_ = true; break;
    case CommandKind::capabilities:
        for (const auto& word : c.words)
            if (word == "EXTREPLY" || word == "extreply") extended_replies_ = true;
        ok();
        break;
    case CommandKind::batch:
        ok();
        batch_ = true;
        break;
    case CommandKind::slproto:
        // Protocol 4.0 is chosen before anything else; 3.x is what speaks.
        if (c.words[0] == "4.0" && first_command) {
            protocol_ = 4;
            ok();
        } else if (c.words[0] == "3.1" || c.words[0] == "3.0" || c.words[0] == "3") {
            ok();
        } else if (c.words[0] == "4.0") {
            error("UNEXPECTED", "SLPROTO comes before any other command but HELLO");
        } else {
            error("UNSUPPORTED", "protocols 3.1 and 4.0 are offered");
        }
        break;
    case CommandKind::useragent:
    case CommandKind::auth:
    case CommandKind::endfetch: error("UNSUPPORTED", "a command of protocol 4.0: send SLPROTO 4.0 first"); break;
    case CommandKind::station:
        multi_station_ = true;
        station_ok_ = pattern_matches(c.station, codes.station) &&
                      (c.network.empty() || pattern_matches(c.network, codes.network));
        if (station_ok_) {
            station_claimed_ = true;
            reset_request();
            ok();
        } else {
            error("ARGUMENTS", "no such station");
        }
        break;
    case CommandKind::select:
        if (!station_usable) {
            error("UNEXPECTED", "no station selected");
        } else if (!c.selector) {
            selectors_.clear();
            ok();
        } else if (selectors_.size() >= limits_.max_selectors) {
            error("LIMIT", "too many selectors");
        } else {
            selectors_.push_back(*c.selector);
            ok();
        }
        break;
    case CommandKind::data:
    case CommandKind::fetch:
    case CommandKind::time:
        if (!station_usable) {
            error("UNEXPECTED", "no station selected");
            break;
        }
        action_ = c.kind == CommandKind::data    ? Action::data
                  : c.kind == CommandKind::fetch ? Action::fetch
                                                 : Action::time;
        sequence_ = c.sequence;
        begin_us_ = c.begin_us;
        end_us_ = c.end_us;
        if (multi_station_) {
            ok();
        } else {
            start_flow(action_ == Action::fetch);
        }
        break;
    case CommandKind::end:
        if (!multi_station_) {
            error("UNEXPECTED", "END follows STATION");
        } else {
            if (action_ == Action::none) action_ = Action::data;
            start_flow(action_ == Action::fetch);
        }
        break;
    case CommandKind::info: info(c, now_us); break;
    }
}

void SeedLinkSession::handle_v4(const Command& c, std::int64_t now_us) {
    if (c.kind != CommandKind::hello && c.kind != CommandKind::info && c.kind != CommandKind::useragent)
        heard_command_ = true;
    switch (c.kind) {
    case CommandKind::hello:
    case CommandKind::info:
    case CommandKind::bye: handle(c, now_us); break;
    case CommandKind::slproto:
        if (c.words[0] == "4.0") {
            ok();
        } else {
            error("UNSUPPORTED", "this connection speaks protocol 4.0");
        }
        break;
    case CommandKind::useragent:
        user_agent_.clear();
        for (const auto& word : c.words) user_agent_ += (user_agent_.empty() ? "" : " ") + word;
        ok();
        break;
    case CommandKind::auth: error("UNSUPPORTED", "no authentication: every stream is open"); break;
    case CommandKind::station: {
        if (station_commands_ >= limits_.max_stations) {
            error("LIMIT", "too many STATION commands");
            break;
        }
        station_commands_ += 1;
        multi_station_ = true;
        const bool matches = glob_matches(c.station, identity_.station_id());
        // A station already taken by an earlier STATION is not taken again.
        station_ok_ = matches && !station_claimed_;
        if (station_ok_) {
            station_claimed_ = true;
            reset_request();
        }
        if (matches || has_wildcard(c.station)) {
            ok();
        } else {
            error("ARGUMENTS", "no station " + c.station + " here; INFO STATIONS lists it");
        }
        break;
    }
    case CommandKind::select:
        if (!multi_station_) {
            error("UNEXPECTED", "SELECT follows STATION");
        } else if (station_ok_ && selectors_.size() >= limits_.max_selectors) {
            error("LIMIT", "too many selectors");
        } else {
            if (station_ok_) selectors_.push_back(*c.selector);
            ok();
        }
        break;
    case CommandKind::data:
        if (!multi_station_) {
            error("UNEXPECTED", "DATA follows STATION");
            break;
        }
        if (station_ok_) {
            action_ = Action::data;
            sequence_ = c.sequence;
            all_ = c.all;
            begin_us_ = c.begin_us;
            end_us_ = c.end_us;
        }
        ok();
        break;
    case CommandKind::end:
    case CommandKind::endfetch:
        if (action_ == Action::none) action_ = Action::data;
        start_flow(c.kind == CommandKind::endfetch);
        break;
    case CommandKind::cat:
    case CommandKind::batch:
    case CommandKind::capabilities:
    case CommandKind::fetch:
    case CommandKind::time:
        error("UNSUPPORTED", "a command of protocol 3.1 only");
        break;
    }
}

void SeedLinkSession::start_flow(bool dialup) {
    const std::uint64_t first = ring_.first_number();
    const std::uint64_t next = ring_.next_number();
    if (protocol_ >= 4) {
        if (all_) {
            cursor_ = first;
        } else if (sequence_) {
            // Gone already: the oldest held; still to come: the next one.
            cursor_ = std::clamp(*sequence_, first, next);
        } else {
            cursor_ = next;
        }
    } else if (sequence_) {
        // The record asked for, or the nearest one held after it.
        const auto held = ring_.number_of(RecordRing::wrap(static_cast<std::uint32_t>(*sequence_)));
        cursor_ = held ? *held : first;
    } else if (action_ == Action::time) {
        cursor_ = first;
    } else {
        cursor_ = next;
    }
    state_ = dialup || (action_ == Action::time && end_us_) ? State::dialup : State::realtime;
    pump();
}

bool SeedLinkSession::wanted(const Record& record) const {
    if (record.channel == 0) return false;
    if (multi_station_ && !station_claimed_) return false;
    if (begin_us_ && record.end_us < *begin_us_) return false;
    if (end_us_ && record.start_us >= *end_us_) return false;
    bool any_positive = false;
    bool positive_match = false;
    for (const auto& s : selectors_) {
        if (s.negative) {
            if (s.matches(record)) return false;
        } else {
            any_positive = true;
            positive_match = positive_match || s.matches(record);
        }
    }
    return !any_positive || positive_match;
}

void SeedLinkSession::append_packet(std::uint64_t number, const Record& record) {
    std::string header;
    if (protocol_ >= 4) {
        put_se_header(header, '2', record.type, record_length, number, identity_.station_id());
    } else {
        char text[9];
        std::snprintf(text, sizeof text, "SL%06X", static_cast<unsigned>(RecordRing::wrap(static_cast<std::uint32_t>(number))));
        header.assign(text, 8);
    }
    out_.append(header);
    out_.append(reinterpret_cast<const char*>(record.bytes.data()), record.bytes.size());
    message_ends_.push_back(out_.size());
    packets_ += 1;
}

void SeedLinkSession::pump() {
    if (state_ != State::realtime && state_ != State::dialup) return;
    if (aborted() || closing_) return;
    if (cursor_ < ring_.first_number()) {
        abort("fell behind the records held for it");
        return;
    }
    const std::size_t header = protocol_ >= 4 ? 17 + identity_.station_id().size() : 8;
    while (out_.size() - sent_ + header + record_length <= limits_.max_queued) {
        const Record* record = ring_.find_number(cursor_);
        if (!record) break;
        const std::uint64_t number = cursor_++;
        if (!wanted(*record)) continue;
        append_packet(number, *record);
    }
    if (cursor_ == ring_.next_number()) {
        bool finished = state_ == State::dialup && (action_ == Action::fetch || protocol_ >= 4);
        if (!finished && end_us_ && !ring_.empty()) {
            const Record* newest = ring_.find_number(ring_.next_number() - 1);
            finished = newest && newest->start_us >= *end_us_;
        }
        if (finished) {
            put_message("END");
            state_ = State::done;
        }
    }
}

}  // namespace tw::stream
