#ifndef BASE_WIN_HANDLE_VERIFIER_H_
#define BASE_WIN_HANDLE_VERIFIER_H_

#include <windows.h>

#include <stddef.h>

#include <atomic>
#include <string>
#include <unordered_map>

#include "base/debug/stack_trace.h"
#include "base/threading/thread_local.h"

namespace base {

class Lock;

namespace win {

// Who owns one tracked handle, and from where and which thread it was
// registered.
struct HandleInfo {
  const void* owner;
  const void* caller_pc;
  const void* own_pc;
  StackTrace stack;
  DWORD thread_id;
};

// The process-wide table of which scoped handle owns which Windows handle.
// Misuse stops the process through base::BreakDebugger after the records
// involved have been copied to the stack for the crash dump: a handle
// registered twice, given up by an object that does not own it or that
// nobody registered, closed behind its owner's back, or failing to close.
//
// Every module of a process uses the verifier of the main executable, and
// calls it through the table of virtual operations below, whose order is
// therefore fixed. A verifier is never deleted, so the table has no
// destructor.
class HandleVerifier {
 public:
  // A disabled verifier tracks nothing but still checks every close.
  explicit HandleVerifier(bool enabled);
  HandleVerifier(const HandleVerifier&) = delete;
  HandleVerifier& operator=(const HandleVerifier&) = delete;

  // Closes |handle|. A failed close is fatal, except for a process handle
  // protected from closing: then a disabled verifier returns false, an
  // enabled one true.
  virtual bool CloseHandle(HANDLE handle);
  // Records that |owner| now owns |handle|. |caller_pc| is where the owner's
  // operation was called from, |own_pc| a place inside that operation.
  virtual void StartTracking(HANDLE handle,
                             const void* owner,
                             const void* caller_pc,
                             const void* own_pc);
  // Forgets |handle|, which |owner| must own.
  virtual void StopTracking(HANDLE handle,
                            const void* owner,
                            const void* caller_pc,
                            const void* own_pc);
  // Stops all tracking for good; records already made stay.
  virtual void Disable();
  // For a hook on the system's CloseHandle: closing a tracked handle other
  // than through this verifier is fatal.
  virtual void OnHandleBeingClosed(HANDLE handle);
  // The base address of the module that built this verifier.
  virtual HMODULE GetModule() const;

 private:
  struct HandleHash {
    size_t operator()(HANDLE handle) const;
  };
  using HandleMap = std::unordered_map<HANDLE, HandleInfo, HandleHash>;

  bool IsClosingOnThisThread() const;

  StackTrace creation_stack_;
  std::atomic<bool> enabled_;
  // Holds this verifier, rather than null, on a thread while the verifier
  // itself closes a handle, so that the close hook lets that close pass.
  ThreadLocalPointer<const HandleVerifier> closing_;
  Lock* lock_;
  HandleMap map_;
};

// The verifier that this module uses: the one the main executable exports,
// installed on first use (see GetHandleVerifier).
HandleVerifier* GetActiveHandleVerifier();

// The active verifier's operations.
bool CloseHandleVerified(HANDLE handle);
void StartHandleTracking(HANDLE handle,
                         const void* owner,
                         const void* caller_pc,
                         const void* own_pc);
void StopHandleTracking(HANDLE handle,
                        const void* owner,
                        const void* caller_pc,
                        const void* own_pc);

// CloseHandle, with a failure stopping the process (true returned if a
// debugger resumes it). The one tolerated failure is a process handle
// protected from closing, for which this returns false.
bool CloseHandleChecked(HANDLE handle);

// Stores the kernel object type name of |handle| ("Event", "Process", ...)
// in |type_name| and returns 0, or returns the failing NTSTATUS and leaves
// |type_name| alone.
LONG GetHandleTypeName(HANDLE handle, std::string* type_name);

}  // namespace win
}  // namespace base

// Exported by every module that carries the verifier. The main executable's
// export decides which verifier the whole process shares: when it is a
// module's own, that module builds an enabled verifier; when it belongs to
// another module, that module's verifier is used; when the executable has no
// such export, each module keeps a disabled verifier of its own.
extern "C" void* GetHandleVerifier();

#endif  // BASE_WIN_HANDLE_VERIFIER_H_
