#include "base/threading/thread_local_storage.h"

#include <windows.h>

#include <stdint.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/threading/thread_local.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Slot = ThreadLocalStorage::StaticSlot;

// Leaked, so that values destroyed at process exit still find it.
std::vector<int>& Destroyed() {
  static auto* destroyed = new std::vector<int>;
  return *destroyed;
}
void Record(int value) {
  Destroyed().push_back(value);
}
void RecordValue(void* value) {
  Record(static_cast<int>(reinterpret_cast<intptr_t>(value)));
}
std::vector<int> TakeDestroyed() {
  return std::exchange(Destroyed(), {});
}
void* AsValue(intptr_t n) {
  return reinterpret_cast<void*>(n);
}

// Made in this order. The first one's destructor sets both later slots,
// which its pass has visited already; the last one's sets the middle one,
// visited next; the relentless one's sets itself again.
Slot g_first, g_middle, g_last, g_plain, g_relentless;

void DestroyFirst(void* value) {
  RecordValue(value);
  if (value == AsValue(1)) {
    g_last.Set(AsValue(30));
    g_middle.Set(AsValue(21));
  }
}
void DestroyLast(void* value) {
  RecordValue(value);
  if (value == AsValue(3))
    g_middle.Set(AsValue(20));
}
void DestroyAndSetAgain(void* value) {
  RecordValue(value);
  g_relentless.Set(AsValue(reinterpret_cast<intptr_t>(value) + 1));
}

TEST(ThreadLocalStorageTest, ThreadEndDestroysItsValuesNewestSlotFirst) {
  if (!g_first.initialized()) {
    g_first.Initialize(DestroyFirst);
    g_middle.Initialize(RecordValue);
    g_last.Initialize(DestroyLast);
    g_plain.Initialize(nullptr);
    g_relentless.Initialize(DestroyAndSetAgain);
  }
  ThreadLocalPointer<int> pointer;
  int main_value = 0;
  int other_value = 0;
  pointer.Set(&main_value);
  g_middle.Set(AsValue(7));
  TakeDestroyed();
  std::thread([&] {
    EXPECT_EQ(nullptr, pointer.Get());
    EXPECT_EQ(nullptr, g_middle.Get());
    pointer.Set(&other_value);
    g_first.Set(AsValue(1));
    g_last.Set(AsValue(3));
    // Dropped: a value without a destructor, and a null one.
    g_plain.Set(AsValue(5));
    g_middle.Set(AsValue(9));
    g_middle.Set(nullptr);
    EXPECT_TRUE(Destroyed().empty()) << "destroyed before the thread ended";
  }).join();
  // Pass one destroys 3, the 20 set by its destructor, then 1; pass two the
  // values that 1's destructor set; pass three finds nothing.
  EXPECT_EQ((std::vector<int>{3, 20, 1, 30, 21}), TakeDestroyed());
  std::thread([] {}).join();
  EXPECT_EQ(std::vector<int>{}, TakeDestroyed());
  EXPECT_EQ(&main_value, pointer.Get());
  EXPECT_EQ(AsValue(7), g_middle.Get());
  g_middle.Set(nullptr);
  std::thread([] { g_relentless.Set(AsValue(1)); }).join();
  EXPECT_EQ(256u, TakeDestroyed().size());
}

TEST(ThreadLocalStorageTest, ModuleDestroysValuesAtThreadEndAndUnload) {
  wchar_t exe_path[MAX_PATH];
  std::wstring path(exe_path, GetModuleFileNameW(nullptr, exe_path, MAX_PATH));
  path.resize(path.find_last_of(L'\\') + 1);
  HMODULE module =
      LoadLibraryW((path + L"thread_local_storage_test_dll.dll").c_str());
  ASSERT_NE(nullptr, module) << GetLastError();
  auto set_recorder =
      reinterpret_cast<void (*)(void (*)(int))>(reinterpret_cast<void*>(
          GetProcAddress(module, "SetDestructionRecorder")));
  auto fill_slots = reinterpret_cast<void (*)()>(
      reinterpret_cast<void*>(GetProcAddress(module, "FillSlotsOnThisThread")));
  ASSERT_TRUE(set_recorder && fill_slots);
  set_recorder(&Record);
  TakeDestroyed();
  std::thread(fill_slots).join();
  EXPECT_EQ((std::vector<int>{3, 2, 1}), TakeDestroyed());
  // Unloading the module destroys the values of the thread that unloads it.
  fill_slots();
  ASSERT_TRUE(FreeLibrary(module));
  EXPECT_EQ((std::vector<int>{3, 2, 1}), TakeDestroyed());
}

}  // namespace
}  // namespace base
