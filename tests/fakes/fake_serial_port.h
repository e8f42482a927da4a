#pragma once
// A scripted serial port for unit tests. The test feeds the bytes "the board"
// sends and reads back what the program wrote; nothing happens by itself.

#include "platform/serial_port.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tw::fakes {

class FakeSerialPort : public platform::SerialPort {
public:
    // --- scripting -------------------------------------------------------
    // Appends bytes to the receive buffer (whether or not the port is open).
    // The data-ready handler is not called: use deliver() for that.
    void feed(std::string_view bytes);
    // feed(), then the data-ready handler when the port is open.
    void deliver(std::string_view bytes);
    // Calls the data-ready handler (when set and the port is open).
    void notify_data_ready();
    // Each time exactly `written` is written, `reply` is fed.
    void add_reply(std::string written, std::string reply);
    // Opening port `number` fails with `message`; number 0 = every port.
    void make_open_fail(int number, std::string message);
    void clear_open_failures() { open_failures_.clear(); }
    // The device fails under the program: the port closes and the failure
    // handler gets `message` (default "lost the connection to <device>: the
    // device hung up (unplugged or closed)").
    void unplug(std::string message = {});

    // Everything written while open, as one string and per write call.
    std::string written() const;
    const std::vector<std::string>& writes() const { return writes_; }
    void clear_written() { writes_.clear(); }

    // Called after each accepted write, with its bytes (after add_reply).
    std::function<void(std::string_view)> on_write;
    // Writes return false (and are not recorded) while set.
    bool refuse_writes = false;

    // What the program did.
    int open_calls = 0;           // successful or not
    int close_calls = 0;          // of an open port
    int flush_calls = 0;
    std::vector<std::string> opened_settings;  // line settings at each successful open
    std::vector<int> opened_ports;             // port number at each successful open
    int read_length() const { return read_length_; }
    ReadMode read_mode() const { return read_mode_; }

    // --- SerialPort --------------------------------------------------------
    void set_port_number(int number) override { port_number_ = number; }
    int port_number() const override { return port_number_; }
    std::string device_name() const override;
    bool set_line_settings(std::string_view settings) override;
    std::string line_settings() const override { return line_settings_; }
    void set_read_length(int units) override { read_length_ = units; }
    void set_read_mode(ReadMode mode) override { read_mode_ = mode; }
    bool open(std::string* error) override;
    void close() override;
    bool is_open() const override { return open_; }
    int bytes_waiting() override;
    int input_buffer_size() const override { return 16384; }
    void flush_input() override;
    std::string read() override;
    std::string read_available(std::size_t max_bytes) override;
    bool write(std::string_view bytes) override;
    void set_data_ready_handler(std::function<void()> handler) override {
        data_ready_handler_ = std::move(handler);
    }
    void set_failure_handler(std::function<void(const std::string&)> handler) override {
        failure_handler_ = std::move(handler);
    }

private:
    std::string take(std::size_t max_bytes);

    int port_number_ = 1;
    std::string line_settings_ = "9600,n,8,1";
    int read_length_ = 0;
    ReadMode read_mode_ = ReadMode::binary;
    bool open_ = false;
    std::string input_;
    std::vector<std::string> writes_;
    std::vector<std::pair<std::string, std::string>> replies_;
    std::map<int, std::string> open_failures_;
    std::function<void()> data_ready_handler_;
    std::function<void(const std::string&)> failure_handler_;
};

}  // namespace tw::fakes
