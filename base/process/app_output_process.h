#ifndef BASE_PROCESS_APP_OUTPUT_PROCESS_H_
#define BASE_PROCESS_APP_OUTPUT_PROCESS_H_

#include <string>

#include "base/strings/string16.h"
#include "base/time/time.h"
#include "base/win/owned_process_information.h"
#include "base/win/scoped_handle.h"

namespace base {

// A child whose standard output is read through a pipe, in two steps, so
// that several such children can run at once: Start makes the pipe and the
// child, and when it returns no handle made for this child is left
// inheritable in the caller, so a child started after it cannot keep its
// pipe open. Finish reads the output to its end and waits for the child.
class AppOutputProcess {
 public:
  AppOutputProcess();
  AppOutputProcess(const AppOutputProcess&) = delete;
  AppOutputProcess& operator=(const AppOutputProcess&) = delete;
  // A child not finished runs on with its pipe closed.
  ~AppOutputProcess();

  // Starts |cl|; with |include_stderr| the child's standard error goes into
  // the pipe too. False when the child could not be started. Whoever may
  // start other children meanwhile holds the lock that keeps them from
  // inheriting this one's handles while it runs.
  bool Start(const string16& cl, bool include_stderr);

  // Appends what the child wrote to |output| and waits for the child to
  // end. False when it was not started, or crashed or ended abnormally;
  // |output| then holds what was read.
  bool Finish(std::string* output);
  // As Finish, but gives the child at most |limit| to end and close its
  // output; past it the child is terminated and the result is false.
  bool Finish(std::string* output, TimeDelta limit);

 private:
  // Appends what the pipe holds now; false once every writer is gone.
  bool ReadAvailable(std::string* output);
  // Ends a child that outlived its limit.
  void Abandon();

  win::ScopedHandle read_end_;
  win::OwnedProcessInformation process_info_;
};

}  // namespace base

#endif  // BASE_PROCESS_APP_OUTPUT_PROCESS_H_
