#ifndef BASE_PROCESS_PROCESS_H_
#define BASE_PROCESS_PROCESS_H_

#include <windows.h>

#include <stdint.h>

#include "base/process/process_handle.h"
#include "base/win/scoped_handle.h"

namespace base {

// A process, by an owned handle or as the calling process itself. Every
// failed launch gives an invalid Process (no handle, not the current one).
class Process {
 public:
  // How long Terminate waits for the process to end when asked to.
  static constexpr DWORD kTerminateWaitMilliseconds = 60000;

  // Takes ownership of |handle|, which must not be the pseudo handle of the
  // calling process (use Current for that).
  explicit Process(ProcessHandle handle = nullptr);
  Process(Process&& other);
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  // Closes the handle held so far, then takes |other|'s handle and flag,
  // leaving |other| invalid. The thread's last error is kept.
  Process& operator=(Process&& other);

  // The calling process.
  static Process Current();

  bool IsValid() const;
  // The handle to use with Windows calls; the Process keeps owning it.
  ProcessHandle Handle() const;
  ProcessId Pid() const;
  void Close();

  // Ends the process with |exit_code|; when |wait| is set and that worked,
  // waits (up to kTerminateWaitMilliseconds) for it to be gone. Returns
  // whether the process could be told to end.
  bool Terminate(uint32_t exit_code, bool wait) const;

 private:
  bool is_current_process_;
  win::ScopedHandle process_;
};

}  // namespace base

#endif  // BASE_PROCESS_PROCESS_H_
