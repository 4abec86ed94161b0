#ifndef BASE_PICKLE_H_
#define BASE_PICKLE_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

class Pickle;

// Reads the fields of a pickle back in the order they were written. A failed
// read leaves its output untouched and, except where noted, moves the cursor
// to the end so that every later read fails too.
class PickleIterator {
 public:
  explicit PickleIterator(const Pickle& pickle);

  // The low byte of the next 4-byte field; any non-zero byte is true.
  bool ReadBool(bool* result);
  // Also reads unsigned 32-bit fields.
  bool ReadInt(int* result);
  bool ReadInt64(int64_t* result);
  bool ReadString(std::string* result);
  // A count too large to double in 32 bits fails with the cursor left just
  // past the count, not at the end.
  bool ReadString16(string16* result);
  // Points |data| at |length| bytes inside the pickle's payload; they stay
  // valid while the pickle lives.
  bool ReadBytes(const char** data, int length);

 private:
  // Copies |size| bytes into |result| and skips their 4-byte slot.
  bool ReadFixedSize(void* result, size_t size);
  // The next |length| bytes, skipping their padding; null when fewer remain.
  const char* Advance(size_t length);
  void SkipToEnd() { read_index_ = end_index_; }

  const char* payload_;
  size_t read_index_;
  size_t end_index_;
};

// A growable buffer of fields, each padded with zero bytes to a multiple of 4,
// behind a header whose first little-endian 32-bit word is the payload size.
// The layout is the wire format of the installer's inter-process messages:
// the message is the contiguous header and payload, size() bytes at data().
class Pickle {
 public:
  // An empty writable pickle: a 4-byte header and room for 64 payload bytes.
  Pickle();
  // A read-only view of a received message, which must outlive the view. A
  // message whose size word does not fit it (the header it implies is
  // negative, longer than the message or not a multiple of 4) is rejected:
  // the view then holds no data and every read fails.
  Pickle(const char* data, int data_len);
  // A writable copy; the copy of a rejected view is an empty pickle.
  Pickle(const Pickle& other);
  Pickle& operator=(const Pickle&) = delete;
  virtual ~Pickle();

  // Writers append one field each. Writing into a read-only view is a
  // programming error that stops the process.
  bool WriteBool(bool value);
  bool Write4Bytes(uint32_t value);
  bool Write8Bytes(uint64_t value);
  // A signed 32-bit byte count, then the bytes.
  bool WriteString(StringPiece value);
  // A signed 32-bit count of 16-bit units, then the units.
  bool WriteString16(StringPiece16 value);
  // The bytes without a length; |length| must not be negative.
  bool WriteBytes(const void* data, int length);

  // The whole message: header and payload.
  const void* data() const { return header_; }
  size_t size() const;
  // Header and reserved room; 0 for a read-only view.
  size_t GetTotalAllocatedSize() const;

 private:
  friend class PickleIterator;

  // Capacity value that marks a view of memory the pickle does not own.
  static constexpr size_t kCapacityReadOnly = static_cast<size_t>(-1);
  static constexpr size_t kInitialCapacity = 64;

  bool is_read_only() const {
    return capacity_after_header_ == kCapacityReadOnly;
  }
  // Both 0 or null for a rejected view.
  size_t payload_size() const;
  const char* payload() const;
  char* mutable_payload() { return header_ + header_size_; }
  void SetPayloadSize(size_t payload_size);
  void WriteBytesCommon(const void* data, size_t length);
  // Reallocates room for |new_capacity| payload bytes, rounded up to 64.
  void Resize(size_t new_capacity);

  // The header; its first word is the payload size. Null for a rejected
  // view.
  char* header_;
  size_t header_size_;
  size_t capacity_after_header_;
  size_t write_offset_;
};

}  // namespace base

#endif  // BASE_PICKLE_H_
