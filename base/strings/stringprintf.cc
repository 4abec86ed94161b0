#include "base/strings/stringprintf.h"

#include <stdio.h>
#include <wchar.h>

#include <vector>

#include "base/logging.h"

namespace base {

namespace {

// Nearly every result fits here, so formatting allocates only the result.
constexpr size_t kStackBufferSize = 1024;

// The Windows C runtime's own formatters (not the C99 replacements of the
// compiler's runtime): the bounded ones report -1 when the text was cut.
int FormatBounded(char* buffer,
                  size_t count,
                  const char* format,
                  va_list arguments) {
  return _vsnprintf(buffer, count, format, arguments);
}

int FormatBounded(wchar_t* buffer,
                  size_t count,
                  const wchar_t* format,
                  va_list arguments) {
  return _vsnwprintf(buffer, count, format, arguments);
}

int FormattedLength(const char* format, va_list arguments) {
  return _vscprintf(format, arguments);
}

int FormattedLength(const wchar_t* format, va_list arguments) {
  return _vscwprintf(format, arguments);
}

template <typename Char>
int VsnprintfT(Char* buffer,
               size_t size,
               const Char* format,
               va_list arguments) {
  if (size != 0) {
    va_list copy;
    va_copy(copy, arguments);
    int result = FormatBounded(buffer, size - 1, format, copy);
    va_end(copy);
    // A text of exactly size - 1 characters comes back without its NUL.
    buffer[size - 1] = 0;
    if (result >= 0)
      return result;
  }
  return FormattedLength(format, arguments);
}

// The runtime refuses a format it cannot carry out: most often wide text
// ("%ls") in a narrow format holding a character that the C locale has no
// byte for. The caller's text is lost then, which must not pass unnoticed.
template <typename Char>
void ReportUnformattable(const Char* format) {
  LOG(ERROR) << "Cannot format \"" << format << "\"; the text is dropped";
  NOTREACHED() << "Unformattable text";
}

template <typename String>
void StringAppendVT(String* dst,
                    const typename String::value_type* format,
                    va_list arguments) {
  using Char = typename String::value_type;
  Char stack_buffer[kStackBufferSize];
  va_list copy;
  va_copy(copy, arguments);
  int result = VsnprintfT(stack_buffer, kStackBufferSize, format, copy);
  va_end(copy);
  if (result < 0) {
    ReportUnformattable(format);
    return;
  }
  if (static_cast<size_t>(result) < kStackBufferSize) {
    dst->append(stack_buffer, result);
    return;
  }
  // The first attempt reported the exact length; the loop only repeats if a
  // second formatting of the same arguments came out longer still.
  for (;;) {
    size_t mem_length = static_cast<size_t>(result) + 1;
    if (mem_length > kMaxFormattedLength)
      return;
    std::vector<Char> heap_buffer(mem_length);
    va_copy(copy, arguments);
    result = VsnprintfT(heap_buffer.data(), mem_length, format, copy);
    va_end(copy);
    if (result < 0) {
      ReportUnformattable(format);
      return;
    }
    if (static_cast<size_t>(result) < mem_length) {
      dst->append(heap_buffer.data(), result);
      return;
    }
  }
}

}  // namespace

int vsnprintf(char* buffer,
              size_t size,
              const char* format,
              va_list arguments) {
  return VsnprintfT(buffer, size, format, arguments);
}

int vsnprintf(wchar_t* buffer,
              size_t size,
              const wchar_t* format,
              va_list arguments) {
  return VsnprintfT(buffer, size, format, arguments);
}

void StringAppendV(std::string* dst, const char* format, va_list arguments) {
  StringAppendVT(dst, format, arguments);
}

void StringAppendVWide(string16* dst,
                       const wchar_t* format,
                       va_list arguments) {
  StringAppendVT(dst, format, arguments);
}

void StringAppendF(std::string* dst, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  StringAppendV(dst, format, arguments);
  va_end(arguments);
}

std::string StringPrintf(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string result;
  StringAppendV(&result, format, arguments);
  va_end(arguments);
  return result;
}

string16 StringPrintfWide(const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  string16 result;
  StringAppendVWide(&result, format, arguments);
  va_end(arguments);
  return result;
}

const std::string& StringPrintfTo(std::string* dst, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  dst->clear();
  StringAppendV(dst, format, arguments);
  va_end(arguments);
  return *dst;
}

}  // namespace base
