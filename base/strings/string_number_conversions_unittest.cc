#include "base/strings/string_number_conversions.h"

#include <errno.h>
#include <float.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "base/strings/string_piece.h"
#include "gtest/gtest.h"

namespace base {

namespace {

// A value no parser produces for the inputs below, to prove the output is
// written on every path.
constexpr int kUnwritten = 12345;

template <typename Value>
struct ParseCase {
  StringPiece input;
  Value expected;
  bool success;
};

template <typename Value, typename Parser>
void ExpectParses(const std::vector<ParseCase<Value>>& cases, Parser parser) {
  for (const ParseCase<Value>& c : cases) {
    Value output = static_cast<Value>(kUnwritten);
    EXPECT_EQ(c.success, parser(c.input, &output)) << c.input;
    EXPECT_EQ(c.expected, output) << c.input;
  }
}

uint64_t BitsOf(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof(bits));
  return bits;
}

double DoubleFromBits(uint64_t bits) {
  double value;
  memcpy(&value, &bits, sizeof(value));
  return value;
}

}  // namespace

TEST(StringNumberConversionsTest, IntegersToText) {
  EXPECT_EQ("0", IntToString(0));
  EXPECT_EQ("-1", IntToString(-1));
  EXPECT_EQ("2147483647", IntToString(std::numeric_limits<int>::max()));
  EXPECT_EQ("-2147483648", IntToString(std::numeric_limits<int>::min()));
  EXPECT_EQ("4294967295", UintToString(std::numeric_limits<unsigned>::max()));
  EXPECT_EQ("-9223372036854775808",
            Int64ToString(std::numeric_limits<int64_t>::min()));
  EXPECT_EQ("9223372036854775807",
            Int64ToString(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ("18446744073709551615",
            Uint64ToString(std::numeric_limits<uint64_t>::max()));
  EXPECT_EQ("1000000", Uint64ToString(1000000));
  EXPECT_EQ(L"-2147483648", IntToString16(std::numeric_limits<int>::min()));
  EXPECT_EQ(L"0", UintToString16(0));
  EXPECT_EQ(L"4294967295",
            UintToString16(std::numeric_limits<unsigned>::max()));
  EXPECT_EQ(L"18446744073709551615",
            Uint64ToString16(std::numeric_limits<uint64_t>::max()));
}

TEST(StringNumberConversionsTest, StringToInt) {
  const int kMax = std::numeric_limits<int>::max();
  const int kMin = std::numeric_limits<int>::min();
  ExpectParses<int>(
      {
          {"42", 42, true},
          {"+42", 42, true},
          {"-0", 0, true},
          {"007", 7, true},
          {"2147483647", kMax, true},
          {"-2147483648", kMin, true},
          // Leading white space is skipped but makes the result false.
          {" 42", 42, false},
          {"\t\n-7", -7, false},
          {" -2147483649", kMin, false},
          // Trailing characters keep the value read so far.
          {"42 ", 42, false},
          {"12a", 12, false},
          {"-12a", -12, false},
          {StringPiece("1\0"
                       "2",
                       3),
           1, false},
          // Nothing to read.
          {"", 0, false},
          {"-", 0, false},
          {"+", 0, false},
          {"   ", 0, false},
          {"+-1", 0, false},
          {"--1", 0, false},
          {"- 1", 0, false},
          {"1 2", 1, false},
          {"0x10", 0, false},
          // Overflow saturates, both on the last digit and on the length.
          {"2147483648", kMax, false},
          {"2147483650", kMax, false},
          {"21474836470", kMax, false},
          {"99999999999999999999", kMax, false},
          {"-2147483649", kMin, false},
          {"-21474836480", kMin, false},
          // Overflow wins over a later bad character.
          {"2147483648x", kMax, false},
      },
      [](StringPiece input, int* output) {
        return StringToInt(input, output);
      });
}

TEST(StringNumberConversionsTest, StringToUnsigned) {
  const unsigned kMax = std::numeric_limits<unsigned>::max();
  ExpectParses<unsigned>(
      {
          {"4294967295", kMax, true},
          {"+0", 0, true},
          {"4294967296", kMax, false},
          {"42949672950", kMax, false},
          // A minus sign ends the parse with 0, even before digits.
          {"-1", 0, false},
          {"-0", 0, false},
          {" 5", 5, false},
          {"5.", 5, false},
      },
      [](StringPiece input, unsigned* output) {
        return StringToUint(input, output);
      });

  const uint64_t kMax64 = std::numeric_limits<uint64_t>::max();
  ExpectParses<uint64_t>(
      {
          {"18446744073709551615", kMax64, true},
          {"18446744073709551614", kMax64 - 1, true},
          {"18446744073709551616", kMax64, false},
          {"18446744073709551620", kMax64, false},
          {"184467440737095516150", kMax64, false},
          {"4294967296", uint64_t{4294967296}, true},
          {"-18446744073709551615", 0, false},
      },
      [](StringPiece input, uint64_t* output) {
        return StringToUint64(input, output);
      });

  unsigned output = kUnwritten;
  EXPECT_TRUE(String16ToUint(L"4294967295", &output));
  EXPECT_EQ(kMax, output);
  EXPECT_FALSE(String16ToUint(L"4294967296", &output));
  EXPECT_EQ(kMax, output);
  EXPECT_FALSE(String16ToUint(L" 12", &output));
  EXPECT_EQ(12u, output);
  EXPECT_FALSE(String16ToUint(L"-3", &output));
  EXPECT_EQ(0u, output);
  // Digits of other scripts are not decimal digits here.
  EXPECT_FALSE(String16ToUint(L"1\x0661", &output));
  EXPECT_EQ(1u, output);
  EXPECT_FALSE(String16ToUint(StringPiece16(), &output));
  EXPECT_EQ(0u, output);
}

TEST(StringNumberConversionsTest, HexStringToIntegers) {
  const int kMax = std::numeric_limits<int>::max();
  const int kMin = std::numeric_limits<int>::min();
  ExpectParses<int>(
      {
          {"0x1F", 31, true},
          {"0X1f", 31, true},
          {"1f", 31, true},
          {"-0x10", -16, true},
          {"+0x10", 16, true},
          {"7FFFFFFF", kMax, true},
          {"-80000000", kMin, true},
          {"-0x80000000", kMin, true},
          {"80000000", kMax, false},
          {"ffffffff", kMax, false},
          {"-80000001", kMin, false},
          {"-800000000", kMin, false},
          // "0x" needs a digit after it to count as a prefix.
          {"0x", 0, false},
          {"-0x", 0, false},
          {"0x0x1", 0, false},
          {"x1", 0, false},
          {"0xg", 0, false},
          {"12g", 0x12, false},
          {" 0x1", 1, false},
          {"", 0, false},
      },
      [](StringPiece input, int* output) {
        return HexStringToInt(input, output);
      });

  ExpectParses<unsigned>(
      {
          {"ffffffff", 0xFFFFFFFFu, true},
          {"0x00000000ffffffff", 0xFFFFFFFFu, true},
          {"100000000", 0xFFFFFFFFu, false},
          {"-1", 0, false},
      },
      [](StringPiece input, unsigned* output) {
        return HexStringToUint(input, output);
      });

  const uint64_t kMax64 = std::numeric_limits<uint64_t>::max();
  ExpectParses<uint64_t>(
      {
          {"FFFFFFFFFFFFFFFF", kMax64, true},
          {"0xfFfFfFfFfFfFfFfF", kMax64, true},
          {"8000000000000000", uint64_t{1} << 63, true},
          {"10000000000000000", kMax64, false},
          {"1FFFFFFFFFFFFFFFF", kMax64, false},
      },
      [](StringPiece input, uint64_t* output) {
        return HexStringToUint64(input, output);
      });
}

TEST(StringNumberConversionsTest, HexBytes) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(HexStringToBytes("0aFF", &bytes));
  EXPECT_EQ((std::vector<uint8_t>{0x0A, 0xFF}), bytes);

  // The vector is never cleared: good pairs before a bad one stay.
  EXPECT_FALSE(HexStringToBytes("00zz", &bytes));
  EXPECT_EQ((std::vector<uint8_t>{0x0A, 0xFF, 0x00}), bytes);
  EXPECT_FALSE(HexStringToBytes("0z", &bytes));
  EXPECT_FALSE(HexStringToBytes("abc", &bytes));
  EXPECT_FALSE(HexStringToBytes("", &bytes));
  EXPECT_FALSE(HexStringToBytes("0x01", &bytes));
  EXPECT_FALSE(HexStringToBytes(std::string("0\0", 2), &bytes));
  EXPECT_EQ(3u, bytes.size());

  const uint8_t kPair[] = {0x00, 0xAB};
  EXPECT_EQ("00AB", HexEncode(kPair, sizeof(kPair)));
  EXPECT_EQ("", HexEncode(nullptr, 0));

  // Every byte value survives the round trip.
  std::vector<uint8_t> all;
  for (int i = 0; i < 256; ++i)
    all.push_back(static_cast<uint8_t>(i));
  std::string hex = HexEncode(all.data(), all.size());
  ASSERT_EQ(512u, hex.size());
  EXPECT_EQ("0F10", hex.substr(30, 4));
  EXPECT_EQ("FEFF", hex.substr(508));
  std::vector<uint8_t> decoded;
  EXPECT_TRUE(HexStringToBytes(hex, &decoded));
  EXPECT_EQ(all, decoded);
}

TEST(StringNumberConversionsTest, DoubleToString) {
  struct {
    double value;
    const char* text;
  } const kCases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {1.0, "1"},
      {-2.5, "-2.5"},
      {0.1, ".1"},
      {0.5, ".5"},
      {0.001, ".001"},
      {0.0001, ".0001"},
      {0.00001, "1e-05"},
      {1e-7, "1e-07"},
      {0.1 + 0.2, ".30000000000000004"},
      {100, "100"},
      {123456, "123456"},
      {100000, "100000"},
      {1000000, "1e+06"},
      {1234567, "1234567"},
      {123456.7, "123456.7"},
      {12345678901234567890.0, "12345678901234567000"},
      {1e21, "1e+21"},
      {1e22, "1e+22"},
      {1e100, "1e+100"},
      {1.5e300, "1.5e+300"},
      {DBL_MAX, "1.7976931348623157e+308"},
      {DBL_MIN, "2.2250738585072014e-308"},
      // Largest subnormal and the smallest one.
      {DoubleFromBits(0x000FFFFFFFFFFFFFULL), "2.225073858507201e-308"},
      {std::numeric_limits<double>::denorm_min(), "5e-324"},
      {-std::numeric_limits<double>::denorm_min(), "-5e-324"},
      {HUGE_VAL, "Infinity"},
      {-HUGE_VAL, "-Infinity"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {-std::numeric_limits<double>::quiet_NaN(), "-NaN"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.text, DoubleToString(c.value)) << c.text;
}

TEST(StringNumberConversionsTest, StringToDouble) {
  double output = kUnwritten;
  EXPECT_TRUE(StringToDouble("1.5", &output));
  EXPECT_EQ(1.5, output);
  EXPECT_TRUE(StringToDouble("+.5e1", &output));
  EXPECT_EQ(5.0, output);
  EXPECT_TRUE(StringToDouble("-0", &output));
  EXPECT_TRUE(std::signbit(output));
  EXPECT_TRUE(StringToDouble("inf", &output));
  EXPECT_EQ(HUGE_VAL, output);
  EXPECT_TRUE(StringToDouble("-Infinity", &output));
  EXPECT_EQ(-HUGE_VAL, output);
  EXPECT_TRUE(StringToDouble("NaN", &output));
  EXPECT_TRUE(std::isnan(output));

  output = kUnwritten;
  EXPECT_FALSE(StringToDouble(" 1.5", &output));
  EXPECT_EQ(1.5, output);
  EXPECT_FALSE(StringToDouble("1.5x", &output));
  EXPECT_EQ(1.5, output);
  EXPECT_FALSE(StringToDouble("1.5 ", &output));
  EXPECT_FALSE(StringToDouble(std::string("1.5\0"
                                          "1",
                                          5),
                              &output));
  EXPECT_EQ(1.5, output);
  EXPECT_FALSE(StringToDouble("", &output));
  EXPECT_EQ(0.0, output);
  EXPECT_FALSE(StringToDouble("x", &output));
  EXPECT_EQ(0.0, output);
  EXPECT_FALSE(StringToDouble("0x10", &output));
  EXPECT_EQ(0.0, output);

  // Range errors: the value is still delivered and errno stays ERANGE.
  errno = 0;
  EXPECT_FALSE(StringToDouble("1e400", &output));
  EXPECT_EQ(HUGE_VAL, output);
  EXPECT_EQ(ERANGE, errno);
  EXPECT_FALSE(StringToDouble("5e-324", &output));
  EXPECT_EQ(std::numeric_limits<double>::denorm_min(), output);

  // Without a range error the caller's errno survives.
  errno = EDOM;
  EXPECT_TRUE(StringToDouble("2.25", &output));
  EXPECT_EQ(EDOM, errno);
  EXPECT_FALSE(StringToDouble("2.25z", &output));
  EXPECT_EQ(EDOM, errno);
}

TEST(StringNumberConversionsTest, DoubleTextRoundTrip) {
  std::vector<double> values = {5e-324,
                                1e-323,
                                2.2250738585072009e-308,
                                2.2250738585072014e-308,
                                DBL_MAX,
                                9007199254740993.0,
                                0.1,
                                1.0 / 3,
                                2.0 / 3,
                                1e23,
                                8.41e21,
                                5e-310,
                                123456789012345680.0};
  // Neighbours of powers of ten, where shortest digits are hardest.
  for (int exponent = -300; exponent <= 300; exponent += 7) {
    double power = pow(10.0, exponent);
    values.push_back(power);
    values.push_back(nextafter(power, 0.0));
    values.push_back(nextafter(power, HUGE_VAL));
  }
  // A fixed pseudo-random spread over all finite bit patterns.
  uint64_t state = 0x9E3779B97F4A7C15ULL;
  for (int i = 0; i < 2000; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    double value = DoubleFromBits(state);
    if (std::isfinite(value))
      values.push_back(value);
  }
  for (double value : values) {
    std::string text = DoubleToString(value);
    double parsed = 0;
    StringToDouble(text, &parsed);
    EXPECT_EQ(BitsOf(value), BitsOf(parsed)) << text;
    std::string digits;
    for (char c : text.substr(0, text.find('e'))) {
      if (c >= '0' && c <= '9')
        digits.push_back(c);
    }
    // Zeros that only place the point are not significant.
    digits.erase(0, digits.find_first_not_of('0'));
    digits.erase(digits.find_last_not_of('0') + 1);
    EXPECT_LE(digits.size(), 17u) << text;
  }
}

// errno is per thread, so a range error on one thread never spoils another
// thread's result.
TEST(StringNumberConversionsTest, ConcurrentDoubleConversions) {
  constexpr int kIterations = 5000;
  int range_failures = 0;
  int good_failures = 0;
  std::thread ranging([&range_failures] {
    for (int i = 0; i < kIterations; ++i) {
      double output = 0;
      if (StringToDouble("1e-400", &output) || output != 0.0)
        ++range_failures;
    }
  });
  std::thread good([&good_failures] {
    for (int i = 0; i < kIterations; ++i) {
      double output = 0;
      if (!StringToDouble("0.30000000000000004", &output) ||
          DoubleToString(output) != ".30000000000000004") {
        ++good_failures;
      }
    }
  });
  ranging.join();
  good.join();
  EXPECT_EQ(0, range_failures);
  EXPECT_EQ(0, good_failures);
}

}  // namespace base
