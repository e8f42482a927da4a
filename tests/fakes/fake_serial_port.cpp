#include "fakes/fake_serial_port.h"

#include <algorithm>
#include <climits>

namespace tw::fakes {

void FakeSerialPort::feed(std::string_view bytes) {
    input_.append(bytes);
}

void FakeSerialPort::deliver(std::string_view bytes) {
    feed(bytes);
    notify_data_ready();
}

void FakeSerialPort::notify_data_ready() {
    if (open_ && data_ready_handler_) data_ready_handler_();
}

void FakeSerialPort::add_reply(std::string written, std::string reply) {
    replies_.emplace_back(std::move(written), std::move(reply));
}

void FakeSerialPort::make_open_fail(int number, std::string message) {
    open_failures_[number] = std::move(message);
}

void FakeSerialPort::unplug(std::string message) {
    if (!open_) return;
    if (message.empty())
        message = "lost the connection to " + device_name() + ": the device hung up (unplugged or closed)";
    open_ = false;
    if (auto handler = failure_handler_) handler(message);
}

std::string FakeSerialPort::written() const {
    std::string all;
    for (const auto& bytes : writes_) all += bytes;
    return all;
}

std::string FakeSerialPort::device_name() const {
    return "/dev/ttyS" + std::to_string(port_number_ - 1);
}

bool FakeSerialPort::set_line_settings(std::string_view settings) {
    // The same shape the real port accepts: speed,parity,data bits,stop bits.
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const auto comma = settings.find(',', start);
        fields.push_back(settings.substr(start, comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (fields.size() != 4) return false;
    const auto digits = [](std::string_view s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(fields[0]) || fields[0].find_first_not_of('0') == std::string_view::npos)
        return false;
    if (fields[1].size() != 1 || std::string_view("nNeEoOmMsS").find(fields[1][0]) == std::string_view::npos)
        return false;
    if (fields[2].size() != 1 || fields[2][0] < '5' || fields[2][0] > '8') return false;
    if (fields[3] != "1" && fields[3] != "2") return false;
    line_settings_ = std::string(settings);
    return true;
}

bool FakeSerialPort::open(std::string* error) {
    ++open_calls;
    auto failure = open_failures_.find(port_number_);
    if (failure == open_failures_.end()) failure = open_failures_.find(0);
    if (failure != open_failures_.end()) {
        open_ = false;
        if (error) *error = failure->second;
        return false;
    }
    open_ = true;
    opened_settings.push_back(line_settings_);
    opened_ports.push_back(port_number_);
    return true;
}

void FakeSerialPort::close() {
    if (!open_) return;
    open_ = false;
    ++close_calls;
}

int FakeSerialPort::bytes_waiting() {
    return open_ ? static_cast<int>(std::min<std::size_t>(input_.size(), INT_MAX)) : 0;
}

void FakeSerialPort::flush_input() {
    ++flush_calls;
    input_.clear();
}

std::string FakeSerialPort::take(std::size_t max_bytes) {
    if (!open_) return {};
    const std::size_t count = std::min(max_bytes, input_.size());
    std::string bytes = input_.substr(0, count);
    input_.erase(0, count);
    return bytes;
}

std::string FakeSerialPort::read() {
    return take(read_length_ > 0 ? static_cast<std::size_t>(read_length_) : input_.size());
}

std::string FakeSerialPort::read_available(std::size_t max_bytes) {
    return take(max_bytes);
}

bool FakeSerialPort::write(std::string_view bytes) {
    if (!open_ || refuse_writes) return false;
    writes_.emplace_back(bytes);
    for (const auto& [expected, reply] : replies_)
        if (bytes == expected) feed(reply);
    if (on_write) on_write(bytes);
    return true;
}

}  // namespace tw::fakes
