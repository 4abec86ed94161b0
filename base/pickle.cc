#include "base/pickle.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <limits>

#include "base/logging.h"

// Fields are stored in the host's byte order, which the wire format fixes as
// little-endian.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the pickle layout is little-endian");

namespace base {

namespace {

constexpr size_t kFieldAlignment = 4;
// Growth past this size keeps the allocation just under a page multiple.
constexpr size_t kPageSize = 4096;
constexpr size_t kCapacityGranularity = 64;
constexpr size_t kMaxInt = static_cast<size_t>(std::numeric_limits<int>::max());

size_t AlignUp(size_t value, size_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

uint32_t ReadWord(const char* data) {
  uint32_t word;
  memcpy(&word, data, sizeof(word));
  return word;
}

}  // namespace

// PickleIterator -------------------------------------------------------------

PickleIterator::PickleIterator(const Pickle& pickle)
    : payload_(pickle.payload()),
      read_index_(0),
      end_index_(pickle.payload_size()) {}

bool PickleIterator::ReadBool(bool* result) {
  unsigned char byte;
  if (!ReadFixedSize(&byte, sizeof(byte)))
    return false;
  *result = byte != 0;
  return true;
}

bool PickleIterator::ReadInt(int* result) {
  int value;
  if (!ReadFixedSize(&value, sizeof(value)))
    return false;
  *result = value;
  return true;
}

bool PickleIterator::ReadInt64(int64_t* result) {
  int64_t value;
  if (!ReadFixedSize(&value, sizeof(value)))
    return false;
  *result = value;
  return true;
}

bool PickleIterator::ReadString(std::string* result) {
  int length;
  const char* data;
  if (!ReadInt(&length) || !ReadBytes(&data, length))
    return false;
  result->assign(data, static_cast<size_t>(length));
  return true;
}

bool PickleIterator::ReadString16(string16* result) {
  int count;
  if (!ReadInt(&count))
    return false;
  const int64_t byte_count = static_cast<int64_t>(count) * 2;
  if (byte_count > std::numeric_limits<int>::max() ||
      byte_count < std::numeric_limits<int>::min()) {
    return false;
  }
  const char* data;
  if (!ReadBytes(&data, static_cast<int>(byte_count)))
    return false;
  // The payload of a received message need not be aligned for 16-bit units.
  string16 text(static_cast<size_t>(count), 0);
  memcpy(&text[0], data, static_cast<size_t>(byte_count));
  result->swap(text);
  return true;
}

bool PickleIterator::ReadBytes(const char** data, int length) {
  if (length < 0) {
    SkipToEnd();
    return false;
  }
  const char* bytes = Advance(static_cast<size_t>(length));
  if (!bytes)
    return false;
  *data = bytes;
  return true;
}

bool PickleIterator::ReadFixedSize(void* result, size_t size) {
  const char* bytes = Advance(size);
  if (!bytes)
    return false;
  memcpy(result, bytes, size);
  return true;
}

const char* PickleIterator::Advance(size_t length) {
  const size_t remaining = end_index_ - read_index_;
  if (!payload_ || length > remaining) {
    SkipToEnd();
    return nullptr;
  }
  const char* bytes = payload_ + read_index_;
  // The last field of a message may lack its padding.
  read_index_ += std::min(AlignUp(length, kFieldAlignment), remaining);
  return bytes;
}

// Pickle ---------------------------------------------------------------------

Pickle::Pickle()
    : header_(nullptr),
      header_size_(sizeof(uint32_t)),
      capacity_after_header_(0),
      write_offset_(0) {
  Resize(kInitialCapacity);
  SetPayloadSize(0);
}

Pickle::Pickle(const char* data, int data_len)
    : header_(nullptr),
      header_size_(0),
      capacity_after_header_(kCapacityReadOnly),
      write_offset_(0) {
  if (!data || data_len < static_cast<int>(sizeof(uint32_t)))
    return;
  const uint32_t message_size = static_cast<uint32_t>(data_len);
  const uint32_t payload_size = ReadWord(data);
  // Wraps around to a huge value when the payload is said to be longer than
  // the message.
  const uint32_t header_size = message_size - payload_size;
  if (header_size == 0 || header_size > message_size ||
      header_size % kFieldAlignment != 0) {
    return;
  }
  // Never written through: every writer refuses a read-only view.
  header_ = const_cast<char*>(data);
  header_size_ = header_size;
  write_offset_ = payload_size;
}

Pickle::Pickle(const Pickle& other)
    : header_(nullptr),
      header_size_(sizeof(uint32_t)),
      capacity_after_header_(0),
      write_offset_(0) {
  if (!other.header_) {
    Resize(kInitialCapacity);
    SetPayloadSize(0);
    return;
  }
  header_size_ = other.header_size_;
  write_offset_ = other.write_offset_;
  Resize(other.payload_size());
  memcpy(header_, other.header_, other.size());
}

Pickle::~Pickle() {
  if (!is_read_only())
    free(header_);
}

bool Pickle::WriteBool(bool value) {
  return Write4Bytes(value ? 1 : 0);
}

bool Pickle::Write4Bytes(uint32_t value) {
  WriteBytesCommon(&value, sizeof(value));
  return true;
}

bool Pickle::Write8Bytes(uint64_t value) {
  WriteBytesCommon(&value, sizeof(value));
  return true;
}

bool Pickle::WriteString(StringPiece value) {
  CHECK(value.size() <= kMaxInt) << "text too long for a pickle";
  Write4Bytes(static_cast<uint32_t>(value.size()));
  WriteBytesCommon(value.data(), value.size());
  return true;
}

bool Pickle::WriteString16(StringPiece16 value) {
  // The reader takes the byte count as a signed 32-bit number.
  CHECK(value.size() <= kMaxInt / sizeof(char16))
      << "text too long for a pickle";
  Write4Bytes(static_cast<uint32_t>(value.size()));
  WriteBytesCommon(value.data(), value.size() * sizeof(char16));
  return true;
}

bool Pickle::WriteBytes(const void* data, int length) {
  CHECK_GE(length, 0);
  WriteBytesCommon(data, static_cast<size_t>(length));
  return true;
}

size_t Pickle::size() const {
  return header_ ? header_size_ + payload_size() : 0;
}

size_t Pickle::GetTotalAllocatedSize() const {
  return is_read_only() ? 0 : header_size_ + capacity_after_header_;
}

size_t Pickle::payload_size() const {
  return header_ ? ReadWord(header_) : 0;
}

const char* Pickle::payload() const {
  return header_ ? header_ + header_size_ : nullptr;
}

void Pickle::SetPayloadSize(size_t payload_size) {
  const uint32_t word = static_cast<uint32_t>(payload_size);
  memcpy(header_, &word, sizeof(word));
}

void Pickle::WriteBytesCommon(const void* data, size_t length) {
  // A view's memory belongs to someone else and has no room to grow.
  CHECK(!is_read_only()) << "writing into a read-only pickle";
  const size_t padded_length = AlignUp(length, kFieldAlignment);
  const size_t new_size = write_offset_ + padded_length;
  CHECK(padded_length >= length &&
        new_size <= std::numeric_limits<uint32_t>::max())
      << "pickle payload too large";
  if (new_size > capacity_after_header_) {
    size_t new_capacity = capacity_after_header_ * 2;
    if (new_capacity > kPageSize)
      new_capacity = AlignUp(new_capacity, kPageSize) - kCapacityGranularity;
    Resize(std::max(new_capacity, new_size));
  }
  char* destination = mutable_payload() + write_offset_;
  memset(destination + length, 0, padded_length - length);
  SetPayloadSize(new_size);
  write_offset_ = new_size;
  if (length)
    memcpy(destination, data, length);
}

void Pickle::Resize(size_t new_capacity) {
  CHECK(!is_read_only()) << "resizing a read-only pickle";
  new_capacity = AlignUp(new_capacity, kCapacityGranularity);
  void* buffer = realloc(header_, header_size_ + new_capacity);
  CHECK(buffer) << "out of memory for a pickle of " << new_capacity << " bytes";
  header_ = static_cast<char*>(buffer);
  capacity_after_header_ = new_capacity;
}

}  // namespace base
