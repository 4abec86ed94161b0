#ifndef BASE_DEBUG_ALIAS_H_
#define BASE_DEBUG_ALIAS_H_

namespace base {

// Makes the compiler believe that |var| is read, so that a local copied just
// before the process stops stays in the stack frame where a crash dump can
// show it. Does nothing else.
void Alias(const void* var);

}  // namespace base

#endif  // BASE_DEBUG_ALIAS_H_
