#include "base/location.h"

namespace base {

Location::Location()
    : function_name_("Unknown"),
      file_name_("Unknown"),
      line_number_(-1),
      program_counter_(nullptr) {}

Location::Location(const char* function_name,
                   const char* file_name,
                   int32_t line_number,
                   const void* program_counter)
    : function_name_(function_name),
      file_name_(file_name),
      line_number_(line_number),
      program_counter_(program_counter) {}

// Kept out of line, so that its return address lies in the calling code.
__attribute__((noinline)) void* GetProgramCounter() {
  return __builtin_return_address(0);
}

}  // namespace base
