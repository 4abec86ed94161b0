#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_H_

#include <windows.h>

#include <stdint.h>

#include <memory>

namespace vexlo {
namespace crash_reporter {

// One thread of a crashed process: its registers, priority and how much
// stack lies above its stack pointer.
class ThreadInfoImpl {
 public:
  // The registers read from a live (suspended or waiting) thread; null when
  // the thread cannot be opened or its registers cannot be read.
  static std::unique_ptr<ThreadInfoImpl> CreateLive(HANDLE process,
                                                    uint32_t thread_id);
  // The crashed thread, with the registers saved by the crash.
  static std::unique_ptr<ThreadInfoImpl> CreateCrashed(HANDLE process,
                                                       uint32_t thread_id,
                                                       const CONTEXT& context);

  // The bytes from |stack_pointer| to the end of its stack region in
  // |process|; 0 unless that region is committed private read-write memory.
  static uint64_t GetStackExtent(HANDLE process, uint64_t stack_pointer);

  ThreadInfoImpl(const ThreadInfoImpl&) = delete;
  ThreadInfoImpl& operator=(const ThreadInfoImpl&) = delete;

  uint32_t id() const { return id_; }
  bool crashed() const { return crashed_; }
  const CONTEXT& context() const { return context_; }
  int32_t priority() const { return priority_; }
  uint64_t stack_size() const { return stack_size_; }

 private:
  ThreadInfoImpl(uint32_t id, bool crashed);

  // The priority and stack extent, from the opened thread.
  void ReadState(HANDLE process, HANDLE thread);

  const uint32_t id_;
  const bool crashed_;
  CONTEXT context_ = {};
  int32_t priority_ = 0;
  uint64_t stack_size_ = 0;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_H_
