// Garbled settings files and a decimal-comma locale.

#include "config/number_text.h"
#include "config/settings_file.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <random>

namespace tw::config {
namespace {

Settings new_file_settings() {
    Settings settings;
    apply_new_file_values(settings, "/station");
    return settings;
}

void expect_sane(const std::vector<SettingsProblem>& problems, const std::string& bytes) {
    for (const auto& p : problems) {
        EXPECT_TRUE(p.error_number == 6 || p.error_number == 9 || p.error_number == 13);
        EXPECT_GE(p.line_number, 1);
        EXPECT_LE(static_cast<std::size_t>(p.line_number), bytes.size());
        EXPECT_FALSE(p.reason.empty());
    }
}

TEST(GarbledSettings, BinaryJunkAndBrokenLinesAreSurvived) {
    std::string bytes("[CHANNEL1]\r\nSPS=\0\0\xff\r\nDCO", 24);
    bytes += "\r\n\xff\xfe\x80[GENERAL\r\n[CHANNEL\r\nS\r\n\r\n\n\n[GE\r\nGMT=\x01\x02";
    bytes += std::string("\0\0\0STY=\xc3\xa9\r\n", 11);
    Settings s = new_file_settings();
    const auto problems = parse_settings(bytes, s);
    expect_sane(problems, bytes);
    // "[CHANNEL" without a digit names channel 0.
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].error_number, 9);
    EXPECT_EQ(s.channel(1).sps_code, 0);
    EXPECT_EQ(s.channel(1).dc_offset, 0);
    EXPECT_EQ(s.general.gmt_correction, 0);

    // The reason shows unprintable bytes escaped.
    const auto unprintable = parse_settings(std::string("[CHANNEL1]\nSTY=\x01\xff", 17), s);
    ASSERT_EQ(unprintable.size(), 1u);
    EXPECT_EQ(unprintable[0].reason, "value '\\x01\\xFF' of STY is not a number");
}

// Random files made of random bytes and pieces of real lines. Whatever is
// read must write out as a file that reads back to the same text.
TEST(GarbledSettings, RandomFilesNeverCrashAndReadBackStable) {
    std::mt19937 random(20240611);
    const std::string real = format_settings(new_file_settings());
    const char* pieces[] = {"[CHANNEL", "[GENERAL]\r\n", "[END GENERAL]\r\n", "\r\n", "\n", "=",
                            "sps=", "DCO=-", "STA=", "COR=", "ADB=", "&H", "1e400", ".5", ",",
                            "PAP=", "STY=", "DRS=", "9", "-"};
    const std::string untouched = format_settings(Settings{});
    int files_with_problems = 0;
    int files_that_set_fields = 0;
    for (int file = 0; file < 3000; ++file) {
        std::string bytes;
        for (std::size_t parts = random() % 601; parts > 0; --parts) {
            const auto k = random() % 10;
            if (k < 4) bytes += static_cast<char>(random());
            else if (k < 8) bytes += pieces[random() % std::size(pieces)];
            else bytes += real.substr(random() % real.size(), 40);
        }
        Settings s = file % 2 ? new_file_settings() : Settings{};
        const auto problems = parse_settings(bytes, s);
        expect_sane(problems, bytes);
        files_with_problems += problems.empty() ? 0 : 1;
        const std::string written = format_settings(s);
        files_that_set_fields += (file % 2 == 0 && written != untouched) ? 1 : 0;
        Settings back;
        EXPECT_TRUE(parse_settings(written, back).empty());
        ASSERT_EQ(format_settings(back), written) << "file " << file;
    }
    // The mix must reach both the error paths and the storing paths.
    EXPECT_GT(files_with_problems, 1000);
    EXPECT_GT(files_that_set_fields, 500);
}

// A numpunct that uses "," as the decimal point and groups thousands.
class CommaPunct : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class ScopedLocale {
public:
    ScopedLocale() : saved_global_(std::locale()), saved_c_(std::setlocale(LC_ALL, nullptr)) {}
    ~ScopedLocale() {
        std::locale::global(saved_global_);
        std::setlocale(LC_ALL, saved_c_.c_str());
    }

private:
    std::locale saved_global_;
    std::string saved_c_;
};

TEST(DecimalCommaLocale, FileBytesAndValuesAreUnchanged) {
    Settings s = new_file_settings();
    s.channel(1).y_scale = 0.5;
    s.channel(2).sensor_sensitivity = -12.25;
    s.general.review_chart_speed = 1234.5;
    const std::string expected = format_settings(s);
    ASSERT_NE(expected.find("YSC= .5 \r\n"), std::string::npos);

    const tw::testing::TestFolder folder;
    const auto path = folder / "terrawv.ini";

    auto check_under_current_locale = [&](const std::string& name) {
        std::string error;
        ASSERT_TRUE(save_settings(path, s, &error)) << error;
        EXPECT_EQ(tw::testing::read_file(path), expected) << name;
        Settings back;
        const LoadResult result = load_settings(path, folder.path().string(), back);
        EXPECT_TRUE(result.problems.empty()) << name;
        EXPECT_EQ(back.channel(1).y_scale, 0.5) << name;
        EXPECT_EQ(back.channel(2).sensor_sensitivity, -12.25) << name;
        EXPECT_EQ(format_settings(back), expected) << name;
        EXPECT_EQ(normalize_numeric_text("12,5", "", -100, 100), "12") << name;
        EXPECT_EQ(normalize_numeric_text("12.5", "", -100, 100), "12.5") << name;
    };

    {
        ScopedLocale restore;
        std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
        check_under_current_locale("comma numpunct");
    }
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "it_IT.UTF-8"}) {
        ScopedLocale restore;
        if (std::setlocale(LC_ALL, name) == nullptr) continue;
        ASSERT_EQ(std::localeconv()->decimal_point[0], ',');
        check_under_current_locale(name);
    }
}

}  // namespace
}  // namespace tw::config
