#ifndef BASE_STRINGS_UTF_STRING_CONVERSION_UTILS_H_
#define BASE_STRINGS_UTF_STRING_CONVERSION_UTILS_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/strings/string16.h"

namespace base {

// Reads the code point whose sequence starts at `*char_index`. On return
// `*char_index` designates the LAST unit consumed, so the caller adds one to
// reach the next sequence. Returns whether `*code_point_out` is a valid code
// point (valid: below 0xD800, or 0xE000 to 0x10FFFF; noncharacters count as
// valid).
//
// UTF-8: a malformed sequence stores 0xFFFFFFFF (-1) and consumes the lead
// byte plus the continuation bytes that belong to it.
bool ReadUnicodeCharacter(const char* src,
                          int32_t src_len,
                          int32_t* char_index,
                          uint32_t* code_point_out);
// UTF-16: an unpaired surrogate leaves `*char_index` and `*code_point_out`
// untouched.
bool ReadUnicodeCharacter(const char16* src,
                          int32_t src_len,
                          int32_t* char_index,
                          uint32_t* code_point_out);

// Appends the code point and returns the number of bytes (1-4) or units (1-2)
// written.
size_t WriteUnicodeCharacter(uint32_t code_point, std::string* output);
size_t WriteUnicodeCharacter(uint32_t code_point, string16* output);

// Empty `output` and reserve room for converting `src_len` units or bytes:
// the input length when the first one is ASCII, otherwise three times it for
// UTF-8 output and half of it for UTF-16 output.
void PrepareForUTF8Output(const char16* src,
                          size_t src_len,
                          std::string* output);
void PrepareForUTF16Or32Output(const char* src,
                               size_t src_len,
                               string16* output);

// Decodes the rest of a UTF-8 sequence whose lead byte `lead` has already
// been read; `*pi` indexes the byte after the lead and is left after the
// bytes consumed. Returns the code point, or -1 for a malformed sequence.
// Every caller passes -1 as `strict`, the only mode this decoder has.
int32_t UTF8NextCharSafeBody(const uint8_t* s,
                             int32_t* pi,
                             int32_t length,
                             uint8_t lead,
                             int8_t strict);

}  // namespace base

#endif  // BASE_STRINGS_UTF_STRING_CONVERSION_UTILS_H_
