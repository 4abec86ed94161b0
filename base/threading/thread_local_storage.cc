#include "base/threading/thread_local_storage.h"

#include <windows.h>

#include <string.h>

#include "base/logging.h"
#include "base/threading/thread_local.h"

namespace base {

namespace {

constexpr int kSlotCount = ThreadLocalStorage::kThreadLocalStorageSize;
constexpr DWORD kNoIndex = TLS_OUT_OF_INDEXES;

// The one operating-system index whose per-thread value is the thread's slot
// array; kNoIndex until the first slot array is made.
std::atomic<DWORD> g_native_index{kNoIndex};

// Slot numbers are handed out from 1 upwards.
std::atomic<int32_t> g_last_used_slot{0};

// Written before the slot number is published, so every thread that uses a
// slot sees its destructor.
std::atomic<ThreadLocalStorage::TLSDestructorFunc> g_destructors[kSlotCount];

DWORD GetOrCreateNativeIndex() {
  DWORD index = g_native_index.load(std::memory_order_acquire);
  if (index != kNoIndex)
    return index;
  const DWORD fresh = internal::AllocateThreadLocalIndex();
  if (g_native_index.compare_exchange_strong(index, fresh,
                                             std::memory_order_acq_rel)) {
    return fresh;
  }
  // Another thread published its index first; |index| now holds it.
  internal::FreeThreadLocalIndex(fresh);
  return index;
}

void** CreateSlotArray() {
  const DWORD index = GetOrCreateNativeIndex();
  CHECK(!internal::GetThreadLocalValue(index));
  // The heap allocation below may itself read or write slots (an allocator
  // may keep per-thread state in them); a zeroed array on the stack serves
  // those until the heap array replaces it.
  void* stack_array[kSlotCount] = {};
  internal::SetThreadLocalValue(index, stack_array);
  void** heap_array = new void*[kSlotCount];
  memcpy(heap_array, stack_array, sizeof(stack_array));
  internal::SetThreadLocalValue(index, heap_array);
  return heap_array;
}

void** GetOrCreateSlotArray() {
  const DWORD index = g_native_index.load(std::memory_order_acquire);
  if (index != kNoIndex) {
    void** array = static_cast<void**>(internal::GetThreadLocalValue(index));
    if (array)
      return array;
  }
  return CreateSlotArray();
}

// One pass over the slots, highest first, so that slot 1, made first, is
// destroyed last. Each value is cleared before its destructor runs, which may
// set slots again. Returns whether any destructor ran.
bool DestroySlotValuesOnce(void** array) {
  bool destructor_ran = false;
  int slot = g_last_used_slot.load(std::memory_order_acquire);
  if (slot >= kSlotCount)
    slot = kSlotCount - 1;
  for (; slot > 0; --slot) {
    void* value = array[slot];
    const ThreadLocalStorage::TLSDestructorFunc destructor =
        g_destructors[slot].load(std::memory_order_acquire);
    if (!value || !destructor)
      continue;
    array[slot] = nullptr;
    destructor(value);
    destructor_ran = true;
  }
  return destructor_ran;
}

// Runs the destructors of the ending thread's slot values, then leaves the
// thread without a slot array.
void OnThreadExit() {
  const DWORD index = g_native_index.load(std::memory_order_acquire);
  if (index == kNoIndex)
    return;
  void** heap_array = static_cast<void**>(internal::GetThreadLocalValue(index));
  if (!heap_array)
    return;
  // Destructors may read and write slots; a stack copy serves them, so the
  // heap array can go first.
  void* stack_array[kSlotCount];
  memcpy(stack_array, heap_array, sizeof(stack_array));
  internal::SetThreadLocalValue(index, stack_array);
  delete[] heap_array;
  // A destructor that keeps setting values cannot hold the thread forever.
  for (int pass = 0; pass < kSlotCount; ++pass) {
    if (!DestroySlotValuesOnce(stack_array))
      break;
  }
  internal::SetThreadLocalValue(index, nullptr);
}

void NTAPI OnTlsCallback(PVOID /*module*/, DWORD reason, PVOID /*reserved*/) {
  if (reason == DLL_THREAD_DETACH || reason == DLL_PROCESS_DETACH)
    OnThreadExit();
}

// The loader calls every pointer placed between the C runtime's .CRT$XLA and
// .CRT$XLZ markers for each thread start and end of this module; being in
// the same object as the slots, the callback is linked in wherever slots are
// used.
__attribute__((section(".CRT$XLB"), used))
PIMAGE_TLS_CALLBACK g_thread_local_storage_tls_callback = OnTlsCallback;

}  // namespace

void ThreadLocalStorage::StaticSlot::Initialize(TLSDestructorFunc destructor) {
  GetOrCreateSlotArray();
  const int32_t slot =
      g_last_used_slot.fetch_add(1, std::memory_order_acq_rel) + 1;
  CHECK_LT(slot, kSlotCount) << "No thread-local slot left.";
  g_destructors[slot].store(destructor, std::memory_order_release);
  slot_ = slot;
  initialized_.store(1, std::memory_order_release);
}

void* ThreadLocalStorage::StaticSlot::Get() const {
  DCHECK(initialized());
  return GetOrCreateSlotArray()[slot_];
}

void ThreadLocalStorage::StaticSlot::Set(void* value) {
  DCHECK(initialized());
  GetOrCreateSlotArray()[slot_] = value;
}

}  // namespace base
