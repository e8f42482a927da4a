#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

using tw::app::parse_command_line;

TEST(CommandLine, ReadsEveryOptionInBothSpellings) {
    const auto parsed = parse_command_line({"--folder", "/st", "--port=/dev/ttyUSB0", "--headless",
                                            "--run-for", "12.5", "--simulate=orda20"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.folder, "/st");
    EXPECT_EQ(parsed.options.port, "/dev/ttyUSB0");
    EXPECT_TRUE(parsed.options.headless);
    EXPECT_EQ(parsed.options.run_for, 12.5);
    EXPECT_EQ(parsed.options.simulate, "orda20");

    const auto plain = parse_command_line({"--simulate", "--print-settings"});
    ASSERT_EQ(plain.error, "");
    EXPECT_EQ(plain.options.simulate, "");
    EXPECT_TRUE(plain.options.print_settings);
}

TEST(CommandLine, RejectsBadInputWithAReason) {
    EXPECT_EQ(parse_command_line({"--bogus"}).error, "unknown option '--bogus'");
    EXPECT_EQ(parse_command_line({"--folder"}).error, "--folder needs a value");
    EXPECT_NE(parse_command_line({"--headless", "--run-for", "ten"}).error.find("'ten'"),
              std::string::npos);
    EXPECT_NE(parse_command_line({"--headless", "--run-for", "-1"}).error, "");
    EXPECT_NE(parse_command_line({"--simulate=orda99"}).error.find("orda99"), std::string::npos);
    EXPECT_EQ(parse_command_line({"--run-for", "5"}).error, "--run-for goes with --headless");
    // Standard data needs a station code that fits, and a port that exists.
    EXPECT_NE(parse_command_line({"--mseed", "/sds"}).error.find("station code"), std::string::npos);
    EXPECT_NE(parse_command_line({"--seedlink", "18000", "--station", "TOOLONG"}).error, "");
    EXPECT_NE(parse_command_line({"--seedlink", "70000", "--station", "A"}).error.find("70000"),
              std::string::npos);
    EXPECT_EQ(parse_command_line({"--seedlink-bind", "127.0.0.1"}).error,
              "--seedlink-bind goes with --seedlink");
    const auto good = parse_command_line({"--seedlink=18000", "--station", "abc", "--location=00"});
    EXPECT_EQ(good.error, "");
    EXPECT_EQ(stream_codes(good.options).station, "ABC");
    EXPECT_EQ(stream_codes(good.options).network, "XX");
}

TEST(CommandLine, ExtractTakesAStampMinutesAndDistinctChannels) {
    const auto parsed = parse_command_line(
        {"--extract", "2003/02/03 23:58:00", "--minutes", "480", "--channels", "2,1"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.extract, "2003/02/03 23:58:00");
    EXPECT_EQ(parsed.options.minutes, 480);
    EXPECT_EQ(parsed.options.channels, (std::vector<int>{2, 1}));
    for (const std::vector<std::string>& bad : {
             std::vector<std::string>{"--extract", "2003/02/30 10:00:00", "--minutes", "5"},
             {"--extract", "2003/02/03", "--minutes", "5"},
             {"--extract", "2003/02/03 10:00:00"},
             {"--extract", "2003/02/03 10:00:00", "--minutes", "481"},
             {"--extract", "2003/02/03 10:00:00", "--minutes", "5", "--channels", "1,1"},
             {"--extract", "2003/02/03 10:00:00", "--minutes", "5", "--channels", "5"},
             {"--extract", "2003/02/03 10:00:00", "--minutes", "5", "--headless"},
             {"--minutes", "5"}}) {
        EXPECT_NE(parse_command_line(bad).error, "") << bad[1];
    }
}

}  // namespace
