#ifndef BASE_LOCATION_H_
#define BASE_LOCATION_H_

#include <stdint.h>

namespace base {

// Where a task was posted from: the posting function's qualified name, its
// source file and line, and an address inside the posting code. The strings
// are static; a location is copied field by field.
class Location {
 public:
  // "Unknown" function and file, line -1, no program counter.
  Location();
  Location(const char* function_name,
           const char* file_name,
           int32_t line_number,
           const void* program_counter);

  const char* function_name() const { return function_name_; }
  const char* file_name() const { return file_name_; }
  int32_t line_number() const { return line_number_; }
  const void* program_counter() const { return program_counter_; }

 private:
  const char* function_name_;
  const char* file_name_;
  int32_t line_number_;
  const void* program_counter_;
};

// The address in the caller just after the call: where the caller is.
void* GetProgramCounter();

}  // namespace base

// The location of the code that uses it, named by |function_name|, the
// posting function's qualified name as a string literal:
//   runner->PostTask(LOCATION_FROM_HERE("base::Thread::StopSoon"), task);
#define LOCATION_FROM_HERE(function_name)             \
  ::base::Location(function_name, __FILE__, __LINE__, \
                   ::base::GetProgramCounter())

#endif  // BASE_LOCATION_H_
