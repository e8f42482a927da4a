// terrawave --print-settings and start-up, run as the real program.

#include "simulated_station.h"

#include <gtest/gtest.h>

namespace {

using namespace tw::integration;

class PrintSettingsTest : public StationTest {
protected:
    static std::string data(const std::string& name) { return read_file(std::string(TW_TEST_DATA_DIR) + "/" + name); }
};

TEST_F(PrintSettingsTest, EmptyFolderGetsOnlyTheNewSettingsByteForByte) {
    // The station folder comes from the environment here.
    const fs::path folder = station();
    const auto result = run(TW_TERRAWAVE, {"--print-settings"}, 30s, {"TERRAWAVE_HOME=" + folder.string()});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    // Nothing but the missing settings file is written: no "START" in the
    // event list, no data folders.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"terrawv.ini"});

    // The new file is the reference file with this station's folder in it.
    std::string expected = data("config/new_terrawv.ini");
    for (std::size_t at; (at = expected.find("=/station")) != std::string::npos;) expected.replace(at + 1, 8, folder.string());
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(read_file((folder / "terrawv.ini").string()), result.out);
}

TEST_F(PrintSettingsTest, HandEditedFileIsPrintedAsUnderstoodAndLeftAlone) {
    const std::string edited = data("integration/hand_edited.ini");
    std::ofstream(station() / "terrawv.ini", std::ios::binary) << edited;
    const auto result = run(TW_TERRAWAVE, {"--folder", station().string(), "--print-settings"});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, data("integration/hand_edited_printed.ini"));
    EXPECT_EQ(read_file((station() / "terrawv.ini").string()), edited);
    // The two lines it could not use are named on standard error.
    EXPECT_NE(result.err.find("line 12: value '70000' of ALV"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("line 16: value 'abc' of AGF"), std::string::npos) << result.err;
}

TEST_F(PrintSettingsTest, ExitStatusAndMessageTellWhatWentWrong) {
    const std::string file = (folder_ / "a file").string(), station = (folder_ / "new").string();
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
        // A day without tracks gives no file; a date that does not exist is a bad command line.
        {{"--folder", StationTest::station().string(), "--extract", "2003/03/01 10:00:00", "--minutes", "5", "--channels", "1"}, 1,
         "Data of track 1 missing. .LG1 not present.", ""},
        {{"--extract", "2003/02/30 10:00:00", "--minutes", "5"}, 2, "", ""},
        {{"--help"}, 0, "", "--print-settings"},
        {{"--version"}, 0, "", "terrawave V.02.22\n"},
    };
    for (const auto& c : cases) {
        const auto result = run(TW_TERRAWAVE, c.arguments, 180s);
        EXPECT_EQ(result.exit_status, c.status) << c.arguments[0] << result.err;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        EXPECT_NE(result.out.find(c.out), std::string::npos) << result.out;
        if (c.out.empty()) {
            EXPECT_EQ(result.out, "") << c.arguments[0];
        }
    }
}

}  // namespace
