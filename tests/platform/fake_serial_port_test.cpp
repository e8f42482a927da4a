// The scripted port that the acquisition tests rely on behaves like the real
// one in everything they can observe.

#include "fakes/fake_serial_port.h"

#include <gtest/gtest.h>

namespace tw::fakes {
namespace {

TEST(FakeSerialPort, ReadsHonourReadLengthAndNeverRepeat) {
    FakeSerialPort port;
    port.feed("abcdef");
    EXPECT_EQ(port.bytes_waiting(), 0);  // closed: nothing can be read
    EXPECT_EQ(port.read(), "");
    ASSERT_TRUE(port.open(nullptr));
    EXPECT_EQ(port.bytes_waiting(), 6);
    port.set_read_length(1);
    EXPECT_EQ(port.read(), "a");
    port.set_read_length(8);
    EXPECT_EQ(port.read_available(2), "bc");
    EXPECT_EQ(port.read(), "def");
    EXPECT_EQ(port.read(), "");
    port.feed("xyz");
    port.flush_input();
    EXPECT_EQ(port.bytes_waiting(), 0);
    EXPECT_EQ(port.flush_calls, 1);
    EXPECT_EQ(port.input_buffer_size(), 16384);
}

TEST(FakeSerialPort, RecordsWritesAndAnswersScriptedCommands) {
    FakeSerialPort port;
    EXPECT_FALSE(port.write("lost"));  // closed
    ASSERT_TRUE(port.open(nullptr));
    port.add_reply(std::string("\x81", 1), "V1.3");
    std::vector<std::string> seen;
    port.on_write = [&](std::string_view bytes) { seen.emplace_back(bytes); };
    EXPECT_TRUE(port.write(std::string("\x81", 1)));
    EXPECT_TRUE(port.write("AB"));
    EXPECT_EQ(port.written(), std::string("\x81" "AB", 3));
    EXPECT_EQ(port.writes().size(), 2u);
    EXPECT_EQ(seen, port.writes());
    EXPECT_EQ(port.read_available(100), "V1.3");
    port.refuse_writes = true;
    EXPECT_FALSE(port.write("C"));
    EXPECT_EQ(port.writes().size(), 2u);
}

TEST(FakeSerialPort, OpenFailuresSettingsAndUnplug) {
    FakeSerialPort port;
    port.make_open_fail(1, "cannot open /dev/ttyS0: No such file or directory");
    std::string error;
    EXPECT_FALSE(port.open(&error));
    EXPECT_EQ(error, "cannot open /dev/ttyS0: No such file or directory");
    EXPECT_FALSE(port.set_line_settings("fast"));
    ASSERT_TRUE(port.set_line_settings("14400,n,8,1"));
    port.set_port_number(2);
    ASSERT_TRUE(port.open(&error));
    EXPECT_EQ(port.opened_settings, std::vector<std::string>{"14400,n,8,1"});
    EXPECT_EQ(port.opened_ports, std::vector<int>{2});
    EXPECT_EQ(port.open_calls, 2);

    int ready = 0;
    std::vector<std::string> failures;
    port.set_data_ready_handler([&] { ++ready; });
    port.set_failure_handler([&](const std::string& text) { failures.push_back(text); });
    port.deliver("x");
    EXPECT_EQ(ready, 1);
    port.unplug();
    port.unplug();  // already closed: reported once
    EXPECT_FALSE(port.is_open());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("/dev/ttyS1"), std::string::npos);
    port.deliver("y");  // closed: no notification
    EXPECT_EQ(ready, 1);
}

}  // namespace
}  // namespace tw::fakes
