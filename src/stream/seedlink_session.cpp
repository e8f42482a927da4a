#include "stream/seedlink_session.h"

#include <cstdio>

namespace tw::stream {

SeedLinkSession::SeedLinkSession(const ServerIdentity& identity, const RecordRing& ring,
                                 SessionLimits limits, std::int64_t now_ms)
    : identity_(identity), ring_(ring), limits_(limits), last_command_ms_(now_ms) {}

void SeedLinkSession::abort(std::string reason) {
    if (abort_reason_.empty()) abort_reason_ = std::move(reason);
}

void SeedLinkSession::consumed(std::size_t bytes) {
    sent_ += std::min(bytes, out_.size() - sent_);
    if (sent_ == out_.size()) {
        out_.clear();
        sent_ = 0;
    } else if (sent_ >= 64 * 1024) {
        out_.erase(0, sent_);
        sent_ = 0;
    }
}

void SeedLinkSession::reply(std::string_view text) {
    if (state_ != State::handshake) return;  // no text inside the data flow
    out_.append(text);
    out_.append("\r\n");
    if (out_.size() - sent_ > limits_.max_output) abort("answers not taken by the client");
}

void SeedLinkSession::check_timeout(std::int64_t now_ms) {
    if ((state_ == State::handshake || state_ == State::done) &&
        now_ms - last_command_ms_ >= limits_.handshake_timeout_ms)
        abort("no command for " + std::to_string(limits_.handshake_timeout_ms / 1000) + " s");
}

void SeedLinkSession::receive(std::string_view bytes, std::int64_t now_ms, std::int64_t now_us) {
    for (char c : bytes) {
        if (closing_ || aborted()) return;
        if (c == '\r' || c == '\n') {
            if (!in_.empty()) {
                last_command_ms_ = now_ms;
                handle_line(in_, now_us);
            }
            in_.clear();
            continue;
        }
        in_ += c;
        if (in_.size() > max_command_length) {
            // A line without end: refused, and the connection goes.
            in_.clear();
            reply("ERROR");
            closing_ = true;
        }
    }
}

void SeedLinkSession::handle_line(std::string_view line, std::int64_t now_us) {
    const ParsedCommand parsed = parse_command(line);
    if (state_ != State::handshake) {
        // Inside the data flow only INFO and BYE are heard.
        if (parsed.status == ParseStatus::ok && (parsed.command.kind == CommandKind::info ||
                                                 parsed.command.kind == CommandKind::bye))
            handle(parsed.command, now_us);
        return;
    }
    switch (parsed.status) {
    case ParseStatus::ok: handle(parsed.command, now_us); break;
    case ParseStatus::empty: break;
    default: reply("ERROR"); break;
    }
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

    switch (c.kind) {
    case CommandKind::hello:
        reply(identity_.software + " :: " + std::string(hello_capabilities()));
        reply(identity_.organization);
        break;
    case CommandKind::cat:
        reply(codes.network + " " + codes.station + " " + identity_.description);
        reply("END");
        break;
    case CommandKind::bye: closing_ = true; break;
    case CommandKind::station:
        multi_station_ = true;
        station_ok_ = pattern_matches(c.station, codes.station) &&
                      (c.network.empty() || pattern_matches(c.network, codes.network));
        if (station_ok_) {
            selectors_.clear();
            action_ = Action::none;
            sequence_.reset();
            begin_us_.reset();
            end_us_.reset();
        }
        reply(station_ok_ ? "OK" : "ERROR");
        break;
    case CommandKind::select:
        if (!station_usable) {
            reply("ERROR");
        } else if (!c.selector) {
            selectors_.clear();
            reply("OK");
        } else if (selectors_.size() >= limits_.max_selectors) {
            reply("ERROR");
        } else {
            selectors_.push_back(*c.selector);
            reply("OK");
        }
        break;
    case CommandKind::data:
    case CommandKind::fetch:
    case CommandKind::time:
        if (!station_usable) {
            reply("ERROR");
            break;
        }
        action_ = c.kind == CommandKind::data    ? Action::data
                  : c.kind == CommandKind::fetch ? Action::fetch
                                                 : Action::time;
        sequence_ = c.sequence;
        begin_us_ = c.begin_us;
        end_us_ = c.end_us;
        if (multi_station_) {
            reply("OK");
        } else {
            start_flow();
        }
        break;
    case CommandKind::end:
        if (!multi_station_) {
            reply("ERROR");
        } else {
            if (action_ == Action::none) action_ = Action::data;
            start_flow();
        }
        break;
    case CommandKind::info: {
        const InfoLevel level = info_level_of(c.info_level);
        const auto records = info_records(info_document(level, identity_, ring_), codes,
                                          level == InfoLevel::unsupported, now_us);
        for (std::size_t i = 0; i < records.size(); ++i)
            append_packet(i + 1 < records.size() ? "SLINFO *" : "SLINFO  ", records[i]);
        if (out_.size() - sent_ > limits_.max_output) abort("answers not taken by the client");
        break;
    }
    }
}

void SeedLinkSession::start_flow() {
    if (sequence_) {
        const std::uint32_t wanted = RecordRing::wrap(*sequence_);
        // The record asked for, or the nearest one held after it.
        cursor_ = ring_.reaches(wanted) ? wanted : ring_.oldest();
    } else if (action_ == Action::time) {
        cursor_ = ring_.oldest();
    } else {
        cursor_ = ring_.next();
    }
    state_ = action_ == Action::fetch || (action_ == Action::time && end_us_) ? State::dialup
                                                                              : State::realtime;
    pump();
}

bool SeedLinkSession::wanted(const Record& record) const {
    if (record.channel == 0) return false;
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

void SeedLinkSession::append_packet(std::string_view header, const Record& record) {
    out_.append(header);
    out_.append(reinterpret_cast<const char*>(record.bytes.data()), record.bytes.size());
}

void SeedLinkSession::pump() {
    if (state_ != State::realtime && state_ != State::dialup) return;
    if (aborted() || closing_) return;
    if (!ring_.reaches(cursor_)) {
        abort("fell behind the records held for it");
        return;
    }
    while (out_.size() - sent_ + packet_length <= limits_.max_queued) {
        const Record* record = ring_.find(cursor_);
        if (!record) break;
        const std::uint32_t sequence = cursor_;
        cursor_ = RecordRing::wrap(cursor_ + 1);
        if (!wanted(*record)) continue;
        char header[9];
        std::snprintf(header, sizeof header, "SL%06X", sequence);
        append_packet(std::string_view(header, 8), *record);
    }
    if (state_ == State::dialup && cursor_ == ring_.next()) {
        bool finished = action_ == Action::fetch;
        if (!finished && end_us_ && !ring_.empty()) {
            const Record* newest = ring_.find(RecordRing::wrap(ring_.next() - 1));
            finished = newest && newest->start_us >= *end_us_;
        }
        if (finished) {
            out_.append("END");
            state_ = State::done;
        }
    }
}

}  // namespace tw::stream
