#include "stream/seedlink_info.h"

#include "stream/seedlink_command.h"

#include <libmseed.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>

namespace tw::stream {

namespace {

std::string hex6(std::uint64_t n) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(n & 0xFFFFFFu));
    return text;
}

std::string code_text(const char* data, std::size_t size) {
    std::string text(data, size);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

void on_info_record(char* data, int length, void* out) {
    if (length != static_cast<int>(record_length)) return;
    auto& records = *static_cast<std::vector<Record>*>(out);
    Record record;
    std::memcpy(record.bytes.data(), data, record_length);
    records.push_back(record);
}

// A stream of the ring: its codes, and the time from the first sample held
// to the end of the last record (the time its next sample is due).
struct StreamSpan {
    std::string location, channel;
    char type = 'D';
    std::string id;  // LOC_B_S_SS
    std::int64_t begin_us = 0, end_us = 0;
};

std::vector<StreamSpan> streams_of(const RecordRing& ring) {
    using Key = std::tuple<std::string, std::string, char>;
    std::map<Key, StreamSpan> streams;
    for (std::uint64_t n = ring.first_number(); n < ring.next_number(); ++n) {
        const Record* r = ring.find_number(n);
        if (!r || r->channel == 0) continue;
        std::int64_t end = r->end_us;
        if (r->samples > 1 && r->end_us > r->start_us) end += (r->end_us - r->start_us) / (r->samples - 1);
        const Key key{code_text(r->location.data(), 2), code_text(r->seed_channel.data(), 3), r->type};
        auto [it, fresh] = streams.try_emplace(key);
        if (fresh) {
            it->second = {std::get<0>(key), std::get<1>(key), r->type, stream_id_of(*r), r->start_us, end};
        } else {
            it->second.begin_us = std::min(it->second.begin_us, r->start_us);
            it->second.end_us = std::max(it->second.end_us, end);
        }
    }
    std::vector<StreamSpan> out;
    for (auto& [key, span] : streams) out.push_back(span);
    return out;
}

std::string hello_line(const ServerIdentity& identity) {
    return identity.software + " :: " + std::string(hello_capabilities());
}

}  // namespace

InfoLevel info_level_of(std::string_view level) {
    if (level == "ID") return InfoLevel::id;
    if (level == "FORMATS") return InfoLevel::formats;
    if (level == "CAPABILITIES") return InfoLevel::capabilities;
    if (level == "STATIONS") return InfoLevel::stations;
    if (level == "STREAMS") return InfoLevel::streams;
    if (level == "GAPS") return InfoLevel::gaps;
    if (level == "CONNECTIONS") return InfoLevel::connections;
    return InfoLevel::unsupported;
}

std::string_view hello_capabilities() {
    return "SLPROTO:4.0 SLPROTO:3.1 CAP EXTREPLY MULTISTATION BATCH TIME INFO:ID INFO:CAPABILITIES "
           "INFO:STATIONS INFO:STREAMS INFO:GAPS INFO:CONNECTIONS WS:13";
}

std::string xml_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", b);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string iso_time_text(std::int64_t time_us) {
    const TimeParts t = time_parts(time_us);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.microsecond);
    return text;
}

std::string info_document(InfoLevel level, const ServerIdentity& identity,
                          const RecordRing& ring) {
    std::string xml = "<?xml version=\"1.0\"?>\n<seedlink software=\"" +
                      xml_escape(identity.software) + "\" organization=\"" +
                      xml_escape(identity.organization) + "\" started=\"" +
                      protocol_time_text(identity.started_us) + "\"";
    if (level == InfoLevel::id || level == InfoLevel::formats || level == InfoLevel::unsupported)
        return xml + "/>\n";
    xml += ">\n";
    if (level == InfoLevel::capabilities) {
        for (const char* name : {"dialup", "multistation", "window-extraction", "info:id",
                                 "info:capabilities", "info:stations", "info:streams", "info:gaps",
                                 "info:connections"})
            xml += std::string(" <capability name=\"") + name + "\"/>\n";
        return xml + "</seedlink>\n";
    }
    xml += " <station name=\"" + xml_escape(identity.codes.station) + "\" network=\"" +
           xml_escape(identity.codes.network) + "\" description=\"" +
           xml_escape(identity.description) + "\" begin_seq=\"" + hex6(ring.oldest()) +
           "\" end_seq=\"" + hex6(ring.next()) + "\" stream_check=\"enabled\"";
    if (level == InfoLevel::stations) return xml + "/>\n</seedlink>\n";
    xml += ">\n";
    if (level == InfoLevel::connections) {
        const auto clients = identity.connections ? identity.connections() : std::vector<ConnectionInfo>{};
        for (const auto& c : clients) {
            const auto colon = c.peer.rfind(':');
            xml += "  <connection host=\"" + xml_escape(c.peer.substr(0, colon)) + "\" port=\"" +
                   xml_escape(colon == std::string::npos ? "" : c.peer.substr(colon + 1)) +
                   "\" ctime=\"" + protocol_time_text(c.connected_us) + "\" begin_seq=\"" +
                   hex6(c.cursor) + "\" current_seq=\"" + hex6(c.cursor) +
                   "\" sequence_gaps=\"0\" txcount=\"" + std::to_string(c.packets) +
                   "\" totBytes=\"" + std::to_string(c.packets * (8 + record_length)) +
                   "\" begin_seq_valid=\"yes\" realtime=\"" + (c.dialup ? "no" : "yes") +
                   "\" end_of_data=\"no\"/>\n";
        }
        return xml + " </station>\n</seedlink>\n";
    }
    // Streams (and, for GAPS, their gaps: the ring holds every record of a
    // stream back to back, so there are none to list).
    for (const auto& s : streams_of(ring)) {
        xml += "  <stream location=\"" + xml_escape(s.location) + "\" seedname=\"" +
               xml_escape(s.channel) + "\" type=\"" + std::string(1, s.type) + "\" begin_time=\"" +
               protocol_time_text(s.begin_us) + "\" end_time=\"" + protocol_time_text(s.end_us) +
               "\" begin_recno=\"0\" end_recno=\"0\" gap_check=\"" +
               (level == InfoLevel::gaps ? "enabled" : "disabled") + "\" gap_treshold=\"0\"/>\n";
    }
    return xml + " </station>\n</seedlink>\n";
}

std::string info_json(InfoLevel level, const ServerIdentity& identity, const RecordRing& ring,
                      std::string_view station_pattern, std::string_view stream_pattern) {
    std::string json = "{\"software\":" + json_string(hello_line(identity)) +
                       ",\"organization\":" + json_string(identity.organization);
    switch (level) {
    case InfoLevel::id: break;
    case InfoLevel::formats:
        json += ",\"format\":{\"2\":{\"mimetype\":\"application/vnd.fdsn.mseed\",\"subformat\":"
                "{\"D\":\"data\",\"L\":\"log\"}},\"J\":{\"mimetype\":\"application/json\","
                "\"subformat\":{\"I\":\"seedlink-info\",\"E\":\"seedlink-error\"}}},"
                "\"filter\":{\"native\":\"records as they are packed\"}";
        break;
    case InfoLevel::capabilities:
        json += ",\"capability\":[\"SLPROTO:4.0\",\"SLPROTO:3.1\",\"TIME\",\"SEQWILDCARD\"]";
        break;
    case InfoLevel::stations:
    case InfoLevel::streams: {
        json += ",\"station\":[";
        if (station_pattern.empty() || glob_matches(station_pattern, identity.station_id())) {
            json += "{\"id\":" + json_string(identity.station_id()) +
                    ",\"description\":" + json_string(identity.description) +
                    ",\"start_seq\":" + std::to_string(ring.first_number()) +
                    ",\"end_seq\":" + std::to_string(ring.next_number()) + ",\"backfill\":0";
            if (level == InfoLevel::streams) {
                // STREAM[.FS]: the stream pattern, then the format one.
                std::string_view pattern = stream_pattern, format;
                if (const auto dot = pattern.find('.'); dot != std::string_view::npos) {
                    format = pattern.substr(dot + 1);
                    pattern = pattern.substr(0, dot);
                }
                json += ",\"stream\":[";
                bool first = true;
                for (const auto& s : streams_of(ring)) {
                    const char fs[2] = {'2', s.type};
                    if (!pattern.empty() && !glob_matches(pattern, s.id)) continue;
                    if (!format.empty() && !glob_matches(format, std::string_view(fs, 2), true)) continue;
                    json += std::string(first ? "" : ",") + "{\"id\":" + json_string(s.id) +
                            ",\"format\":\"2\",\"subformat\":\"" + std::string(1, s.type) +
                            "\",\"origin\":\"native\",\"start_time\":\"" + iso_time_text(s.begin_us) +
                            "\",\"end_time\":\"" + iso_time_text(s.end_us) + "\"}";
                    first = false;
                }
                json += "]";
            }
            json += "}";
        }
        json += "]";
        break;
    }
    case InfoLevel::connections: {
        const auto clients = identity.connections ? identity.connections() : std::vector<ConnectionInfo>{};
        json += ",\"connections\":{\"count\":" + std::to_string(clients.size()) + ",\"client\":[";
        // The fields the reference client's formatted listing reads.
        for (std::size_t i = 0; i < clients.size(); ++i) {
            const auto& c = clients[i];
            const auto colon = c.peer.rfind(':');
            const std::string host = c.peer.substr(0, colon);
            const std::string port = colon == std::string::npos ? "" : c.peer.substr(colon + 1);
            json += std::string(i ? "," : "") + "{\"host\":" + json_string(host) +
                    ",\"ip_address\":" + json_string(host) + ",\"client_port\":" + json_string(port) +
                    ",\"type\":" + json_string(std::string("SeedLink ") + (c.protocol >= 4 ? "4.0" : "3.1") +
                                                (c.transport == "websocket" ? " over WebSocket" : "")) +
                    ",\"connect_time\":\"" + iso_time_text(c.connected_us) +
                    "\",\"client_id\":" + json_string(c.user_agent) + ",\"state\":\"" +
                    (!c.streaming ? "handshake" : c.dialup ? "dialup" : "realtime") +
                    "\",\"current_seq\":" + std::to_string(c.cursor) +
                    ",\"transmit_packets\":" + std::to_string(c.packets) +
                    ",\"transmit_bytes\":" + std::to_string(c.packets * record_length) + "}";
        }
        json += "]}";
        break;
    }
    case InfoLevel::gaps:
    case InfoLevel::unsupported:
        json += ",\"error\":{\"code\":\"ARGUMENTS\",\"message\":\"INFO gives ID, FORMATS, "
                "CAPABILITIES, STATIONS, STREAMS and CONNECTIONS\"}";
        break;
    }
    return json + "}";
}

std::vector<Record> info_records(const std::string& document, const StreamCodes& codes,
                                 bool error, std::int64_t time_us) {
    std::vector<Record> records;
    if (document.empty()) return records;
    MSRecord* msr = msr_init(nullptr);
    std::snprintf(msr->network, sizeof msr->network, "%.2s", codes.network.c_str());
    std::snprintf(msr->station, sizeof msr->station, "INFO");
    std::snprintf(msr->channel, sizeof msr->channel, "%s", error ? "ERR" : "INF");
    msr->dataquality = 'D';
    msr->reclen = static_cast<int32_t>(record_length);
    msr->encoding = DE_ASCII;
    msr->byteorder = 1;
    msr->sampletype = 'a';
    msr->samprate = 0;
    msr->starttime = time_us;
    std::string text = document;
    msr->datasamples = text.data();
    msr->numsamples = static_cast<int64_t>(text.size());
    msr->samplecnt = msr->numsamples;
    int64_t packed = 0;
    msr_pack(msr, on_info_record, &records, &packed, 1, 0);
    msr->datasamples = nullptr;
    msr->numsamples = 0;
    msr_free(&msr);
    for (auto& r : records) {
        r.channel = 0;
        r.type = 'L';
        r.start_us = r.end_us = time_us;
    }
    return records;
}

}  // namespace tw::stream
