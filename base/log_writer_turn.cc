#include "base/log_writer_turn.h"

#include <stdio.h>

namespace base {

namespace {

// A turn is held for one write; waiting longer than this may mean that the
// holder died, which is then asked after, no more often than this.
constexpr DWORD kHolderCheckMs = 20;
// Yields to other threads before sleeping between looks.
constexpr int kYieldingLooks = 64;

// The mapping's name: the same for every handle to one file, in any
// process of the session, and different for any other file.
bool TurnName(HANDLE file, wchar_t* name, size_t size) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!::GetFileInformationByHandle(file, &info))
    return false;
  return _snwprintf(name, size, L"Local\\LogWriterTurn-%08lx-%08lx%08lx",
                    info.dwVolumeSerialNumber, info.nFileIndexHigh,
                    info.nFileIndexLow) > 0;
}

}  // namespace

LogWriterTurn::LogWriterTurn() : owner_(nullptr) {}

LogWriterTurn::~LogWriterTurn() {
  Close();
}

bool LogWriterTurn::Open(HANDLE file) {
  Close();
  wchar_t name[64];
  if (!TurnName(file, name, sizeof(name) / sizeof(name[0])))
    return false;
  // Open to every process of the session: an elevated backend and the
  // front end that started it write one log, and a turn one of them could
  // not map would leave both writing at once.
  SECURITY_DESCRIPTOR descriptor;
  if (!::InitializeSecurityDescriptor(&descriptor,
                                      SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
  // A new mapping is zero-filled: nobody's turn.
  mapping_.Set(::CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes,
                                    PAGE_READWRITE, 0, sizeof(LONG), name));
  if (!mapping_.IsValid())
    return false;
  void* view =
      ::MapViewOfFile(mapping_.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
  if (!view) {
    Close();
    return false;
  }
  owner_ = static_cast<volatile LONG*>(view);
  return true;
}

void LogWriterTurn::Close() {
  if (owner_)
    ::UnmapViewOfFile(const_cast<LONG*>(owner_));
  owner_ = nullptr;
  mapping_.Close();
}

bool LogWriterTurn::Acquire() {
  const LONG self = static_cast<LONG>(::GetCurrentProcessId());
  LONG holder = ::InterlockedCompareExchange(owner_, self, 0);
  if (holder == 0)
    return true;
  // The tick count at which the current holder was first seen, and when it
  // was last asked after.
  DWORD held_since = ::GetTickCount();
  DWORD checked_at = held_since;
  for (int look = 1;; ++look) {
    if (look < kYieldingLooks)
      ::SwitchToThread();
    else
      ::Sleep(1);
    const LONG seen = ::InterlockedCompareExchange(owner_, self, 0);
    if (seen == 0)
      return true;
    const DWORD now = ::GetTickCount();
    if (seen != holder) {
      holder = seen;
      held_since = checked_at = now;
      continue;
    }
    if (now - checked_at < kHolderCheckMs)
      continue;
    checked_at = now;
    if (HasEnded(static_cast<DWORD>(holder))) {
      // Of several waiters that saw the same dead holder, one takes over.
      if (::InterlockedCompareExchange(owner_, self, holder) == holder)
        return true;
      continue;
    }
    if (now - held_since >= kStuckTurnMs)
      return false;
  }
}

void LogWriterTurn::Release() {
  ::InterlockedExchange(owner_, 0);
}

void LogWriterTurn::SetHolderForTesting(DWORD process_id) {
  ::InterlockedExchange(owner_, static_cast<LONG>(process_id));
}

// static
bool LogWriterTurn::HasEnded(DWORD process_id) {
  win::ScopedHandle process(::OpenProcess(SYNCHRONIZE, FALSE, process_id));
  if (!process.IsValid())
    return ::GetLastError() == ERROR_INVALID_PARAMETER;
  return ::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0;
}

}  // namespace base
