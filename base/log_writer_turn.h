#ifndef BASE_LOG_WRITER_TURN_H_
#define BASE_LOG_WRITER_TURN_H_

#include <windows.h>

#include "base/win/scoped_handle.h"

namespace base {

// Lets the writers of one log file, in any number of processes, append one
// line at a time without a system call per line when nobody else writes: a
// word in memory that every writer of the file maps, under a name made from
// the file's identity, holds the id of the process whose turn it is. A
// holder that died is recognised and its turn taken over.
class LogWriterTurn {
 public:
  // How long a turn held by a live process is waited for before Acquire
  // gives up.
  static constexpr DWORD kStuckTurnMs = 5000;

  LogWriterTurn();
  LogWriterTurn(const LogWriterTurn&) = delete;
  LogWriterTurn& operator=(const LogWriterTurn&) = delete;
  ~LogWriterTurn();

  // Maps the turn of the open file |file|; false when it cannot be mapped.
  bool Open(HANDLE file);
  void Close();
  bool is_open() const { return owner_ != nullptr; }

  // Waits until the turn is this process's; false when another process,
  // still alive, kept it for kStuckTurnMs. Threads of one process must not
  // ask at once: the turn is the process's, not the thread's.
  bool Acquire();
  void Release();

  // Makes the process |process_id| the holder, as if it had acquired the
  // turn, so that tests can leave a turn behind.
  void SetHolderForTesting(DWORD process_id);

 private:
  // True when the process |process_id| is known to have ended.
  static bool HasEnded(DWORD process_id);

  win::ScopedHandle mapping_;
  volatile LONG* owner_;
};

}  // namespace base

#endif  // BASE_LOG_WRITER_TURN_H_
