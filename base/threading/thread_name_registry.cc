#include "base/threading/thread_name_registry.h"

namespace base {

// static
ThreadNameRegistry* ThreadNameRegistry::GetInstance() {
  return Singleton<ThreadNameRegistry,
                   LeakySingletonTraits<ThreadNameRegistry>>::get();
}

ThreadNameRegistry::ThreadNameRegistry()
    : default_name_(Intern(std::string())),
      main_process_name_(default_name_),
      main_process_id_(0) {}

ThreadNameRegistry::~ThreadNameRegistry() = default;

void ThreadNameRegistry::SetName(PlatformThreadId id, const std::string& name) {
  AutoLock lock(lock_);
  const std::string* interned = Intern(name);
  const auto handle = handles_by_id_.find(id);
  if (handle == handles_by_id_.end()) {
    main_process_name_ = interned;
    main_process_id_ = id;
    return;
  }
  names_by_handle_[handle->second] = interned;
}

const char* ThreadNameRegistry::GetName(PlatformThreadId id) {
  AutoLock lock(lock_);
  if (id == main_process_id_)
    return main_process_name_->c_str();
  const auto handle = handles_by_id_.find(id);
  if (handle == handles_by_id_.end())
    return default_name_->c_str();
  const auto name = names_by_handle_.find(handle->second);
  if (name == names_by_handle_.end())
    return default_name_->c_str();
  return name->second->c_str();
}

void ThreadNameRegistry::RegisterThread(HANDLE handle, PlatformThreadId id) {
  AutoLock lock(lock_);
  handles_by_id_[id] = handle;
  names_by_handle_[handle] = default_name_;
}

void ThreadNameRegistry::RemoveName(HANDLE handle, PlatformThreadId id) {
  AutoLock lock(lock_);
  names_by_handle_.erase(handle);
  const auto registered = handles_by_id_.find(id);
  if (registered != handles_by_id_.end() && registered->second == handle)
    handles_by_id_.erase(registered);
}

const std::string* ThreadNameRegistry::Intern(const std::string& name) {
  // Set elements never move, and the registry is never destroyed.
  return &*interned_names_.insert(name).first;
}

}  // namespace base
