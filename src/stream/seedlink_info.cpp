#include "stream/seedlink_info.h"

#include <libmseed.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>

namespace tw::stream {

namespace {

std::string hex6(std::uint32_t n) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", n & 0xFFFFFFu);
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

}  // namespace

InfoLevel info_level_of(std::string_view level) {
    if (level == "ID") return InfoLevel::id;
    if (level == "CAPABILITIES") return InfoLevel::capabilities;
    if (level == "STATIONS") return InfoLevel::stations;
    if (level == "STREAMS") return InfoLevel::streams;
    return InfoLevel::unsupported;
}

std::string_view hello_capabilities() {
    return "SLPROTO:3.1 MULTISTATION TIME INFO:ID INFO:CAPABILITIES INFO:STATIONS INFO:STREAMS";
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

std::string info_document(InfoLevel level, const ServerIdentity& identity,
                          const RecordRing& ring) {
    std::string xml = "<?xml version=\"1.0\"?>\n<seedlink software=\"" +
                      xml_escape(identity.software) + "\" organization=\"" +
                      xml_escape(identity.organization) + "\" started=\"" +
                      protocol_time_text(identity.started_us) + "\"";
    if (level == InfoLevel::id || level == InfoLevel::unsupported) return xml + "/>\n";
    xml += ">\n";
    if (level == InfoLevel::capabilities) {
        for (const char* name : {"dialup", "multistation", "window-extraction", "info:id",
                                 "info:capabilities", "info:stations", "info:streams"})
            xml += std::string(" <capability name=\"") + name + "\"/>\n";
        return xml + "</seedlink>\n";
    }
    xml += " <station name=\"" + xml_escape(identity.codes.station) + "\" network=\"" +
           xml_escape(identity.codes.network) + "\" description=\"" +
           xml_escape(identity.description) + "\" begin_seq=\"" + hex6(ring.oldest()) +
           "\" end_seq=\"" + hex6(ring.next()) + "\" stream_check=\"enabled\"";
    if (level == InfoLevel::stations) return xml + "/>\n</seedlink>\n";
    xml += ">\n";
    // Streams in the order of their codes, with the times the ring covers.
    using Key = std::tuple<std::string, std::string, char>;
    std::map<Key, std::pair<std::int64_t, std::int64_t>> streams;
    for (std::size_t back = ring.size(); back > 0; --back) {
        const Record* r = ring.find(RecordRing::wrap(ring.next() - static_cast<std::uint32_t>(back)));
        if (!r || r->channel == 0) continue;
        const Key key{code_text(r->location.data(), 2), code_text(r->seed_channel.data(), 3),
                      r->type};
        auto [it, fresh] = streams.try_emplace(key, r->start_us, r->end_us);
        if (!fresh) {
            it->second.first = std::min(it->second.first, r->start_us);
            it->second.second = std::max(it->second.second, r->end_us);
        }
    }
    for (const auto& [key, span] : streams) {
        const auto& [location, channel, type] = key;
        xml += "  <stream location=\"" + xml_escape(location) + "\" seedname=\"" +
               xml_escape(channel) + "\" type=\"" + std::string(1, type) + "\" begin_time=\"" +
               protocol_time_text(span.first) + "\" end_time=\"" + protocol_time_text(span.second) +
               "\" begin_recno=\"0\" end_recno=\"0\" gap_check=\"disabled\" gap_treshold=\"0\"/>\n";
    }
    return xml + " </station>\n</seedlink>\n";
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
