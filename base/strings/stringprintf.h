#ifndef BASE_STRINGS_STRINGPRINTF_H_
#define BASE_STRINGS_STRINGPRINTF_H_

#include <stdarg.h>
#include <stddef.h>

#include <string>

#include "base/strings/string16.h"

// Formatting goes through the Windows C runtime's printf family, so formats
// follow its conversions (wide text in a narrow format, and any text in a wide
// format, is passed with "%ls").
#define BASE_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(ms_printf, format_index, first_argument)))

namespace base {

// Results longer than this many characters (bytes for narrow text, 16-bit
// units for wide text) are never formatted.
constexpr size_t kMaxFormattedLength = 32 * 1024 * 1024;

// Writes at most |size| - 1 characters and a NUL into |buffer| (nothing when
// |size| is 0). Returns the full length of the formatted text, also when it
// did not fit, or a negative value on a format error.
int vsnprintf(char* buffer, size_t size, const char* format, va_list arguments)
    BASE_PRINTF_FORMAT(3, 0);
int vsnprintf(wchar_t* buffer,
              size_t size,
              const wchar_t* format,
              va_list arguments);

// Append the formatted text to |dst|. A format the runtime cannot carry out
// (such as "%ls" text with a character the C locale has no byte for) leaves
// |dst| as it was, logs an error and fails a DCHECK. A result longer than
// kMaxFormattedLength leaves |dst| as it was too.
void StringAppendV(std::string* dst, const char* format, va_list arguments)
    BASE_PRINTF_FORMAT(2, 0);
void StringAppendVWide(string16* dst, const wchar_t* format, va_list arguments);
void StringAppendF(std::string* dst, const char* format, ...)
    BASE_PRINTF_FORMAT(2, 3);

// Return the formatted text as a new string.
std::string StringPrintf(const char* format, ...) BASE_PRINTF_FORMAT(1, 2);
string16 StringPrintfWide(const wchar_t* format, ...);

// Replaces the contents of |dst| with the formatted text and returns it.
const std::string& StringPrintfTo(std::string* dst, const char* format, ...)
    BASE_PRINTF_FORMAT(2, 3);

}  // namespace base

#endif  // BASE_STRINGS_STRINGPRINTF_H_
