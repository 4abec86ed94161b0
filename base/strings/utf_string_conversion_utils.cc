#include "base/strings/utf_string_conversion_utils.h"

namespace base {
namespace {

const int32_t kDecodeError = -1;

bool IsValidCodepoint(uint32_t code_point) {
  return code_point < 0xD800u ||
         (code_point >= 0xE000u && code_point <= 0x10FFFFu);
}

bool IsContinuationByte(uint8_t b) {
  return (b & 0xC0) == 0x80;
}

bool IsLeadSurrogate(uint32_t unit) {
  return (unit & 0xFFFFFC00u) == 0xD800u;
}

bool IsTrailSurrogate(uint32_t unit) {
  return (unit & 0xFFFFFC00u) == 0xDC00u;
}

// How many continuation bytes a lead byte announces. 0x80-0xBF and
// 0xFE-0xFF announce none and are illegal as leads; 0xF8-0xFD announce the
// obsolete five- and six-byte forms, which are always illegal but still
// swallow their continuation bytes.
int32_t ContinuationCount(uint8_t lead) {
  if (lead < 0xC0)
    return 0;
  if (lead < 0xE0)
    return 1;
  if (lead < 0xF0)
    return 2;
  if (lead < 0xF8)
    return 3;
  if (lead < 0xFC)
    return 4;
  if (lead < 0xFE)
    return 5;
  return 0;
}

// The smallest code point that needs the given number of continuation bytes;
// anything below is an overlong form.
uint32_t SmallestLegal(int32_t count) {
  static const uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  return kSmallest[count];
}

// Moves `*pi` over at most `limit` continuation bytes, stopping at the first
// byte that is not one or at `length`.
void SkipContinuationBytes(const uint8_t* s,
                           int32_t* pi,
                           int32_t length,
                           int32_t limit) {
  while (limit-- > 0 && *pi < length && IsContinuationByte(s[*pi]))
    ++*pi;
}

}  // namespace

int32_t UTF8NextCharSafeBody(const uint8_t* s,
                             int32_t* pi,
                             int32_t length,
                             uint8_t lead,
                             int8_t /*strict*/) {
  if (lead < 0x80)
    return lead;
  const int32_t start = *pi;
  const int32_t count = ContinuationCount(lead);
  if (count == 0)
    return kDecodeError;
  if (count > length - start) {
    // Truncated: swallow whatever continuation bytes are left.
    SkipContinuationBytes(s, pi, length, length - start);
    return kDecodeError;
  }

  bool legal = count <= 3;
  uint32_t c = lead & ((1u << (6 - count)) - 1);
  int32_t i = start;
  if (legal && count == 3) {
    // Decide early when the sequence would exceed U+10FFFF.
    legal = IsContinuationByte(s[i]);
    c = (c << 6) | (s[i++] & 0x3F);
    if (c >= 0x110)
      legal = false;
  }
  while (legal && i < start + count) {
    legal = IsContinuationByte(s[i]);
    c = (c << 6) | (s[i++] & 0x3F);
  }
  if (legal && (c < SmallestLegal(count) || (c >= 0xD800 && c <= 0xDFFF)))
    legal = false;

  if (!legal) {
    *pi = start;
    SkipContinuationBytes(s, pi, length, count);
    return kDecodeError;
  }
  *pi = i;
  return static_cast<int32_t>(c);
}

bool ReadUnicodeCharacter(const char* src,
                          int32_t src_len,
                          int32_t* char_index,
                          uint32_t* code_point_out) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(src);
  int32_t i = *char_index;
  const uint8_t lead = bytes[i++];
  int32_t code_point = kDecodeError;
  if (lead < 0x80)
    code_point = lead;
  else if (lead >= 0xC0 && lead <= 0xFD)
    code_point = UTF8NextCharSafeBody(bytes, &i, src_len, lead, -1);
  *code_point_out = static_cast<uint32_t>(code_point);
  *char_index = i - 1;
  return IsValidCodepoint(*code_point_out);
}

bool ReadUnicodeCharacter(const char16* src,
                          int32_t src_len,
                          int32_t* char_index,
                          uint32_t* code_point_out) {
  const uint32_t unit = src[*char_index];
  if (!IsLeadSurrogate(unit) && !IsTrailSurrogate(unit)) {
    *code_point_out = unit;
    return IsValidCodepoint(unit);
  }
  if (IsTrailSurrogate(unit) || *char_index + 1 >= src_len)
    return false;
  const uint32_t trail = src[*char_index + 1];
  if (!IsTrailSurrogate(trail))
    return false;
  *code_point_out = 0x10000 + ((unit - 0xD800) << 10) + (trail - 0xDC00);
  ++*char_index;
  return true;
}

size_t WriteUnicodeCharacter(uint32_t code_point, std::string* output) {
  if (code_point < 0x80) {
    output->push_back(static_cast<char>(code_point));
    return 1;
  }
  const size_t start = output->size();
  output->resize(start + 4);
  char* out = &(*output)[start];
  size_t written;
  if (code_point < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code_point >> 6));
    written = 1;
  } else if (code_point < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (code_point >> 12));
    out[1] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    written = 2;
  } else {
    out[0] = static_cast<char>(0xF0 | (code_point >> 18));
    out[1] = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    written = 3;
  }
  out[written++] = static_cast<char>(0x80 | (code_point & 0x3F));
  output->resize(start + written);
  return written;
}

size_t WriteUnicodeCharacter(uint32_t code_point, string16* output) {
  if (code_point < 0x10000) {
    output->push_back(static_cast<char16>(code_point));
    return 1;
  }
  output->push_back(static_cast<char16>((code_point >> 10) + 0xD7C0));
  output->push_back(static_cast<char16>((code_point & 0x3FF) | 0xDC00));
  return 2;
}

void PrepareForUTF8Output(const char16* src,
                          size_t src_len,
                          std::string* output) {
  output->clear();
  if (src_len == 0)
    return;
  if (src[0] < 0x80)
    output->reserve(src_len);
  else
    output->reserve(src_len * 3);
}

void PrepareForUTF16Or32Output(const char* src,
                               size_t src_len,
                               string16* output) {
  output->clear();
  if (src_len == 0)
    return;
  if (static_cast<uint8_t>(src[0]) < 0x80)
    output->reserve(src_len);
  else
    output->reserve(src_len / 2);
}

}  // namespace base
