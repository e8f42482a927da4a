#include "stream/datalink_session.h"

#include <charconv>
#include <strings.h>

namespace tw::stream {

namespace {

constexpr std::size_t preheader = 3;

// Text from the server as it may appear in a message: printable ASCII,
// at most 120 characters.
std::string printable(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 120)) out += (c >= 32 && c < 127) ? c : '?';
    if (text.size() > 120) out += "...";
    return out;
}

std::string_view word(std::string_view text, std::size_t n) {
    std::size_t at = 0;
    for (std::size_t k = 0;; ++k) {
        while (at < text.size() && text[at] == ' ') ++at;
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (k == n || at >= text.size()) return text.substr(at, end - at);
        at = end;
    }
}

// The number after "NAME:" in a capability list, -1 when absent or bad.
long capability_number(std::string_view capabilities, std::string_view name) {
    const auto at = capabilities.find(name);
    if (at == std::string_view::npos) return -1;
    const std::string_view rest = capabilities.substr(at + name.size());
    long value = -1;
    if (std::from_chars(rest.data(), rest.data() + rest.size(), value).ec != std::errc()) return -1;
    return value;
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && ::strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

DataLinkSession::DataLinkSession(const std::string& client_id, std::int64_t now_ms)
    : waiting_since_ms_(now_ms) {
    queue_packet("ID " + client_id.substr(0, 240), {});
}

std::string DataLinkSession::stream_id(std::string_view network, std::string_view station,
                                       const Record& record) {
    std::string id;
    id.reserve(24);
    id.append(network).append("_").append(station).append("_");
    for (const char c : record.location)
        if (c != ' ') id += c;
    id += '_';
    for (const char c : record.seed_channel)
        if (c != ' ') id += c;
    id += "/MSEED";
    return id;
}

void DataLinkSession::queue_packet(std::string_view header, std::string_view data) {
    output_ += "DL";
    output_ += static_cast<char>(static_cast<unsigned char>(header.size()));
    output_.append(header);
    output_.append(data);
}

void DataLinkSession::write(const Record& record, std::string_view stream_id, std::int64_t now_ms) {
    if (!can_write()) return;
    if (in_flight_.empty()) waiting_since_ms_ = now_ms;
    std::string header = "WRITE ";
    header.append(stream_id);
    header += ' ' + std::to_string(record.start_us) + ' ' + std::to_string(record.end_us) + " A " +
              std::to_string(record.bytes.size());
    queue_packet(header, std::string_view(reinterpret_cast<const char*>(record.bytes.data()),
                                          record.bytes.size()));
    in_flight_.push_back(now_ms);
}

std::size_t DataLinkSession::take_acknowledged() {
    const std::size_t n = acknowledged_;
    acknowledged_ = 0;
    return n;
}

void DataLinkSession::fail(std::string why) {
    if (phase_ == Phase::failed) return;
    phase_ = Phase::failed;
    failure_ = std::move(why);
    output_.clear();
}

void DataLinkSession::check_timeout(std::int64_t now_ms) {
    const bool owed = phase_ == Phase::identifying || (phase_ == Phase::ready && !in_flight_.empty());
    if (owed && now_ms - waiting_since_ms_ >= reply_timeout_ms)
        fail("no answer from the server for " + std::to_string(reply_timeout_ms / 1000) + " s");
}

void DataLinkSession::receive(std::string_view bytes, std::int64_t now_ms) {
    if (phase_ == Phase::failed) return;
    input_.append(bytes);
    const std::size_t before = acknowledged_;
    const Phase phase_before = phase_;
    while (take_packet()) {
    }
    if (acknowledged_ != before || phase_ != phase_before) waiting_since_ms_ = now_ms;
}

bool DataLinkSession::take_packet() {
    if (phase_ == Phase::failed || input_.size() < preheader) return false;
    if (input_[0] != 'D' || input_[1] != 'L') {
        fail("the server sent bytes that are not DataLink packets (\"" +
             printable(std::string_view(input_).substr(0, 16)) + "\")");
        return false;
    }
    const auto header_length = static_cast<std::size_t>(static_cast<unsigned char>(input_[2]));
    if (header_length == 0) {
        fail("the server sent a DataLink packet without a header");
        return false;
    }
    if (input_.size() < preheader + header_length) return false;
    const std::string_view header = std::string_view(input_).substr(preheader, header_length);
    // OK, ERROR and INFO name the size of their data third, PACKET last.
    std::size_t size = 0;
    const std::string_view type = word(header, 0);
    std::string_view size_word;
    if (type == "OK" || type == "ERROR" || type == "INFO") {
        size_word = word(header, 2);
    } else if (type == "PACKET") {
        size_word = header.substr(header.rfind(' ') + 1);
    }
    if (!size_word.empty()) {
        unsigned long long n = 0;
        const auto [end, ec] = std::from_chars(size_word.data(), size_word.data() + size_word.size(), n);
        if (ec != std::errc() || end != size_word.data() + size_word.size() || n > max_message) {
            fail("the server sent a packet the station cannot take (\"" + printable(header) + "\")");
            return false;
        }
        size = static_cast<std::size_t>(n);
    }
    if (input_.size() < preheader + header_length + size) return false;
    const std::string packet = input_.substr(0, preheader + header_length + size);
    input_.erase(0, packet.size());
    handle(std::string_view(packet).substr(preheader, header_length),
           std::string_view(packet).substr(preheader + header_length));
    return phase_ != Phase::failed;
}

void DataLinkSession::handle(std::string_view header, std::string_view data) {
    const std::string_view type = word(header, 0);
    if (phase_ == Phase::identifying) {
        if (!starts_with_nocase(header, "ID DATALINK")) {
            fail("the server did not answer as a DataLink server (\"" + printable(header) + "\")");
            return;
        }
        const auto marks = header.find("::");
        std::string_view who = header.substr(3, marks == std::string_view::npos ? header.size() : marks - 3);
        while (!who.empty() && who.back() == ' ') who.remove_suffix(1);
        server_id_ = printable(who);
        std::string_view capabilities =
            marks == std::string_view::npos ? std::string_view() : header.substr(marks + 2);
        while (!capabilities.empty() && capabilities.front() == ' ') capabilities.remove_prefix(1);
        packet_size_ = std::max(capability_number(capabilities, "PACKETSIZE:"), 0L);
        if (capabilities.find("WRITE") == std::string_view::npos) {
            fail("the server does not let this station write (it grants \"" +
                 printable(capabilities) + "\")");
        } else if (packet_size_ > 0 && packet_size_ < static_cast<long>(record_length)) {
            fail("the server takes packets of at most " + std::to_string(packet_size_) +
                 " bytes, the station's records have " + std::to_string(record_length));
        } else {
            phase_ = Phase::ready;
        }
        return;
    }
    if (type == "OK" && !in_flight_.empty()) {
        in_flight_.pop_front();
        acknowledged_ += 1;
    } else if (type == "ERROR" && !in_flight_.empty()) {
        refused_ = true;
        fail("the server refused a record: " + (data.empty() ? printable(header) : printable(data)));
    } else {
        fail("the server sent a packet the station did not ask for (\"" + printable(header) + "\")");
    }
}

}  // namespace tw::stream
