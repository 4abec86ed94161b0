#include "desktop/windows/crash_reporter/thread_info_impl.h"

#include "base/logging.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace crash_reporter {

namespace {

// Control, integer and floating-point registers.
constexpr DWORD kLiveContextFlags = 0x10000B;

HANDLE OpenThreadForState(uint32_t thread_id) {
  const HANDLE thread = ::OpenThread(
      THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, thread_id);
  if (!thread)
    PLOG(ERROR) << "OpenThread failed for 0x" << std::hex << thread_id;
  return thread;
}

}  // namespace

// static
std::unique_ptr<ThreadInfoImpl> ThreadInfoImpl::CreateLive(HANDLE process,
                                                           uint32_t thread_id) {
  base::win::ScopedHandle thread(OpenThreadForState(thread_id));
  if (!thread.IsValid())
    return nullptr;
  std::unique_ptr<ThreadInfoImpl> info(new ThreadInfoImpl(thread_id, false));
  info->context_.ContextFlags = kLiveContextFlags;
  if (!::GetThreadContext(thread.Get(), &info->context_)) {
    PLOG(ERROR) << "GetThreadContext failed for 0x" << std::hex << thread_id;
    return nullptr;
  }
  info->ReadState(process, thread.Get());
  return info;
}

// static
std::unique_ptr<ThreadInfoImpl> ThreadInfoImpl::CreateCrashed(
    HANDLE process,
    uint32_t thread_id,
    const CONTEXT& context) {
  std::unique_ptr<ThreadInfoImpl> info(new ThreadInfoImpl(thread_id, true));
  info->context_ = context;
  // The crash's registers are what matter: a thread that cannot be opened
  // still gets its log, with priority 0.
  base::win::ScopedHandle thread(OpenThreadForState(thread_id));
  info->ReadState(process, thread.Get());
  return info;
}

// static
uint64_t ThreadInfoImpl::GetStackExtent(HANDLE process,
                                        uint64_t stack_pointer) {
  MEMORY_BASIC_INFORMATION region = {};
  const SIZE_T result =
      ::VirtualQueryEx(process, reinterpret_cast<const void*>(stack_pointer),
                       &region, sizeof(region));
  if (result != sizeof(region)) {
    PLOG(ERROR) << "VirtualQueryEx failed, address=0x" << std::hex
                << stack_pointer << std::dec << ", result=" << result
                << ", expected=" << sizeof(region);
    return 0;
  }
  const uint64_t base = reinterpret_cast<uintptr_t>(region.BaseAddress);
  const uint64_t end = base + region.RegionSize;
  if (region.State != MEM_COMMIT || region.Type != MEM_PRIVATE ||
      region.Protect != PAGE_READWRITE || stack_pointer < base ||
      stack_pointer >= end) {
    LOG(ERROR) << "Sanity checks failed" << std::hex << ", state=0x"
               << region.State << ", type=0x" << region.Type << ", protect=0x"
               << region.Protect << ", sp=0x" << stack_pointer << ", base=0x"
               << base << std::dec << ", size=" << region.RegionSize;
    return 0;
  }
  return end - stack_pointer;
}

ThreadInfoImpl::ThreadInfoImpl(uint32_t id, bool crashed)
    : id_(id), crashed_(crashed) {}

void ThreadInfoImpl::ReadState(HANDLE process, HANDLE thread) {
  if (thread) {
    const int priority = ::GetThreadPriority(thread);
    if (priority == THREAD_PRIORITY_ERROR_RETURN) {
      PLOG(ERROR) << "GetThreadPriority failed for 0x" << std::hex << id_;
    } else {
      priority_ = priority;
    }
  }
  stack_size_ = GetStackExtent(process, context_.Rsp);
}

}  // namespace crash_reporter
}  // namespace vexlo
