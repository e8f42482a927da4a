#pragma once
// The serial line to the A/D board.
//
// Calling order: line settings, read length and read mode are set while the
// port is closed; the port is then opened and polled. Writes may happen at
// any time while it is open. Every call comes from the one program thread.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tw::platform {

class SerialPort {
public:
    enum class ReadMode { binary, text };

    virtual ~SerialPort() = default;

    // Port numbers 1..4 name /dev/ttyS0..3 unless a device was named on the
    // command line. Takes effect at the next open.
    virtual void set_port_number(int number) = 0;
    virtual int port_number() const = 0;
    // The device the next open will use, for messages ("/dev/ttyS0").
    virtual std::string device_name() const = 0;

    // "9600,n,8,1", "14400,n,8,1", "19200,n,8,1" or "38400,n,8,1".
    // Takes effect at the next open. Returns false for a text it cannot use.
    virtual bool set_line_settings(std::string_view settings) = 0;
    virtual std::string line_settings() const = 0;
    // A read returns at most this many bytes (1 for the binary boards, 8 for
    // the text boards).
    virtual void set_read_length(int units) = 0;
    virtual void set_read_mode(ReadMode mode) = 0;

    // Fails when the device does not exist or is in use; `error` then says
    // what failed and on which device ("cannot open /dev/ttyS2: No such file
    // or directory").
    virtual bool open(std::string* error) = 0;
    // Closing an open port always succeeds; closing a closed port does nothing.
    virtual void close() = 0;
    virtual bool is_open() const = 0;

    // Received bytes not yet read, at the moment of the call.
    virtual int bytes_waiting() = 0;
    // Logical capacity of the receive buffer in bytes; the housekeeping
    // compares bytes_waiting() with fractions of it.
    virtual int input_buffer_size() const = 0;
    // Discards every byte received so far; bytes_waiting() becomes 0.
    virtual void flush_input() = 0;

    // Returns what is waiting, at most the read length, without blocking.
    // Nothing is returned twice; an empty string means nothing was waiting.
    virtual std::string read() = 0;
    // As read(), but at most `max_bytes` whatever the read length: the
    // acquisition engine takes a whole burst at once.
    virtual std::string read_available(std::size_t max_bytes) = 0;

    // Queues all bytes for sending, in order, without waiting for an answer.
    // False when the port is closed or the device refused them.
    virtual bool write(std::string_view bytes) = 0;

    // Called (on the program thread) when new bytes have arrived.
    virtual void set_data_ready_handler(std::function<void()> handler) = 0;
    // Called once when the open device fails under us (adapter unplugged);
    // the port is closed by then. The text names the device and the reason.
    virtual void set_failure_handler(std::function<void(const std::string&)> handler) = 0;
};

}  // namespace tw::platform
