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
    // Remembered for what the test checks; the real port's parsing is its own test's.
    if (std::count(settings.begin(), settings.end(), ',') != 3) return false;
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
