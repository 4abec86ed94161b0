#include "base/threading/thread_local_storage.h"

#include <windows.h>

#include <stdint.h>
#include <stdio.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "base/threading/thread_local.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Destructions are recorded in plain static storage: values left on the main
// thread are destroyed at process exit, after static objects are gone.
int g_destroyed[1024];
std::atomic<int> g_destroyed_count{0};

void ResetDestroyed() {
  g_destroyed_count = 0;
}

void Record(int value) {
  const int i = g_destroyed_count.fetch_add(1);
  if (i < static_cast<int>(sizeof(g_destroyed) / sizeof(g_destroyed[0])))
    g_destroyed[i] = value;
}

std::vector<int> Destroyed() {
  return std::vector<int>(g_destroyed, g_destroyed + g_destroyed_count.load());
}

void* AsValue(int n) {
  return reinterpret_cast<void*>(static_cast<intptr_t>(n));
}

int AsInt(void* value) {
  return static_cast<int>(reinterpret_cast<intptr_t>(value));
}

// Runs |body| on a new thread and returns once that thread has ended, TLS
// callbacks included.
void RunOnThreadToItsEnd(std::function<void()> body) {
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* param) -> DWORD {
        (*static_cast<std::function<void()>*>(param))();
        return 0;
      },
      &body, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
  CloseHandle(thread);
}

void Initialize(ThreadLocalStorage::StaticSlot* slot,
                ThreadLocalStorage::TLSDestructorFunc destructor) {
  if (!slot->initialized())
    slot->Initialize(destructor);
  ASSERT_TRUE(slot->initialized());
}

ThreadLocalStorage::StaticSlot g_plain_slot;
ThreadLocalStorage::StaticSlot g_counted_slot;

void RecordValue(void* value) {
  Record(AsInt(value));
}

TEST(ThreadLocalStorageTest, ValuesBelongToOneThread) {
  Initialize(&g_plain_slot, nullptr);
  int main_value = 0;
  int other_value = 0;
  g_plain_slot.Set(&main_value);
  RunOnThreadToItsEnd([&] {
    EXPECT_EQ(nullptr, g_plain_slot.Get());
    g_plain_slot.Set(&other_value);
    EXPECT_EQ(&other_value, g_plain_slot.Get());
  });
  EXPECT_EQ(&main_value, g_plain_slot.Get());
  g_plain_slot.Set(nullptr);
}

// Three slots, made in this order; their destructors set slots again.
ThreadLocalStorage::StaticSlot g_first_slot;
ThreadLocalStorage::StaticSlot g_middle_slot;
ThreadLocalStorage::StaticSlot g_last_slot;

void DestroyFirst(void* value) {
  Record(AsInt(value));
  // Both slots after this one were already visited in this pass.
  if (AsInt(value) == 1) {
    g_last_slot.Set(AsValue(30));
    g_middle_slot.Set(AsValue(21));
  }
}

void DestroyMiddle(void* value) {
  Record(AsInt(value));
}

void DestroyLast(void* value) {
  Record(AsInt(value));
  // The middle slot is visited after this one within the same pass.
  if (AsInt(value) == 3)
    g_middle_slot.Set(AsValue(20));
}

TEST(ThreadLocalStorageTest, DestructorsRunAtThreadEndNewestSlotFirst) {
  Initialize(&g_first_slot, DestroyFirst);
  Initialize(&g_middle_slot, DestroyMiddle);
  Initialize(&g_last_slot, DestroyLast);
  ResetDestroyed();
  RunOnThreadToItsEnd([] {
    g_first_slot.Set(AsValue(1));
    g_last_slot.Set(AsValue(3));
    // Destructors see the values only once the thread ends.
    EXPECT_TRUE(Destroyed().empty());
  });
  // Pass one destroys 3, then the 20 set by its destructor, then 1; pass two
  // the values that 1's destructor set, again newest slot first; pass three
  // finds nothing.
  EXPECT_EQ((std::vector<int>{3, 20, 1, 30, 21}), Destroyed());
}

ThreadLocalStorage::StaticSlot g_relentless_slot;

void DestroyAndSetAgain(void* value) {
  Record(AsInt(value));
  g_relentless_slot.Set(AsValue(AsInt(value) + 1));
}

TEST(ThreadLocalStorageTest,
     ADestructorThatAlwaysSetsAgainGetsAtMost256Passes) {
  Initialize(&g_relentless_slot, DestroyAndSetAgain);
  ResetDestroyed();
  RunOnThreadToItsEnd([] { g_relentless_slot.Set(AsValue(1)); });
  const std::vector<int> destroyed = Destroyed();
  ASSERT_EQ(256u, destroyed.size());
  EXPECT_EQ(1, destroyed.front());
  EXPECT_EQ(256, destroyed.back());
}

TEST(ThreadLocalStorageTest, ThreadEndTouchesOnlyItsOwnValues) {
  Initialize(&g_plain_slot, nullptr);
  Initialize(&g_counted_slot, RecordValue);
  ResetDestroyed();
  g_counted_slot.Set(AsValue(7));

  // A thread that never used a slot has nothing to destroy.
  RunOnThreadToItsEnd([] {});
  EXPECT_TRUE(Destroyed().empty());
  EXPECT_EQ(AsValue(7), g_counted_slot.Get());

  // A value without a destructor is dropped; it makes no extra pass run the
  // counted slot's destructor again.
  RunOnThreadToItsEnd([] {
    g_plain_slot.Set(AsValue(5));
    g_counted_slot.Set(AsValue(8));
  });
  EXPECT_EQ(std::vector<int>{8}, Destroyed());
  EXPECT_EQ(AsValue(7), g_counted_slot.Get());

  // A null value is not destroyed.
  RunOnThreadToItsEnd([] {
    g_counted_slot.Set(AsValue(9));
    g_counted_slot.Set(nullptr);
  });
  EXPECT_EQ(std::vector<int>{8}, Destroyed());
  g_counted_slot.Set(nullptr);
}

TEST(ThreadLocalStorageDeathTest, TheTwoHundredFiftySixthSlotIsFatal) {
  EXPECT_DEATH(
      {
        static ThreadLocalStorage::StaticSlot slots[256];
        for (int i = 0; i < 255; ++i)
          slots[i].Initialize(nullptr);
        fprintf(stderr, "made 255 slots\n");
        fflush(stderr);
        slots[255].Initialize(nullptr);
        fprintf(stderr, "made a 256th slot\n");
      },
      "made 255 slots");
}

// The destructions that the test module reports.
void RecordFromModule(int value) {
  Record(value);
}

TEST(ThreadLocalStorageTest, ModuleDestroysValuesAtThreadEndAndUnload) {
  wchar_t exe_path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, exe_path, MAX_PATH);
  ASSERT_GT(length, 0u);
  std::wstring dll_path(exe_path, length);
  dll_path.resize(dll_path.find_last_of(L'\\') + 1);
  dll_path += L"thread_local_storage_test_dll.dll";
  HMODULE module = LoadLibraryW(dll_path.c_str());
  ASSERT_NE(nullptr, module) << GetLastError();
  auto set_recorder =
      reinterpret_cast<void (*)(void (*)(int))>(reinterpret_cast<void*>(
          GetProcAddress(module, "SetDestructionRecorder")));
  auto fill_slots = reinterpret_cast<void (*)()>(
      GetProcAddress(module, "FillSlotsOnThisThread"));
  ASSERT_TRUE(set_recorder && fill_slots);
  set_recorder(RecordFromModule);
  ResetDestroyed();

  RunOnThreadToItsEnd(fill_slots);
  EXPECT_EQ((std::vector<int>{3, 2, 1}), Destroyed());

  // A thread that does not touch the module's slots leaves them alone.
  RunOnThreadToItsEnd([] {});
  EXPECT_EQ(3u, Destroyed().size());

  // Unloading the module destroys the values of the thread that unloads it.
  fill_slots();
  ResetDestroyed();
  ASSERT_TRUE(FreeLibrary(module));
  EXPECT_EQ((std::vector<int>{3, 2, 1}), Destroyed());
}

TEST(ThreadLocalPointerTest, ValuesBelongToOneThread) {
  ThreadLocalPointer<int> pointer;
  ThreadLocalPointer<int> other_pointer;
  int main_value = 0;
  int other_value = 0;
  EXPECT_EQ(nullptr, pointer.Get());
  pointer.Set(&main_value);
  other_pointer.Set(&other_value);
  RunOnThreadToItsEnd([&] {
    EXPECT_EQ(nullptr, pointer.Get());
    pointer.Set(&other_value);
    EXPECT_EQ(&other_value, pointer.Get());
  });
  EXPECT_EQ(&main_value, pointer.Get());
  EXPECT_EQ(&other_value, other_pointer.Get());
  pointer.Set(nullptr);
  EXPECT_EQ(nullptr, pointer.Get());
}

}  // namespace
}  // namespace base
