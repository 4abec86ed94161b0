// A module of its own for the thread-local-storage tests: its slots are
// destroyed by this module's TLS callback, as in the installer's DLL, when a
// thread ends and when the module is unloaded.

#include <windows.h>

#include <stdint.h>

#include "base/threading/thread_local_storage.h"

namespace {

typedef void (*Recorder)(int value);

Recorder g_recorder = nullptr;
base::ThreadLocalStorage::StaticSlot g_slots[3];

void RecordDestruction(void* value) {
  if (g_recorder)
    g_recorder(static_cast<int>(reinterpret_cast<intptr_t>(value)));
}

}  // namespace

// Each destroyed value is passed to |recorder|.
extern "C" __declspec(dllexport) void SetDestructionRecorder(
    Recorder recorder) {
  g_recorder = recorder;
}

// Gives the calling thread the values 1, 2 and 3 in three slots made in that
// order.
extern "C" __declspec(dllexport) void FillSlotsOnThisThread() {
  for (int i = 0; i < 3; ++i) {
    if (!g_slots[i].initialized())
      g_slots[i].Initialize(RecordDestruction);
    g_slots[i].Set(reinterpret_cast<void*>(static_cast<intptr_t>(i + 1)));
  }
}
