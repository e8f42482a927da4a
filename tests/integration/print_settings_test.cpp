// terrawave --print-settings and start-up, run as the real program.

#include "process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using tw::integration::read_file;
using tw::integration::run;

class PrintSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  (std::string("tw_print_") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string data(const std::string& name) const {
        return read_file(std::string(TW_TEST_DATA_DIR) + "/" + name);
    }
    fs::path folder_;
};

TEST_F(PrintSettingsTest, EmptyFolderGetsOnlyTheNewSettingsByteForByte) {
    // The station folder comes from the environment here.
    fs::create_directories(folder_);
    const auto result = run(TW_TERRAWAVE, {"--print-settings"}, std::chrono::seconds(30),
                            {"TERRAWAVE_HOME=" + folder_.string()});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    // Nothing but the missing settings file is written: no "START" in the
    // event list, no data folders.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"terrawv.ini"});

    // The new file is the reference file with this station's folder in it.
    std::string expected = data("config/new_terrawv.ini");
    for (std::size_t at; (at = expected.find("=/station")) != std::string::npos;) {
        expected.replace(at + 1, 8, folder_.string());
    }
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(read_file((folder_ / "terrawv.ini").string()), result.out);
    for (const char* line : {"\r\nSPS= 4 \r\n", "\r\nGMT=-1\r\n", "\r\nADB= 14A\r\n", "\r\nPSW=\r\n"}) {
        EXPECT_NE(result.out.find(line), std::string::npos) << line;
    }
}

TEST_F(PrintSettingsTest, HandEditedFileIsPrintedAsUnderstoodAndLeftAlone) {
    fs::create_directories(folder_);
    const std::string edited = data("integration/hand_edited.ini");
    std::ofstream(folder_ / "terrawv.ini", std::ios::binary) << edited;
    const auto result = run(TW_TERRAWAVE, {"--folder", folder_.string(), "--print-settings"});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, data("integration/hand_edited_printed.ini"));
    EXPECT_EQ(read_file((folder_ / "terrawv.ini").string()), edited);
    // The two lines it could not use are named on standard error.
    EXPECT_NE(result.err.find("line 12: value '70000' of ALV"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("line 16: value 'abc' of AGF"), std::string::npos) << result.err;
}

TEST_F(PrintSettingsTest, ExitStatusAndMessageTellWhatWentWrong) {
    fs::create_directories(folder_);
    const std::string file = (folder_ / "a file").string(), station = (folder_ / "station").string();
    std::ofstream(file) << "not a folder";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string err, out;  // texts the outputs hold
    } cases[] = {
        {{"--frobnicate"}, 2, "unknown option '--frobnicate'\n\nUsage: terrawave", ""},
        {{"--folder", file, "--print-settings"}, 1, "cannot write to the station folder " + file, ""},
        {{"--folder", station, "--headless", "--port", station + "/no-such-device", "--run-for", "120"}, 2,
         "A/D card not found\nCheck your cable", ""},
        {{"--help"}, 0, "", "--print-settings"},
        {{"--version"}, 0, "", "terrawave V.02.22\n"},
    };
    for (const auto& c : cases) {
        const auto result = run(TW_TERRAWAVE, c.arguments, std::chrono::seconds(180));
        EXPECT_EQ(result.exit_status, c.status) << c.arguments[0] << result.err;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        EXPECT_NE(result.out.find(c.out), std::string::npos) << result.out;
        if (c.out.empty()) {
            EXPECT_EQ(result.out, "") << c.arguments[0];
        }
    }
}

}  // namespace
