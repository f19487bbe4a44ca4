#include "titles/leading_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

struct NumberCase {
    std::string line;
    double expected;
};

void expect_numbers(const std::vector<NumberCase>& cases)
{
    for (const NumberCase& c : cases)
        EXPECT_EQ(tambelo::leading_number(c.line), c.expected) << "line \"" << c.line << "\"";
}

TEST(LeadingNumber, TrackLinesInTheirUsualForms)
{
    expect_numbers({
        {"5 Opening", 5},
        {"05 Opening", 5},
        {"5.0 Opening", 5},
        {"3.5 Interlude", 3.5},
        {"12abc", 12},
        {"-3 x", -3},
        {"+4 x", 4},
        {".5", 0.5},
        {"1.2.3", 1.2},
    });
}

TEST(LeadingNumber, BlanksTabsAndLineFeedsInsideTheNumberAreSkipped)
{
    expect_numbers({
        {"1 2nd movement", 12},
        {"  7 x", 7},
        {"\t7\tx", 7},
        {"1 0 0", 100},
        {"1\n2 x", 12},
        {"- 5", -5},
        {"0 9 Symphony", 9},
        {"1 . 5", 1.5},
    });
}

TEST(LeadingNumber, NoDigitReadsAsZero)
{
    expect_numbers({
        {"", 0},
        {"0 Game Title", 0},
        {"00", 0},
        {" 0", 0},
        {"Title", 0},
        {"-", 0},
        {".", 0},
        {"-.x", 0},
        {"\xEF\xBC\x91", 0},  // a full-width digit one is no digit
    });
}

TEST(LeadingNumber, ExponentWithEOrD)
{
    expect_numbers({
        {"1E2 x", 100},
        {"1e2", 100},
        {"1D2", 100},
        {"1d+2", 100},
        {"25E-1", 2.5},
        {"1 E 2", 100},
        {"5E x", 5},     // an exponent letter without digits adds nothing
        {"5Ex", 5},
        {"5F2", 5},
    });
}

TEST(LeadingNumber, HexadecimalAndOctalPrefixes)
{
    expect_numbers({
        {"&H1F", 31},
        {"&h1f", 31},
        {"&H 1 F x", 31},
        {"&HFFFF", 65535},
        {"&HG", 0},
        {"&H", 0},
        {"&O17", 15},
        {"&o17", 15},
        {"&O8", 0},
        {"&O78", 7},
        {"&X5", 0},
        {"&", 0},
    });
}

TEST(LeadingNumber, NumbersBeyondADoubleDoNotWrapAround)
{
    EXPECT_EQ(tambelo::leading_number("1E999 x"), HUGE_VAL);
    EXPECT_EQ(tambelo::leading_number("-1D999"), -HUGE_VAL);
    EXPECT_EQ(tambelo::leading_number(std::string(400, '9')), HUGE_VAL);
    EXPECT_EQ(tambelo::leading_number("1E-999"), 0.0);
    EXPECT_EQ(tambelo::leading_number("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(tambelo::leading_number("1" + std::string(400, '0') + "E-399"), 10.0);
}

}  // namespace
