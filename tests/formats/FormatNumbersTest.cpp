// The number forms and the token routines every text layout shares.
#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cstdint>
#include <cmath>
#include <limits>

#include "common/Errors.h"
#include "formats/LUTFormatImps.h"

namespace tintavo {
namespace {

TEST(FormatLutCodeTest, ClampsScalesAndRoundsHalfToEven) {
    EXPECT_EQ("0", FormatLutCode(10, 0.0));
    EXPECT_EQ("1023", FormatLutCode(10, 1.0));
    EXPECT_EQ("512", FormatLutCode(10, 0.5));  // 511.5 -> 512 (even)
    EXPECT_EQ("2048", FormatLutCode(12, 0.5));  // 2047.5 -> 2048
    EXPECT_EQ("4095", FormatLutCode(12, 1.2));
    EXPECT_EQ("0", FormatLutCode(12, -0.1));
    EXPECT_EQ("0", FormatLutCode(10, std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ("1023", FormatLutCode(10, std::numeric_limits<double>::infinity()));
    EXPECT_EQ("65535", FormatLutCode(16, 1.0));
    // Exact ties: 0.5 -> 0 at 1 bit, 1.5 -> 2 at 2 bits.
    EXPECT_EQ("0", FormatLutCode(1, 0.5));
    EXPECT_EQ("2", FormatLutCode(2, 0.5));
    EXPECT_THROW(FormatLutCode(0, 0.5), ELUTError);
    EXPECT_EQ("4294967295", FormatLutCode(32, 1.0));
}

TEST(FormatLutFixedTest, FixedDigitsNoClamping) {
    EXPECT_EQ("0.500000", FormatLutFixed(6, 0.5));
    EXPECT_EQ("1.000000", FormatLutFixed(6, 1.0));
    EXPECT_EQ("1.250000", FormatLutFixed(6, 1.25));
    EXPECT_EQ("0.000000", FormatLutFixed(6, 0.0));
    EXPECT_EQ("-0.100000", FormatLutFixed(6, -0.1));
    EXPECT_EQ("1.200000", FormatLutFixed(6, 1.2));
    EXPECT_EQ("0.333333", FormatLutFixed(6, 1.0 / 3.0));
    EXPECT_EQ("0.666667", FormatLutFixed(6, 2.0 / 3.0));
    EXPECT_EQ("0.000001", FormatLutFixed(6, 0.0000005000001));
    EXPECT_EQ("12", FormatLutFixed(0, 12.4));
    EXPECT_EQ("32.999999", FormatLutFixed(6, 32.999999));
    // A negative value that rounds to zero carries no minus sign.
    EXPECT_EQ("0.000000", FormatLutFixed(6, -0.0000001));
    EXPECT_EQ("0.000000", FormatLutFixed(6, -0.0));
    // At most 15 significant digits.
    EXPECT_EQ("123456789.123457", FormatLutFixed(6, 123456789.1234567));
    EXPECT_EQ("1234567890.123460", FormatLutFixed(6, 1234567890.1234567));
    EXPECT_EQ("-98765432109876.500000", FormatLutFixed(6, -98765432109876.5));
    EXPECT_EQ("100000000000000000000.000000", FormatLutFixed(6, 1e20));
    // The buffered form gives the same text.
    char buf[400];
    const std::size_t n = FormatLutFixedTo(buf, 6, 0.123456789);
    EXPECT_EQ("0.123457", std::string(buf, n));
}

TEST(FormatLutFixedTest, LargestValuesFitTheBuffer) {
    EXPECT_EQ(316u, FormatLutFixed(6, std::numeric_limits<double>::max()).size());
    EXPECT_EQ(317u, FormatLutFixed(6, -std::numeric_limits<double>::max()).size());
    EXPECT_EQ("NAN", FormatLutFixed(6, std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ("-INF", FormatLutFixed(6, -std::numeric_limits<double>::infinity()));
}

// Runs `check` under a locale whose decimal separator is a comma.
template <typename Check>
void UnderCommaLocale(Check check) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8"};
    const char* found = nullptr;
    for (const char* name : names)
        if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') {
            found = name;
            break;
        }
    if (!found) {
        std::setlocale(LC_ALL, saved.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed (run scripts/install-deps.sh)";
    }
    check();
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(LocaleTest, NumbersIgnoreACommaLocale) {
    UnderCommaLocale([] {
        // The C library follows the locale here; our routines must not.
        char probe[32];
        std::snprintf(probe, sizeof probe, "%.1f", 0.5);
        ASSERT_STREQ("0,5", probe);
        EXPECT_EQ("0.000000", FormatLutFixed(6, 0.0));
        EXPECT_EQ("1.000000", FormatLutFixed(6, 1.0));
        EXPECT_EQ("0.123457", FormatLutFixed(6, 0.1234567));
        EXPECT_EQ("1234567890.123460", FormatLutFixed(6, 1234567890.1234567));
        EXPECT_EQ(0.25, StrToFloat("0.25"));
        EXPECT_THROW(StrToFloat("0,25"), EConvertError);
        double a, b, c;
        EXPECT_TRUE(ParseFixedTriple(std::string("0.5 1e-1 2.25"), a, b, c));
        EXPECT_EQ(0.5, a);
        EXPECT_EQ(0.1, b);
        EXPECT_EQ(2.25, c);
    });
}

TEST(ParseCodeTripleTest, TokensAndColumns) {
    double a = -1, b = -1, c = -1;
    EXPECT_TRUE(ParseCodeTriple("   0 2048 4095  ", 4095, false, a, b, c));
    EXPECT_EQ(0.0, a);
    EXPECT_EQ(2048.0 / 4095.0, b);
    EXPECT_EQ(1.0, c);
    // A fourth number ends up in the third field, which then holds two numbers.
    EXPECT_FALSE(ParseCodeTriple("0 1 2 3", 4095, false, a, b, c));
    EXPECT_TRUE(ParseCodeTriple("10,20,30", 1023, false, a, b, c));
    EXPECT_EQ(30.0 / 1023.0, c);
    EXPECT_TRUE(ParseCodeTriple("17\t0\t1\t2", 4095, true, a, b, c));
    EXPECT_EQ(0.0, a);
    EXPECT_EQ(1.0 / 4095.0, b);
    EXPECT_EQ(2.0 / 4095.0, c);
    // Values are not clamped; signs are part of the integer.
    EXPECT_TRUE(ParseCodeTriple("-5 5000 +7", 4095, false, a, b, c));
    EXPECT_EQ(-5.0 / 4095.0, a);
    EXPECT_EQ(5000.0 / 4095.0, b);
    EXPECT_FALSE(ParseCodeTriple("0 1", 4095, false, a, b, c));
    EXPECT_FALSE(ParseCodeTriple("0 1.5 2", 4095, false, a, b, c));
    EXPECT_FALSE(ParseCodeTriple("Mesh 4 12", 4095, false, a, b, c));
    EXPECT_FALSE(ParseCodeTriple("", 4095, false, a, b, c));
    EXPECT_FALSE(ParseCodeTriple("1 ,2,3", 4095, false, a, b, c));  // an empty token
    EXPECT_FALSE(ParseCodeTriple("99999999999999999999 1 2", 4095, false, a, b, c));
}

TEST(ParseFixedTripleTest, DecimalPointOnly) {
    double a = -1, b = -1, c = -1;
    EXPECT_TRUE(ParseFixedTriple(std::string("1e-1 0.5 1"), a, b, c));
    EXPECT_EQ(0.1, a);
    EXPECT_EQ(0.5, b);
    EXPECT_EQ(1.0, c);
    // Decimal commas cut the numbers apart: tokens 0 and 5 and a remainder of two numbers.
    EXPECT_FALSE(ParseFixedTriple(std::string("0,5 0,25 1,0"), a, b, c));
    EXPECT_TRUE(ParseFixedTriple(std::string("\t-.5, +2., 3E+2 \r"), a, b, c));
    EXPECT_EQ(-0.5, a);
    EXPECT_EQ(2.0, b);
    EXPECT_EQ(300.0, c);
    for (const char* bad : {"LUT_3D_SIZE 1 2", "nan 0 0", "inf 0 0", "0x1p3 0 0", "1e 0 0", ". 0 0", "1e999 0 0",
                            "0 0 0 0", "0 0", "1..2 0 0", "# 1 2 3"})
        EXPECT_FALSE(ParseFixedTriple(std::string(bad), a, b, c)) << bad;
    // Tiny numbers underflow to zero rather than failing.
    EXPECT_TRUE(ParseFixedTriple(std::string("1e-400 0 0"), a, b, c));
    EXPECT_EQ(0.0, a);
}

TEST(ConversionTest, DecimalsReadExactlyAsTheStandardLibraryReadsThem) {
    // The short-number path must give the correctly rounded double, like from_chars.
    std::uint64_t state = 88172645463325252ULL;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int k = 0; k < 200000; ++k) {
        const int digits = 1 + static_cast<int>(next() % 17);
        std::string text = (next() % 4 == 0) ? "-" : "";
        const int point = static_cast<int>(next() % (digits + 1));
        for (int d = 0; d < digits; ++d) {
            if (d == point && d > 0) text += '.';
            text += static_cast<char>('0' + next() % 10);
        }
        double expected = 0;
        std::from_chars(text.data(), text.data() + text.size(), expected);
        double actual = -1;
        ASSERT_TRUE(TryStrToFloat(text, actual)) << text;
        ASSERT_EQ(expected, actual) << text;
        ASSERT_EQ(std::signbit(expected), std::signbit(actual)) << text;
    }
    // Six-decimal texts as the writers produce them read back to the nearest double.
    for (int k = 0; k <= 1000000; k += 7) {
        const double v = k / 1e6;
        EXPECT_EQ(v, StrToFloat(FormatLutFixed(6, v)));
    }
}

TEST(ConversionTest, MessagesOfTheConversionErrors) {
    EXPECT_EQ(33, StrToInt("33"));
    EXPECT_EQ(-7, StrToInt(" -7 "));
    EXPECT_EQ(2147483647, StrToInt("2147483647"));
    try {
        StrToInt("abc");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ("'abc' is not a valid integer value", e.what());
    }
    try {
        StrToInt("");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ("'' is not a valid integer value", e.what());
    }
    for (const char* bad : {"1.5", "12x", "2147483648", "- 1", "+", "0x10"})
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
    try {
        StrToFloat("1,5");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ("'1,5' is not a valid floating point value", e.what());
    }
    EXPECT_EQ(1.5, StrToFloat("1.5"));
    EXPECT_EQ(-2e-3, StrToFloat("-2E-3"));
    long long v = 0;
    EXPECT_TRUE(TryStrToInt("9223372036854775807", v));
    EXPECT_EQ(9223372036854775807LL, v);
    EXPECT_TRUE(TryStrToInt("-9223372036854775808", v));
    EXPECT_FALSE(TryStrToInt("9223372036854775808", v));
    double d = 0;
    EXPECT_FALSE(TryStrToFloat("NaN", d));
    EXPECT_FALSE(TryStrToFloat("", d));
}

TEST(TokenTest, NextTokenSplitAtPosNoCaseTrim) {
    std::string text = "ab\tcd ef,gh";
    EXPECT_EQ("ab", NextToken(text));
    EXPECT_EQ("cd ef,gh", text);
    EXPECT_EQ("cd", NextToken(text));
    EXPECT_EQ("ef", NextToken(text));
    EXPECT_EQ("gh", NextToken(text));
    EXPECT_EQ("", text);
    text = ",x";
    EXPECT_EQ("", NextToken(text));
    EXPECT_EQ("x", text);

    text = "key = value = more";
    EXPECT_EQ("key ", SplitAt("=", text));
    EXPECT_EQ(" value = more", text);
    text = "a::b";
    EXPECT_EQ("a", SplitAt("::", text));
    EXPECT_EQ("b", text);
    EXPECT_EQ("b", SplitAt("::", text));
    EXPECT_EQ("", text);

    EXPECT_EQ(3, PosNoCase("lut_3d_size", "# LUT_3D_SIZE 33"));
    EXPECT_EQ(1, PosNoCase("# WIDTH", "# width 2 2 2"));
    EXPECT_EQ(0, PosNoCase("LUT_3D_SIZE", "LUT_1D_SIZE 33"));
    EXPECT_EQ(0, PosNoCase("", "abc"));
    EXPECT_EQ(0, PosNoCase("abcd", "abc"));
    // Only ASCII letters fold: bytes above 127 compare as they are.
    EXPECT_EQ(0, PosNoCase("\xe9", "\xc9"));

    EXPECT_EQ("a b", Trim("\t\r a b \n\x01"));
    EXPECT_EQ("", Trim(" \t "));
    EXPECT_EQ("\xa0x\xa0", Trim("\xa0x\xa0"));  // bytes above 127 are not blanks
}

}  // namespace
}  // namespace tintavo
