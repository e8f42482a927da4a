#include "platform/posix/posix_clock.h"
#include "platform/posix/ppdev_io_ports.h"
#include "platform/posix/spawn_launcher.h"

#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

namespace tw::platform {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(PosixClock, ShortTextsFollowTheTimeLocaleAndSettingIsRefusedWhileSwitchedOff) {
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv time("LC_TIME", "C");
    PosixClock clock;
    const DateTime when{2000, 12, 31, 7, 12, 34, 0};
    EXPECT_EQ(clock.short_date_text(when), "12/31/00");
    EXPECT_EQ(clock.short_time_text(when), "07:12:34");

    ScopedEnv off("TERRAWAVE_NO_CLOCK_SET", "1");
    std::string error;
    EXPECT_FALSE(clock.set_time_of_day(12, 0, 0, &error));
    EXPECT_NE(error.find("TERRAWAVE_NO_CLOCK_SET"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(clock.set_date(2001, 1, 1, &error));
    EXPECT_FALSE(error.empty());
}

class SpawnLauncherTest : public ::testing::Test {
protected:
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir_)) found.insert(entry.path().filename().string());
        return found;
    }

    tw::testing::TestFolder folder_;
    const fs::path dir_ = folder_.path();
};

TEST_F(SpawnLauncherTest, PassesShellCharactersLiterallyAndAMissingProgramIsReported) {
    // Relative names, so that a shell, had one run, would have created its
    // files in the same folder.
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    const std::vector<std::string> arguments = {
        "a;b", "x; touch shell_ran", "$(touch shell_ran2)", "`touch shell_ran3`",
        "two words", "*", "~",
    };
    SpawnLauncher launcher;
    std::string error;
    const bool started = launcher.start("/usr/bin/touch", arguments, &error);
    fs::current_path(previous);
    ASSERT_TRUE(started) << error;
    EXPECT_FALSE(launcher.start("/nonexistent/tw-viewer", {"file"}, &error));
    EXPECT_EQ(error, "cannot start /nonexistent/tw-viewer: No such file or directory");
    const std::set<std::string> expected(arguments.begin(), arguments.end());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (names().size() < expected.size() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(names(), expected);
}


// A port that is missing or no parallel port fails with what and why, and
// is not tried again once it failed.
TEST_F(SpawnLauncherTest, UnusablePortsFailWithTheirNameAndStayAlone) {
    const std::string device = (dir_ / "parport0").string();
    PpdevIoPorts ports(PpdevIoPorts::Devices{{device, device, device}, "", {}});
    std::string error;
    EXPECT_FALSE(ports.read_data(1, &error));
    EXPECT_EQ(error, "LPT1: " + device + ": No such file or directory");
    std::ofstream(device) << "not a device";
    EXPECT_FALSE(ports.write_data(1, 1, &error));
    EXPECT_EQ(error, "LPT1: " + device + ": No such file or directory");
    EXPECT_FALSE(ports.write_data(2, 1, &error));
    EXPECT_EQ(error, "LPT2: " + device + ": Inappropriate ioctl for device");
}

}  // namespace
}  // namespace tw::platform
