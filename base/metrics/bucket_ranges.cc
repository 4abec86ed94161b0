#include "base/metrics/bucket_ranges.h"

#include <array>

#include "base/logging.h"

namespace base {

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t Crc32(uint32_t sum, HistogramBase::Sample value) {
  uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) {
    sum = kCrcTable[(sum ^ bits) & 0xFF] ^ (sum >> 8);
    bits >>= 8;
  }
  return sum;
}

}  // namespace

BucketRanges::BucketRanges(size_t num_ranges)
    : ranges_(num_ranges, 0), checksum_(0) {}

BucketRanges::~BucketRanges() = default;

void BucketRanges::set_range(size_t i, HistogramBase::Sample value) {
  CHECK_GE(value, 0);
  ranges_[i] = value;
}

uint32_t BucketRanges::CalculateChecksum() const {
  uint32_t checksum = static_cast<uint32_t>(ranges_.size());
  for (HistogramBase::Sample value : ranges_)
    checksum = Crc32(checksum, value);
  return checksum;
}

bool BucketRanges::HasValidChecksum() const {
  return CalculateChecksum() == checksum_;
}

void BucketRanges::ResetChecksum() {
  checksum_ = CalculateChecksum();
}

bool BucketRanges::Equals(const BucketRanges* other) const {
  return checksum_ == other->checksum_ && ranges_ == other->ranges_;
}

}  // namespace base
