#include "base/strings/double_text_conversion.h"

#include <errno.h>
#include <float.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

#include <limits>
#include <string>

#include "gtest/gtest.h"

namespace base {

namespace {

uint64_t BitsOf(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof(bits));
  return bits;
}

// Parses |text| with errno preset to a marker, and reports the characters
// used and whether errno became ERANGE.
struct Parsed {
  double value;
  size_t used;
  bool range_error;
};

Parsed Parse(const char* text) {
  errno = EDOM;
  const char* end = nullptr;
  Parsed parsed;
  parsed.value = ParseDouble(text, &end);
  parsed.used = static_cast<size_t>(end - text);
  parsed.range_error = errno == ERANGE;
  EXPECT_TRUE(errno == EDOM || errno == ERANGE) << text;
  return parsed;
}

}  // namespace

TEST(DoubleTextConversionTest, Digits) {
  int decpt = 0;
  bool sign = true;
  char* end = nullptr;
  char* digits = DoubleToDigits(0.0, &decpt, &sign, &end);
  EXPECT_STREQ("0", digits);
  EXPECT_EQ(1, decpt);
  EXPECT_FALSE(sign);
  EXPECT_EQ(digits + 1, end);
  FreeDigits(digits);

  digits = DoubleToDigits(-1234.5, &decpt, &sign, &end);
  EXPECT_STREQ("12345", digits);
  EXPECT_EQ(4, decpt);
  EXPECT_TRUE(sign);
  EXPECT_EQ(digits + 5, end);
  FreeDigits(digits);

  // Trailing zeros of the integer part are not digits.
  digits = DoubleToDigits(1.5e300, &decpt, &sign, &end);
  EXPECT_STREQ("15", digits);
  EXPECT_EQ(301, decpt);
  FreeDigits(digits);

  digits = DoubleToDigits(0.30000000000000004, &decpt, &sign, &end);
  EXPECT_STREQ("30000000000000004", digits);
  EXPECT_EQ(0, decpt);
  FreeDigits(digits);

  digits = DoubleToDigits(std::numeric_limits<double>::denorm_min(), &decpt,
                          &sign, nullptr);
  EXPECT_STREQ("5", digits);
  EXPECT_EQ(-323, decpt);
  FreeDigits(digits);

  digits = DoubleToDigits(-HUGE_VAL, &decpt, &sign, &end);
  EXPECT_STREQ("Infinity", digits);
  EXPECT_EQ(kNonFiniteDecimalPoint, decpt);
  EXPECT_TRUE(sign);
  FreeDigits(digits);

  digits = DoubleToDigits(std::numeric_limits<double>::quiet_NaN(), &decpt,
                          &sign, &end);
  EXPECT_STREQ("NaN", digits);
  EXPECT_EQ(kNonFiniteDecimalPoint, decpt);
  FreeDigits(digits);
}

TEST(DoubleTextConversionTest, ShortestTextFitsItsBuffer) {
  // The longest texts: 17 digits with a sign and a three-digit exponent, and
  // 17 digits behind a point and three zeros.
  const double kLongest[] = {-2.2250738585072014e-308, -1.2345678901234567e-4,
                             -12345678901234568e5};
  for (double value : kLongest) {
    char buffer[kDoubleToShortestTextBufferSize + 8];
    memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(buffer, DoubleToShortestText(buffer, value));
    EXPECT_LT(strlen(buffer),
              static_cast<size_t>(kDoubleToShortestTextBufferSize));
  }
  char buffer[kDoubleToShortestTextBufferSize];
  EXPECT_STREQ("-2.2250738585072014e-308",
               DoubleToShortestText(buffer, -2.2250738585072014e-308));
  EXPECT_STREQ("-.00012345678901234567",
               DoubleToShortestText(buffer, -1.2345678901234567e-4));
  EXPECT_STREQ("-1234567890123456800000",
               DoubleToShortestText(buffer, -12345678901234568e5));
  EXPECT_STREQ("-1.2345678901234568e+22",
               DoubleToShortestText(buffer, -12345678901234568e6));
}

TEST(DoubleTextConversionTest, ParseSyntax) {
  Parsed p = Parse("  \t\n-1.5e3xyz");
  EXPECT_EQ(-1500.0, p.value);
  EXPECT_EQ(10u, p.used);
  EXPECT_FALSE(p.range_error);

  // Hexadecimal text stops after the '0'.
  p = Parse("0x10");
  EXPECT_EQ(0.0, p.value);
  EXPECT_EQ(1u, p.used);

  // An exponent marker without digits is not part of the number.
  EXPECT_EQ(1u, Parse("1e").used);
  EXPECT_EQ(1u, Parse("1e+").used);
  EXPECT_EQ(2u, Parse("1.e").used);
  EXPECT_EQ(4u, Parse("1E-2").used);
  EXPECT_EQ(0.01, Parse("1E-2").value);
  EXPECT_EQ(0.5, Parse("+.5").value);
  EXPECT_EQ(5.0, Parse("5.").value);

  // Nothing found: the end is the start of the text, even past white space.
  const char* kNoNumber[] = {"",
                             "  ",
                             "-",
                             "+",
                             ".",
                             ".e1",
                             " +-1",
                             "e5",
                             "in",
                             "na",
                             "--1",
                             "\xA0"
                             "1"};
  for (const char* text : kNoNumber) {
    p = Parse(text);
    EXPECT_EQ(0.0, p.value) << text;
    EXPECT_EQ(0u, p.used) << text;
    EXPECT_FALSE(p.range_error) << text;
  }

  // The decimal separator is always '.'.
  EXPECT_EQ(1u, Parse("1,5").used);
}

TEST(DoubleTextConversionTest, ParseInfinityAndNan) {
  Parsed p = Parse("InFiNiTy");
  EXPECT_EQ(HUGE_VAL, p.value);
  EXPECT_EQ(8u, p.used);
  p = Parse("-inf");
  EXPECT_EQ(-HUGE_VAL, p.value);
  EXPECT_EQ(4u, p.used);
  EXPECT_EQ(3u, Parse("infinit").used);
  EXPECT_FALSE(Parse("inf").range_error);

  p = Parse("nan");
  EXPECT_TRUE(std::isnan(p.value));
  EXPECT_EQ(3u, p.used);
  p = Parse("-NaN");
  EXPECT_TRUE(std::isnan(p.value));
  EXPECT_TRUE(std::signbit(p.value));

  // A hexadecimal payload sets the mantissa bits.
  p = Parse("nan(7ff)x");
  EXPECT_EQ(0x7FF00000000007FFULL, BitsOf(p.value));
  EXPECT_EQ(8u, p.used);
  p = Parse("NAN(8000000000001)");
  EXPECT_EQ(0x7FF8000000000001ULL, BitsOf(p.value));
  p = Parse("-nan(1)");
  EXPECT_EQ(0xFFF0000000000001ULL, BitsOf(p.value));
  // Only the low 52 bits fit the mantissa; a zero payload stays a NaN.
  EXPECT_EQ(0x7FFFFFFFFFFFFFFFULL,
            BitsOf(Parse("nan(FFFFFFFFFFFFFFFF)").value));
  EXPECT_TRUE(std::isnan(Parse("nan(0)").value));

  // A malformed payload is not used.
  const char* kMalformed[] = {"nan(", "nan()", "nan(12", "nan(xyz)",
                              "nan(1 2)"};
  for (const char* text : kMalformed) {
    p = Parse(text);
    EXPECT_TRUE(std::isnan(p.value)) << text;
    EXPECT_EQ(3u, p.used) << text;
  }
}

TEST(DoubleTextConversionTest, ParseRounding) {
  // Ties go to even; one digit far beyond the 17th breaks the tie.
  EXPECT_EQ(9007199254740992.0, Parse("9007199254740993").value);
  EXPECT_EQ(9007199254740996.0, Parse("9007199254740995").value);
  EXPECT_EQ(9007199254740994.0,
            Parse("9007199254740993.0000000000000000000000000001").value);
  EXPECT_EQ(0.1, Parse("0.1000000000000000055511151231257827").value);
  EXPECT_EQ(1.0, Parse("1000000000000000000000000000000e-30").value);
  // Zeros that push the digits far out do not matter.
  std::string many_zeros = "0." + std::string(400, '0') + "1e401";
  EXPECT_EQ(1.0, Parse(many_zeros.c_str()).value);
  EXPECT_FALSE(Parse(many_zeros.c_str()).range_error);
}

TEST(DoubleTextConversionTest, ParseRangeErrors) {
  struct {
    const char* text;
    double value;
    bool range_error;
  } const kCases[] = {
      {"1e400", HUGE_VAL, true},
      {"-1e400", -HUGE_VAL, true},
      {"1e99999999999999999999999", HUGE_VAL, true},
      // Halfway between the largest double and 2^1024 is the boundary.
      {"1.7976931348623158e308", DBL_MAX, false},
      {"1.7976931348623159e308", HUGE_VAL, true},
      {"1e-400", 0.0, true},
      {"1e-99999999999999999999999", 0.0, true},
      {"0e99999", 0.0, false},
      {"0.000", 0.0, false},
      {"2.2250738585072014e-308", DBL_MIN, false},
      // Subnormal results report a range error but keep their value.
      {"2.2250738585072011e-308", 2.2250738585072009e-308, true},
      {"5e-324", std::numeric_limits<double>::denorm_min(), true},
      // Just above and just below half of the smallest subnormal.
      {"2.4703282292062328e-324", std::numeric_limits<double>::denorm_min(),
       true},
      {"2.4703282292062327e-324", 0.0, true},
      {"1e-300", 1e-300, false},
  };
  for (const auto& c : kCases) {
    Parsed p = Parse(c.text);
    EXPECT_EQ(BitsOf(c.value), BitsOf(p.value)) << c.text;
    EXPECT_EQ(c.range_error, p.range_error) << c.text;
    EXPECT_EQ(strlen(c.text), p.used) << c.text;
  }
  // Underflow keeps the sign.
  Parsed p = Parse("-1e-400");
  EXPECT_EQ(0.0, p.value);
  EXPECT_TRUE(std::signbit(p.value));
  EXPECT_TRUE(p.range_error);
}

}  // namespace base
