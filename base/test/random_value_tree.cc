#include "base/test/random_value_tree.h"

#include <float.h>
#include <string.h>

#include <cmath>
#include <limits>

#include "base/strings/utf_string_conversion_utils.h"
#include "base/values.h"

namespace base {
namespace {

// Code points that the writer or the reader treat apart.
constexpr uint32_t kSpecialCodePoints[] = {
    0,      8,      9,       0xA,     0xB,     0xC,    0xD,    0x1F,
    '"',    '\\',   '/',     '<',     0x7F,    0x80,   0x7FF,  0x800,
    0x2028, 0x2029, 0xD7FF,  0xE000,  0xFDD0,  0xFDEF, 0xFFFE, 0xFFFF,
    0xFEFF, 0xFFFD, 0x1FFFE, 0x10000, 0x10FFFF};

// One range of code points for each length of their UTF-8 form.
constexpr uint32_t kRanges[][2] = {{0x20, 0x80},
                                   {0x80, 0x800},
                                   {0x800, 0xD800},
                                   {0xE000, 0x10000},
                                   {0x10000, 0x110000}};

constexpr double kSpecialDoubles[] = {
    0.0,     -0.0,    5e-324,   -5e-324, 1e-310, 2.225073858507201e-308,
    DBL_MIN, DBL_MAX, -DBL_MAX, 0.1,     1e21,   2147483648.0};

}  // namespace

std::unique_ptr<DictionaryValue> RandomValueTree::NextDictionary(int depth) {
  auto dictionary = std::make_unique<DictionaryValue>();
  for (uint64_t i = Below(6); i > 0; --i)
    dictionary->SetWithoutPathExpansion(NextString(), NextValue(depth - 1));
  return dictionary;
}

// splitmix64: small, and the same on every platform.
uint64_t RandomValueTree::Below(uint64_t bound) {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return (z ^ (z >> 31)) % bound;
}

std::unique_ptr<Value> RandomValueTree::NextValue(int depth) {
  const uint64_t kind = Below(depth > 0 ? 8 : 6);
  if (kind == 0)
    return Value::CreateNullValue();
  if (kind == 1)
    return std::make_unique<FundamentalValue>(Below(2) == 0);
  if (kind == 2) {
    const int kInts[] = {0, -1, std::numeric_limits<int>::min(),
                         std::numeric_limits<int>::max(),
                         static_cast<int>(Below(1ull << 32))};
    return std::make_unique<FundamentalValue>(kInts[Below(5)]);
  }
  if (kind == 3)
    return std::make_unique<FundamentalValue>(NextDouble());
  if (kind <= 5)
    return std::make_unique<StringValue>(NextString());
  if (kind == 6)
    return NextDictionary(depth);
  auto list = std::make_unique<ListValue>();
  for (uint64_t i = Below(6); i > 0; --i)
    list->Append(NextValue(depth - 1));
  return list;
}

std::string RandomValueTree::NextString() {
  std::string text;
  for (uint64_t i = Below(8); i > 0; --i) {
    const uint32_t* range = kRanges[Below(5)];
    WriteUnicodeCharacter(
        Below(2) ? kSpecialCodePoints[Below(sizeof(kSpecialCodePoints) / 4)]
                 : range[0] + static_cast<uint32_t>(Below(range[1] - range[0])),
        &text);
  }
  return text;
}

// A double of special interest, or any finite bit pattern.
double RandomValueTree::NextDouble() {
  if (Below(2))
    return kSpecialDoubles[Below(sizeof(kSpecialDoubles) / sizeof(double))];
  double value;
  do {
    const uint64_t bits = Below(std::numeric_limits<uint64_t>::max());
    memcpy(&value, &bits, sizeof(value));
  } while (!std::isfinite(value));
  return value;
}

}  // namespace base
