#pragma once
// The serial line over Qt's QSerialPort.
//
// QSerialPort opens and locks the device, sets the line and sends. The
// receiving side is read here, from a second descriptor of the same device,
// so that the port decides itself when the event loop watches the line (see
// data_ready_hold_ms).
//
// Received bytes are counted where they really are: in the port's own buffer
// and in the kernel's tty queue. Reads and bytes_waiting() therefore give the
// right answer even when the event loop has not run since the bytes arrived,
// and a read never waits for the line.

#include "platform/serial_port.h"

#include <cstdint>
#include <memory>
#include <string>

class QSerialPort;
class QSocketNotifier;
class QTimer;

namespace tw::platform {

// Speed, parity, data bits and stop bits of a line settings text such as
// "9600,n,8,1".
struct LineSettings {
    int speed = 9600;
    char parity = 'n';  // 'n', 'e', 'o', 'm' (mark) or 's' (space)
    int data_bits = 8;  // 5..8
    int stop_bits = 1;  // 1 or 2
};

// Reads "speed,parity,data bits,stop bits"; spaces around the fields and the
// case of the parity letter do not matter. False for anything else.
bool parse_line_settings(std::string_view text, LineSettings* settings);
// The text of `settings` in its usual form: "14400,n,8,1".
std::string line_settings_text(const LineSettings& settings);

class QtSerialPort : public SerialPort {
public:
    // `device_override` is used for every port number when not empty
    // (the --port option); otherwise port N is /dev/ttyS(N-1).
    explicit QtSerialPort(std::string device_override = {});
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    // The logical capacity of the receive buffer that housekeeping watches.
    static constexpr int receive_capacity = 16384;

    // After a data-ready notification the port stops watching the line for
    // this long (milliseconds), then looks again: new bytes get one
    // notification, otherwise watching resumes. A board sends a burst every
    // 10 ms at its fastest; waking the program for each burst costs far more
    // in context switches than the handling itself, and one wake-up per 40 ms
    // takes that cost down about four times. The delay is far below anything
    // the program cares about: the board sends one time packet per second and
    // receive_capacity holds more than 4 s of the fastest data. An idle line
    // is only watched: no timer runs.
    static constexpr int data_ready_hold_ms = 40;

    void set_port_number(int number) override;
    int port_number() const override { return port_number_; }
    std::string device_name() const override;

    bool set_line_settings(std::string_view settings) override;
    std::string line_settings() const override;
    // 0 or less: a read returns everything waiting.
    void set_read_length(int units) override { read_length_ = units; }
    // Both modes return the received bytes unchanged.
    void set_read_mode(ReadMode mode) override { read_mode_ = mode; }

    bool open(std::string* error) override;
    void close() override;
    bool is_open() const override;

    int bytes_waiting() override;
    int input_buffer_size() const override { return receive_capacity; }
    void flush_input() override;

    std::string read() override;
    std::string read_available(std::size_t max_bytes) override;
    bool write(std::string_view bytes) override;

    void set_data_ready_handler(std::function<void()> handler) override;
    void set_failure_handler(std::function<void(const std::string&)> handler) override;

private:
    std::string take(std::size_t max_bytes);
    std::size_t buffered() const { return received_.size() - received_at_; }
    int kernel_bytes_waiting();
    // Moves what the kernel holds into the port's buffer without waiting.
    void drain_kernel();
    // The line became readable while watched.
    void on_readable();
    // The hold after a notification is over.
    void on_hold_end();
    // Calls the data-ready handler, then holds.
    void deliver_data_ready();
    void on_error(int qt_error);
    // True when the open device no longer answers (hung up, unplugged).
    bool device_gone() const;
    // Closes the port and reports `reason` once, from the event loop.
    void schedule_failure(const std::string& reason);

    std::string device_override_;
    int port_number_ = 1;
    LineSettings settings_;
    int read_length_ = 0;
    ReadMode read_mode_ = ReadMode::binary;
    std::unique_ptr<QSerialPort> port_;  // opened for writing only
    int fd_ = -1;                        // the descriptor the port reads
    std::unique_ptr<QSocketNotifier> read_notifier_;  // enabled while watching
    std::unique_ptr<QTimer> hold_timer_;              // runs only while holding
    std::string received_;         // drained from the kernel; unread from received_at_
    std::size_t received_at_ = 0;
    bool unannounced_ = false;     // the buffer holds bytes no notification announced
    std::function<void()> data_ready_handler_;
    std::function<void(const std::string&)> failure_handler_;
    std::string open_device_;        // the device of the current open
    std::uint64_t open_serial_ = 0;  // changes at every open and close
    bool failing_ = false;           // a failure is reported, the port closes
    int errors_without_data_ = 0;
};

}  // namespace tw::platform
