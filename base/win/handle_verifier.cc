#include "base/win/handle_verifier.h"

#include <stdint.h>
#include <stdlib.h>

#include <atomic>
#include <memory>

#include "base/debug/alias.h"
#include "base/debug/debugger.h"
#include "base/hash.h"
#include "base/lazy_instance.h"
#include "base/strings/string_piece.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"

// The linker's symbol at the start of this module's image.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace base {
namespace win {

namespace {

using GetHandleVerifierFunction = void* (*)();
using NtQueryObjectFunction = LONG(NTAPI*)(HANDLE handle,
                                           int information_class,
                                           void* information,
                                           ULONG information_length,
                                           ULONG* return_length);

constexpr LONG kStatusNotImplemented = static_cast<LONG>(0xC0000002);
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr LONG kStatusNoMemory = static_cast<LONG>(0xC0000017);
constexpr int kObjectTypeInformation = 2;

// The start of the record that NtQueryObject returns for the object type.
struct CountedWideString {
  USHORT length_in_bytes;
  USHORT maximum_length_in_bytes;
  const wchar_t* text;
};

struct FreeDeleter {
  void operator()(void* memory) const { free(memory); }
};

// Guards the installation of the active verifier and every verifier's map in
// this module. Never destroyed: handles may be closed until the very end.
LazyInstance::Leaky<Lock> g_verifier_lock;

std::atomic<HandleVerifier*> g_active_verifier{nullptr};

// The only use of the hash; one call site out of line keeps the map's inlined
// operations small.
__attribute__((noinline)) uint32_t HashHandleBytes(const char* data,
                                                   int length) {
  return SuperFastHash(data, length);
}

HandleVerifier* BuildActiveVerifier() {
  FARPROC export_address =
      ::GetProcAddress(::GetModuleHandleW(nullptr), "GetHandleVerifier");
  if (!export_address)
    return new HandleVerifier(false);
  auto get_verifier = reinterpret_cast<GetHandleVerifierFunction>(
      reinterpret_cast<void*>(export_address));
  if (get_verifier == &GetHandleVerifier)
    return new HandleVerifier(true);
  HandleVerifier* shared = static_cast<HandleVerifier*>(get_verifier());
  return shared ? shared : new HandleVerifier(false);
}

}  // namespace

size_t HandleVerifier::HandleHash::operator()(HANDLE handle) const {
  return HashHandleBytes(reinterpret_cast<const char*>(&handle),
                         sizeof(handle));
}

HandleVerifier::HandleVerifier(bool enabled)
    : enabled_(enabled), lock_(g_verifier_lock.Pointer()) {}

bool HandleVerifier::CloseHandle(HANDLE handle) {
  if (!enabled_)
    return CloseHandleChecked(handle);
  closing_.Set(this);
  CloseHandleChecked(handle);
  closing_.Set(nullptr);
  return true;
}

void HandleVerifier::StartTracking(HANDLE handle,
                                   const void* owner,
                                   const void* caller_pc,
                                   const void* own_pc) {
  if (!enabled_)
    return;
  const DWORD thread_id = ::GetCurrentThreadId();
  AutoLock lock(*lock_);
  const HandleInfo info = {owner, caller_pc, own_pc, StackTrace(), thread_id};
  const auto inserted = map_.emplace(handle, info);
  if (!inserted.second) {
    HandleInfo registered = inserted.first->second;
    Alias(&registered);
    Alias(&creation_stack_);
    BreakDebugger();
  }
}

void HandleVerifier::StopTracking(HANDLE handle,
                                  const void* owner,
                                  const void* /*caller_pc*/,
                                  const void* /*own_pc*/) {
  if (!enabled_)
    return;
  AutoLock lock(*lock_);
  const auto found = map_.find(handle);
  if (found == map_.end()) {
    Alias(&creation_stack_);
    BreakDebugger();
    return;
  }
  if (found->second.owner != owner) {
    HandleInfo registered = found->second;
    Alias(&registered);
    Alias(&creation_stack_);
    BreakDebugger();
    return;
  }
  map_.erase(found);
}

void HandleVerifier::Disable() {
  enabled_ = false;
}

void HandleVerifier::OnHandleBeingClosed(HANDLE handle) {
  if (!enabled_ || IsClosingOnThisThread())
    return;
  AutoLock lock(*lock_);
  const auto found = map_.find(handle);
  if (found == map_.end())
    return;
  HandleInfo registered = found->second;
  Alias(&registered);
  Alias(&creation_stack_);
  BreakDebugger();
}

HMODULE HandleVerifier::GetModule() const {
  return reinterpret_cast<HMODULE>(&__ImageBase);
}

bool HandleVerifier::IsClosingOnThisThread() const {
  return closing_.Get() != nullptr;
}

HandleVerifier* GetActiveHandleVerifier() {
  HandleVerifier* verifier = g_active_verifier.load(std::memory_order_acquire);
  if (verifier)
    return verifier;
  AutoLock lock(g_verifier_lock.Get());
  verifier = g_active_verifier.load(std::memory_order_relaxed);
  if (!verifier) {
    verifier = BuildActiveVerifier();
    g_active_verifier.store(verifier, std::memory_order_release);
  }
  return verifier;
}

bool CloseHandleVerified(HANDLE handle) {
  return GetActiveHandleVerifier()->CloseHandle(handle);
}

void StartHandleTracking(HANDLE handle,
                         const void* owner,
                         const void* caller_pc,
                         const void* own_pc) {
  GetActiveHandleVerifier()->StartTracking(handle, owner, caller_pc, own_pc);
}

void StopHandleTracking(HANDLE handle,
                        const void* owner,
                        const void* caller_pc,
                        const void* own_pc) {
  GetActiveHandleVerifier()->StopTracking(handle, owner, caller_pc, own_pc);
}

bool CloseHandleChecked(HANDLE handle) {
  if (::CloseHandle(handle))
    return true;
  DWORD last_error = ::GetLastError();
  Alias(&last_error);

  std::string type_name;
  LONG type_status = GetHandleTypeName(handle, &type_name);
  Alias(&type_name);
  Alias(&type_status);

  DWORD flags = 0;
  DWORD flags_error = 0;
  if (!::GetHandleInformation(handle, &flags)) {
    flags = 0;
    flags_error = ::GetLastError();
  }
  Alias(&flags);
  Alias(&flags_error);

  // A protected process handle may legitimately refuse to close.
  if (type_name == "Process" && (flags & HANDLE_FLAG_PROTECT_FROM_CLOSE))
    return false;
  BreakDebugger();
  return true;
}

LONG GetHandleTypeName(HANDLE handle, std::string* type_name) {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  FARPROC query_address =
      ntdll ? ::GetProcAddress(ntdll, "NtQueryObject") : nullptr;
  if (!query_address)
    return kStatusNotImplemented;
  auto query_object = reinterpret_cast<NtQueryObjectFunction>(
      reinterpret_cast<void*>(query_address));

  ULONG size = 0;
  LONG status = query_object(handle, kObjectTypeInformation, nullptr, 0, &size);
  if (status != kStatusInfoLengthMismatch || size == 0)
    return status;

  std::unique_ptr<void, FreeDeleter> buffer(malloc(size));
  if (!buffer)
    return kStatusNoMemory;
  status =
      query_object(handle, kObjectTypeInformation, buffer.get(), size, &size);
  if (status == 0) {
    const auto* name = static_cast<const CountedWideString*>(buffer.get());
    *type_name = UTF16ToUTF8(
        StringPiece16(name->text, name->length_in_bytes / sizeof(wchar_t)));
  }
  return status;
}

}  // namespace win
}  // namespace base

extern "C" __declspec(dllexport) void* GetHandleVerifier() {
  return base::win::GetActiveHandleVerifier();
}
