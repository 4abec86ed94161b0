#include "base/threading/simple_thread.h"

#include "base/logging.h"

namespace base {

SimpleThread::SimpleThread(const std::string& name_prefix)
    : SimpleThread(name_prefix, Options()) {}

SimpleThread::SimpleThread(const std::string& name_prefix,
                           const Options& options)
    : name_prefix_(name_prefix),
      name_(name_prefix),
      options_(options),
      event_(true, false),
      tid_(0) {}

SimpleThread::~SimpleThread() {
  DCHECK(!thread_.IsValid()) << "a started thread must be joined first";
}

bool SimpleThread::Start() {
  DCHECK(!thread_.IsValid()) << "started twice";
  if (!PlatformThread::CreateWithPriority(options_.stack_size, this, &thread_,
                                          options_.priority)) {
    return false;
  }
  event_.Wait();
  return true;
}

void SimpleThread::Join() {
  if (thread_.IsValid())
    PlatformThread::Join(&thread_);
}

void SimpleThread::ThreadMain() {
  tid_ = PlatformThread::CurrentId();
  name_ += "/" + std::to_string(tid_);
  PlatformThread::SetName(name_);
  event_.Signal();
  Run();
}

}  // namespace base
