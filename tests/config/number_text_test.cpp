#include "config/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tw::config {
namespace {

TEST(PlainNumber, WritesIntegersAsDigits) {
    EXPECT_EQ(plain_number(0), "0");
    EXPECT_EQ(plain_number(4), "4");
    EXPECT_EQ(plain_number(-120), "-120");
    EXPECT_EQ(plain_number(32767), "32767");
    EXPECT_EQ(plain_number(123456789012345.0), "123456789012345");
}

TEST(PlainNumber, DropsLeadingZeroAndTrailingZeros) {
    EXPECT_EQ(plain_number(0.5), ".5");
    EXPECT_EQ(plain_number(-0.5), "-.5");
    EXPECT_EQ(plain_number(1.0 / 3), ".333333333333333");
    EXPECT_EQ(plain_number(0.1 + 0.2), ".3");  // 15 significant digits hide the binary error
    EXPECT_EQ(plain_number(12.5), "12.5");
    EXPECT_EQ(plain_number(0.016666), ".016666");
    EXPECT_EQ(plain_number(0.0001), ".0001");
}

TEST(PlainNumber, UsesExponentFormWhereFifteenDigitsDoNotReach) {
    EXPECT_EQ(plain_number(1e-20), "1E-20");
    EXPECT_EQ(plain_number(0.00001), "1E-05");
    EXPECT_EQ(plain_number(-1.5e-300), "-1.5E-300");
    EXPECT_EQ(plain_number(123456789012345678.0), "1.23456789012346E+17");
    EXPECT_EQ(plain_number(1e15), "1E+15");
    EXPECT_EQ(plain_number(999999999999999.9), "1E+15");  // rounding carries into a 16th digit
}

TEST(PlainNumber, ReadsBackThroughNumberScan) {
    for (double v : {0.5, -0.5, 1.0 / 3, 1e-20, 2.5e300, -7.25, 123456789012345678.0, 0.016666}) {
        const double back = number_scan(plain_number(v));
        EXPECT_NEAR(back, v, std::fabs(v) * 1e-14) << plain_number(v);
        EXPECT_EQ(plain_number(back), plain_number(v));
    }
    const double largest = std::numeric_limits<double>::max();
    EXPECT_EQ(plain_number(largest), "1.7976931348623E+308");
    EXPECT_TRUE(std::isfinite(number_scan(plain_number(-largest))));
}

TEST(SignedNumberText, PutsBlankOrMinusInFront) {
    EXPECT_EQ(signed_number_text(4), " 4");
    EXPECT_EQ(signed_number_text(0), " 0");
    EXPECT_EQ(signed_number_text(-0.0), " 0");
    EXPECT_EQ(signed_number_text(0.5), " .5");
    EXPECT_EQ(signed_number_text(-120), "-120");
    EXPECT_EQ(signed_number_text(-0.5), "-.5");
}

TEST(NumberScan, ReadsLeadingNumberAndSkipsBlanks) {
    EXPECT_EQ(number_scan("12.5"), 12.5);
    EXPECT_EQ(number_scan(" 4 "), 4);
    EXPECT_EQ(number_scan("- 1 2 . 5"), -12.5);
    EXPECT_EQ(number_scan("0.5"), 0.5);
    EXPECT_EQ(number_scan(".5"), 0.5);
    EXPECT_EQ(number_scan("+7"), 7);
    EXPECT_EQ(number_scan("1.5E+3"), 1500);
    EXPECT_EQ(number_scan("2e-2x"), 0.02);
    EXPECT_EQ(number_scan("30,3"), 30);
    EXPECT_EQ(number_scan("1e"), 1);  // an exponent without digits is not read
    EXPECT_EQ(number_scan("--5"), 0);
    EXPECT_EQ(number_scan("abc"), 0);
    EXPECT_EQ(number_scan(""), 0);
    EXPECT_EQ(number_scan("."), 0);
}

TEST(NumberScan, ReadsHexadecimalAfterAmpersandH) {
    EXPECT_EQ(number_scan("&H14A"), 330);
    EXPECT_EQ(number_scan("&H 3f8"), 1016);
    EXPECT_EQ(number_scan("&HFFFF"), 65535);
    EXPECT_EQ(number_scan("&H"), 0);
    EXPECT_EQ(number_scan("&HZ1"), 0);
}

TEST(NumberScan, OutOfRangeGivesInfinityOrZero) {
    EXPECT_EQ(number_scan("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(number_scan("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(number_scan("1e-400"), 0);
    EXPECT_EQ(number_scan("0.000001e-400"), 0);
    EXPECT_EQ(number_scan(std::string(400, '9')), std::numeric_limits<double>::infinity());
}

TEST(RoundHalfEven, TakesEvenNeighbourOnHalves) {
    EXPECT_EQ(round_half_even(0.5), 0);
    EXPECT_EQ(round_half_even(1.5), 2);
    EXPECT_EQ(round_half_even(2.5), 2);
    EXPECT_EQ(round_half_even(-2.5), -2);
    EXPECT_EQ(round_half_even(-3.5), -4);
    EXPECT_EQ(round_half_even(2.4999), 2);
    EXPECT_EQ(round_half_even(-0.6), -1);
}

TEST(NormalizeNumericText, WritesEntryFieldForms) {
    EXPECT_EQ(normalize_numeric_text("12.5", "", -1e6, 1e6), "12.5");
    EXPECT_EQ(normalize_numeric_text(".5", "", -1e6, 1e6), "0.5");
    EXPECT_EQ(normalize_numeric_text("-.5", "", -1e6, 1e6), "-0.5");
    EXPECT_EQ(normalize_numeric_text("abc", "", -1e6, 1e6), " 0");
    EXPECT_EQ(normalize_numeric_text("-120", "", -32760, 32760), "-120");
}

TEST(NormalizeNumericText, LimitsToMaxThenMin) {
    EXPECT_EQ(normalize_numeric_text("99999", "", -32760, 32760), "32760");
    EXPECT_EQ(normalize_numeric_text("-99999", "", -32760, 32760), "-32760");
    EXPECT_EQ(normalize_numeric_text("-5", "", 0, 100), " 0");
}

TEST(NormalizeNumericText, PadsOrCutsToTemplate) {
    EXPECT_EQ(normalize_numeric_text("7", "00", 0, 99), "07");
    EXPECT_EQ(normalize_numeric_text("12", "00", 0, 99), "12");
    EXPECT_EQ(normalize_numeric_text("2003", "0000", 0, 9999), "2003");
    EXPECT_EQ(normalize_numeric_text("5", "0000", 0, 9999), "0005");
    EXPECT_EQ(normalize_numeric_text("12345", "00", 0, 99999), "12");
}

TEST(ParseNumberList, CollectsItemsAndJoinsPlainForms) {
    std::vector<std::string> items(6);
    EXPECT_EQ(parse_number_list("2000,2,2,1,30,3", items, 32767, 0), "2000;2;2;1;30;3");
    EXPECT_EQ(items, (std::vector<std::string>{"2000", "2", "2", "1", "30", "3"}));

    std::vector<std::string> mixed(4);
    EXPECT_EQ(parse_number_list("1800; 0.50 ,x3,60", mixed, 32767, 0), "1800;.5;3;60");
    EXPECT_EQ(mixed[1], "0.50");  // items keep their text unless limited
}

TEST(ParseNumberList, LimitsItemsAndMarksShortLists) {
    std::vector<std::string> items(6);
    EXPECT_EQ(parse_number_list("40000,-2", items, 32767, 0), "!32767;0");
    EXPECT_EQ(items[0], "32767");
    EXPECT_EQ(items[1], "0");
    EXPECT_EQ(items[2], "");

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
