#include "base/strings/string_number_conversions.h"

#include <errno.h>
#include <float.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

#include <limits>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "base/strings/double_text_conversion.h"
#include "gtest/gtest.h"

namespace base {

namespace {

const int kIntMax = std::numeric_limits<int>::max();
const int kIntMin = std::numeric_limits<int>::min();
const uint64_t kUint64Max = std::numeric_limits<uint64_t>::max();
const double kInf = HUGE_VAL;

// The output starts with a value that no input here gives.
template <typename Piece, typename Value>
void ExpectParse(bool (*parse)(Piece, Value*),
                 std::common_type_t<Piece> input,
                 std::common_type_t<Value> expected,
                 bool success) {
  Value output = static_cast<Value>(12345);
  EXPECT_EQ(success, parse(input, &output))
      << testing::PrintToString(input.as_string());
  EXPECT_EQ(expected, output) << testing::PrintToString(input.as_string());
}

uint64_t BitsOf(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof(bits));
  return bits;
}

double FromBits(uint64_t bits) {
  double value;
  memcpy(&value, &bits, sizeof(value));
  return value;
}

}  // namespace

TEST(StringNumberConversionsTest, IntegersToText) {
  EXPECT_EQ("-2147483648", IntToString(kIntMin));
  EXPECT_EQ("-9223372036854775808",
            Int64ToString(std::numeric_limits<int64_t>::min()));
  EXPECT_EQ("18446744073709551615", Uint64ToString(kUint64Max));
  EXPECT_EQ(L"4294967295", UintToString16(4294967295u));
  EXPECT_EQ(L"0", IntToString16(0));
}

// White space and trailing text fail but keep the value read; overflow
// saturates; '-' ends an unsigned parse with 0; "0x" needs a digit after.
TEST(StringNumberConversionsTest, TextToIntegers) {
  ExpectParse(&StringToInt, "+42", 42, true);
  ExpectParse(&StringToInt, "-2147483648", kIntMin, true);
  ExpectParse(&StringToInt, "\t\n-7", -7, false);
  ExpectParse(&StringToInt, "-12a", -12, false);
  ExpectParse(&StringToInt, "-", 0, false);
  ExpectParse(&StringToInt, "+-1", 0, false);
  ExpectParse(&StringToInt, "2147483648", kIntMax, false);
  ExpectParse(&StringToInt, "21474836470", kIntMax, false);
  ExpectParse(&StringToInt, "-2147483649", kIntMin, false);
  ExpectParse(&StringToInt, "-21474836480x", kIntMin, false);
  ExpectParse(&StringToUint, "4294967296", ~0u, false);
  ExpectParse(&StringToUint, "-0", 0, false);
  ExpectParse(&String16ToUint, L" 1\x0661", 1, false);
  ExpectParse(&String16ToUint, L"4294967295", ~0u, true);
  ExpectParse(&StringToUint64, "18446744073709551615", kUint64Max, true);
  ExpectParse(&StringToUint64, "18446744073709551616", kUint64Max, false);
  ExpectParse(&StringToUint64, "184467440737095516150", kUint64Max, false);
  ExpectParse(&HexStringToInt, "0X1f", 31, true);
  ExpectParse(&HexStringToInt, "-0x10", -16, true);
  ExpectParse(&HexStringToInt, "7FFFFFFF", kIntMax, true);
  ExpectParse(&HexStringToInt, "-80000000", kIntMin, true);
  ExpectParse(&HexStringToInt, "80000000", kIntMax, false);
  ExpectParse(&HexStringToInt, "-80000001", kIntMin, false);
  ExpectParse(&HexStringToInt, "0x", 0, false);
  ExpectParse(&HexStringToInt, "0x1", 1, true);
  ExpectParse(&HexStringToInt, "x1", 0, false);
  ExpectParse(&HexStringToInt, "12g", 0x12, false);
  ExpectParse(&HexStringToUint, "0x00000000ffffffff", ~0u, true);
  ExpectParse(&HexStringToUint, "100000000", ~0u, false);
  ExpectParse(&HexStringToUint64, "FFFFFFFFFFFFFFFF", kUint64Max, true);
  ExpectParse(&HexStringToUint64, "1FFFFFFFFFFFFFFFF", kUint64Max, false);
}

// The vector is never cleared: good pairs before a bad one stay. Every byte
// value survives the round trip.
TEST(StringNumberConversionsTest, HexBytes) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(HexStringToBytes("0aFF", &bytes));
  for (const char* bad : {"00zz", "z0", "abc", "", "0x01"})
    EXPECT_FALSE(HexStringToBytes(bad, &bytes)) << bad;
  EXPECT_EQ((std::vector<uint8_t>{0x0A, 0xFF, 0x00}), bytes);
  std::vector<uint8_t> all;
  for (int i = 0; i < 256; ++i)
    all.push_back(static_cast<uint8_t>(i));
  const std::string hex = HexEncode(all.data(), all.size());
  EXPECT_EQ("0F10", hex.substr(30, 4));
  EXPECT_EQ("", HexEncode(nullptr, 0));
  bytes.clear();
  EXPECT_TRUE(HexStringToBytes(hex, &bytes));
  EXPECT_EQ(all, bytes);
}

// The value read is kept; errno is ERANGE after a range error, else kept.
TEST(StringNumberConversionsTest, StringToDouble) {
  const std::tuple<std::string, bool, double, bool> kCases[] = {
      {"-1.5", true, -1.5, false},
      {"inf", true, kInf, false},
      {" 1.5", false, 1.5, false},
      {"1.5x", false, 1.5, false},
      {std::string("1.5\0", 4), false, 1.5, false},
      {"", false, 0.0, false},
      {"1e400", false, kInf, true},
  };
  for (const auto& [text, success, value, range_error] : kCases) {
    double output = 12345;
    errno = EDOM;
    EXPECT_EQ(success, StringToDouble(text, &output)) << text;
    EXPECT_EQ(value, output) << text;
    EXPECT_EQ(range_error ? ERANGE : EDOM, errno) << text;
  }
  EXPECT_EQ(".30000000000000004", DoubleToString(0.1 + 0.2));
}

TEST(DoubleTextConversionTest, Digits) {
  const std::tuple<double, const char*, int> kCases[] = {
      {0.0, "0", 1},
      {-1234.5, "12345", 4},
      {1.5e300, "15", 301},  // Trailing zeros are not digits.
      {-kInf, "Infinity", kNonFiniteDecimalPoint},
      {-std::numeric_limits<double>::quiet_NaN(), "NaN",
       kNonFiniteDecimalPoint},
  };
  for (const auto& [value, expected_digits, expected_decpt] : kCases) {
    int decpt = 0;
    bool sign = false;
    char* end = nullptr;
    char* digits = DoubleToDigits(value, &decpt, &sign, &end);
    EXPECT_STREQ(expected_digits, digits);
    EXPECT_EQ(expected_decpt, decpt) << digits;
    EXPECT_EQ(std::signbit(value), sign) << digits;
    EXPECT_EQ(digits + strlen(expected_digits), end) << digits;
    FreeDigits(digits);
  }
}

// No '0' before a point; exponents below 1e-4 and past five zeros, with
// two digits at least; the longest texts fit the buffer.
TEST(DoubleTextConversionTest, ShortestText) {
  const std::pair<double, const char*> kCases[] = {
      {-0.0, "-0"},
      {0.0001, ".0001"},
      {0.00001, "1e-05"},
      {100000, "100000"},
      {1000000, "1e+06"},
      {123456.7, "123456.7"},
      {1.5e300, "1.5e+300"},
      {-2.2250738585072014e-308, "-2.2250738585072014e-308"},
      {-1.2345678901234567e-4, "-.00012345678901234567"},
      {-12345678901234568e5, "-1234567890123456800000"},
      {-std::numeric_limits<double>::quiet_NaN(), "-NaN"},
  };
  for (const auto& c : kCases) {
    char buffer[kDoubleToShortestTextBufferSize + 8];
    memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(buffer, DoubleToShortestText(buffer, c.first));
    EXPECT_STREQ(c.second, buffer);
    EXPECT_LT(strlen(buffer), size_t{kDoubleToShortestTextBufferSize});
  }
}

// Nothing found takes nothing, white space included; "0x" and a bare "e"
// end the number; ties go to even; overflow, and results that fall to zero
// or below normal, set ERANGE; a NaN payload sets the low 52 bits.
TEST(DoubleTextConversionTest, Parse) {
  const std::tuple<const char*, double, size_t, bool> kCases[] = {
      {"  \t\n-1.5e3xyz", -1500.0, 10, false},
      {"0x10", 0.0, 1, false},
      {"1e+", 1.0, 1, false},
      {"1E-2", 0.01, 4, false},
      {"1,5", 1.0, 1, false},
      {"0.000", 0.0, 5, false},
      {"1.e", 1.0, 2, false},
      {"InFiNiTy", kInf, 8, false},
      {"-inf", -kInf, 4, false},
      {" +-1", 0.0, 0, false},
      {".e1", 0.0, 0, false},
      {"9007199254740995", 9007199254740996.0, 16, false},
      {"9007199254740993.00000000000000000000001", 9007199254740994.0, 40,
       false},
      {"-1e99999999999999999999999", -kInf, 26, true},
      {"1.7976931348623158e308", DBL_MAX, 22, false},
      {"2.2250738585072014e-308", DBL_MIN, 23, false},
      {"1.7976931348623159e308", kInf, 22, true},
      {"-1e-400", -0.0, 7, true},
      {"0e99999", 0.0, 7, false},
      {"2.2250738585072011e-308", 2.2250738585072009e-308, 23, true},
      {"2.4703282292062328e-324", std::numeric_limits<double>::denorm_min(), 23,
       true},
      {"2.4703282292062327e-324", 0.0, 23, true},
      {"nan(7ff)x", FromBits(0x7FF00000000007FF), 8, false},
      {"NAN(8000000000001)", FromBits(0x7FF8000000000001), 18, false},
      {"-nan(1)", FromBits(0xFFF0000000000001), 7, false},
      {"nan(FFFFFFFFFFFFFFFF)", FromBits(0x7FFFFFFFFFFFFFFF), 21, false},
      {"nan(0)", FromBits(0x7FF8000000000000), 6, false},
      {"-NaN(12", FromBits(0xFFF8000000000000), 4, false},
  };
  for (const auto& [text, value, used, range_error] : kCases) {
    errno = EDOM;
    const char* end = nullptr;
    EXPECT_EQ(BitsOf(value), BitsOf(ParseDouble(text, &end))) << text;
    EXPECT_EQ(used, static_cast<size_t>(end - text)) << text;
    EXPECT_EQ(range_error ? ERANGE : EDOM, errno) << text;
  }
  // Zeros that push the digits far out do not matter.
  const std::string many_zeros = "0." + std::string(400, '0') + "1e401";
  EXPECT_EQ(1.0, ParseDouble(many_zeros.c_str(), nullptr));
}

}  // namespace base
