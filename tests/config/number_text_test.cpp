#include "config/number_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace tw::config {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

TEST(PlainNumber, DigitsWithoutLeadingOrTrailingZerosOrExponentBeyondFifteenDigits) {
    const std::pair<double, const char*> cases[] = {
        {0, "0"}, {-120, "-120"}, {32767, "32767"}, {123456789012345.0, "123456789012345"},
        {0.5, ".5"}, {-0.5, "-.5"}, {1.0 / 3, ".333333333333333"},
        {0.1 + 0.2, ".3"},  // 15 significant digits hide the binary error
        {12.5, "12.5"}, {0.016666, ".016666"}, {0.0001, ".0001"},
        {1e-20, "1E-20"}, {0.00001, "1E-05"}, {-1.5e-300, "-1.5E-300"},
        {123456789012345678.0, "1.23456789012346E+17"}, {1e15, "1E+15"},
        {999999999999999.9, "1E+15"},  // rounding carries into a 16th digit
        {std::numeric_limits<double>::max(), "1.7976931348623E+308"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(plain_number(value), text) << text;
    // What these texts read back as is the settings round trip's (fractions,
    // thirds, 1.2E+17) and the random files'.
}

TEST(SignedNumberText, PutsBlankOrMinusInFront) {
    const std::pair<double, const char*> cases[] = {
        {4, " 4"}, {0, " 0"}, {-0.0, " 0"}, {0.5, " .5"}, {-120, "-120"}, {-0.5, "-.5"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(signed_number_text(value), text);
}

TEST(NumberScan, ReadsLeadingNumberOrHexSkippingBlanksAndLimitsTheRange) {
    const std::pair<std::string, double> cases[] = {
        {"12.5", 12.5}, {" 4 ", 4}, {"- 1 2 . 5", -12.5}, {".5", 0.5}, {"+7", 7},
        {"1.5E+3", 1500}, {"2e-2x", 0.02}, {"30,3", 30},
        {"1e", 1},  // an exponent without digits is not read
        {"--5", 0}, {"abc", 0}, {"", 0}, {".", 0},
        {"&H14A", 330}, {"&H 3f8", 1016}, {"&HFFFF", 65535}, {"&H", 0}, {"&HZ1", 0},
        {"1e400", inf}, {"-1e400", -inf}, {"1e-400", 0}, {"0.000001e-400", 0},
        {std::string(400, '9'), inf},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(number_scan(text), value) << text;
}

TEST(RoundHalfEven, TakesEvenNeighbourOnHalves) {
    const std::pair<double, double> cases[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {-2.5, -2}, {-3.5, -4}, {2.4999, 2}, {-0.6, -1}};
    for (const auto& [value, rounded] : cases) EXPECT_EQ(round_half_even(value), rounded) << value;
}

TEST(NormalizeNumericText, EntryFormsLimitsToMaxThenMinAndTemplates) {
    const struct { const char* text; const char* pattern; double min, max; const char* expected; } cases[] = {
        {"12.5", "", -1e6, 1e6, "12.5"},   {".5", "", -1e6, 1e6, "0.5"},
        {"-.5", "", -1e6, 1e6, "-0.5"},    {"abc", "", -1e6, 1e6, " 0"},
        {"-120", "", -32760, 32760, "-120"}, {"99999", "", -32760, 32760, "32760"},
        {"-99999", "", -32760, 32760, "-32760"}, {"-5", "", 0, 100, " 0"},
        {"7", "00", 0, 99, "07"},          {"12", "00", 0, 99, "12"},
        {"2003", "0000", 0, 9999, "2003"}, {"5", "0000", 0, 9999, "0005"},
        {"12345", "00", 0, 99999, "12"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(normalize_numeric_text(c.text, c.pattern, c.min, c.max), c.expected) << c.text;
}

TEST(ParseNumberList, CollectsLimitsAndJoinsPlainFormsAndMarksShortLists) {
    std::vector<std::string> items(6);
    EXPECT_EQ(parse_number_list("2000,2,2,1,30,3", items, 32767, 0), "2000;2;2;1;30;3");
    EXPECT_EQ(items, (std::vector<std::string>{"2000", "2", "2", "1", "30", "3"}));
    std::vector<std::string> mixed(4);
    EXPECT_EQ(parse_number_list("1800; 0.50 ,x3,60", mixed, 32767, 0), "1800;.5;3;60");
    EXPECT_EQ(mixed[1], "0.50");  // items keep their text unless limited

    items.assign(6, "");
    EXPECT_EQ(parse_number_list("40000,-2", items, 32767, 0), "!32767;0");
    EXPECT_EQ(items, (std::vector<std::string>{"32767", "0", "", "", "", ""}));
    std::vector<std::string> terms(5);
    EXPECT_EQ(parse_number_list("150,-0.5,1,1,1", terms, 100, -100), "100;-.5;1;1;1");
    EXPECT_EQ(terms[0], "100");
}

TEST(ParseNumberList, CharacterAfterLastItemEndsWithEmptyResult) {
    std::vector<std::string> items(4);
    EXPECT_EQ(parse_number_list("1,2,3,99999,5", items, 32767, 0), "");
    EXPECT_EQ(items, (std::vector<std::string>{"1", "2", "3", "99999"}));  // not limited
    std::vector<std::string> none;
    EXPECT_EQ(parse_number_list("1,2", none, 10, 0), "");
}

}  // namespace
}  // namespace tw::config
