#include "desktop/windows/crash_reporter/crash_keys.h"

#include <windows.h>

#include <algorithm>
#include <regex>
#include <string>

#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_info.h"
#include "desktop/windows/crash_reporter/crash_reporter_client.h"
#include "desktop/windows/crash_reporter/test/crash_server_recorder.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

// Slots that nothing else in the test process writes.
constexpr size_t kFreeSlot = 5;
constexpr size_t kFreeRangeFirst = 34;
constexpr size_t kFreeRangeLast = 37;

bool IsReadOnly(const void* address) {
  MEMORY_BASIC_INFORMATION information = {};
  return ::VirtualQuery(address, &information, sizeof(information)) &&
         information.Protect == PAGE_READONLY;
}

const wchar_t* Value(size_t slot) {
  return CrashKeys::Get()->entries()[slot].value;
}

TEST(CrashKeysTest, TheTableHasEveryNameAndTheBuildFacts) {
  CrashKeys* keys = CrashKeys::Get();
  ASSERT_TRUE(keys->entries());
  EXPECT_EQ(keys, CrashKeys::Get());
  EXPECT_EQ(keys->entries(), keys->key_set().entries);
  EXPECT_EQ(96u, keys->key_set().count);
  EXPECT_TRUE(IsReadOnly(keys->entries()));
  EXPECT_TRUE(IsReadOnly(&keys->entries()[95]));
  const struct {
    size_t slot;
    const wchar_t* name;
  } kNames[] = {
      {0, L"version"},
      {3, L"build_request_time"},
      {5, L"crash_guid"},
      {6, L"active_url"},
      {21, L"active_url"},
      {22, L"gpu_vendor_id"},
      {26, L"gpu_vertex_shader_version"},
      {28, L"exception_policy"},
      {29, L"kronta_test"},
      {32, L"kronta_test"},
      {33, L"origin"},
      {49, L"enabled_extensions"},
      {50, L"disabled_extensions"},
      {69, L"blacklisted_extensions"},
      {73, L"terminated_extensions"},
      {77, L"third_party_installs"},
      {78, L"modules"},
      {93, L"modules"},
      {94, L"handle_info_items"},
      {95, L"invalid_handle"},
  };
  for (const auto& n : kNames)
    EXPECT_EQ(std::wstring(n.name), keys->entries()[n.slot].name) << n.slot;
  const CrashKeyEntry* entries = keys->entries();
  EXPECT_EQ(16u, std::count_if(entries, entries + 96, [](const auto& entry) {
              return std::wstring(entry.name) == L"modules";
            }));
  EXPECT_EQ(base::UTF8ToUTF16(ProductInfo::GetVersionString()), Value(0));
  EXPECT_EQ(std::wstring(L"627073"), Value(1));
  EXPECT_EQ(std::wstring(L"235537"), Value(2));
  EXPECT_EQ(std::wstring(L"20160412_220052"), Value(3));
  EXPECT_EQ(std::wstring(L"0"), Value(27));
  EXPECT_TRUE(std::regex_match(std::wstring(Value(28)),
                               std::wregex(L"(0x[0-9a-f]{4,})?")));
}

TEST(CrashKeysTest, OneSlotHoldsSixtyThreeUnits) {
  CrashKeys* keys = CrashKeys::Get();
  const std::wstring units63(63, L'a');
  const std::wstring units65 = units63 + L"bc";
  const struct {
    const wchar_t* value;
    std::wstring stored;
  } kCases[] = {{L"guid", L"guid"},
                {units63.c_str(), units63},
                {units65.c_str(), units63},
                {nullptr, L""}};
  for (const auto& c : kCases) {
    keys->SetValue(kFreeSlot, c.value);
    EXPECT_EQ(c.stored, Value(kFreeSlot));
    EXPECT_EQ(std::wstring(L"crash_guid"), keys->entries()[kFreeSlot].name);
    EXPECT_TRUE(IsReadOnly(keys->entries()));
  }
  // A range of one slot is one slot.
  keys->SetValueRange(kFreeSlot, kFreeSlot, units65);
  EXPECT_EQ(units63, Value(kFreeSlot));
  keys->SetValue(kFreeSlot, nullptr);
  // Slots beyond the table are not there to write.
  keys->SetValue(96, L"x");
  keys->SetValueRange(95, 96, L"x");
  keys->SetValueRange(40, 39, L"x");
  EXPECT_EQ(std::wstring(L"invalid_handle"), keys->entries()[95].name);
  EXPECT_EQ(std::wstring(), Value(95));
}

// A long value spreads over its range in 63-unit pieces; a shorter one
// later leaves no stale tail, and what does not fit is dropped.
TEST(CrashKeysTest, ARangeHoldsALongValueWithoutStaleTail) {
  CrashKeys* keys = CrashKeys::Get();
  std::wstring long_value;
  for (int i = 0; i < 300; ++i)
    long_value += static_cast<wchar_t>(L'a' + i % 26);
  const struct {
    std::wstring value;
    std::wstring joined;
    size_t used_slots;
  } kCases[] = {
      {long_value.substr(0, 64), long_value.substr(0, 64), 2},
      {long_value, long_value.substr(0, 252), 4},
      {L"abc", L"abc", 1},
      {long_value.substr(0, 126), long_value.substr(0, 126), 2},
      {L"", L"", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value.size());
    keys->SetValueRange(kFreeRangeFirst, kFreeRangeLast, c.value);
    EXPECT_EQ(c.joined,
              JoinCrashKey(keys->entries(), 96, L"enabled_extensions"));
    for (size_t slot = kFreeRangeFirst; slot <= kFreeRangeLast; ++slot) {
      EXPECT_EQ(slot - kFreeRangeFirst < c.used_slots, *Value(slot) != 0)
          << slot;
    }
    EXPECT_TRUE(IsReadOnly(keys->entries()));
  }
}

TEST(CrashKeysTest, EnvironmentValuesOfUpTo511UnitsAreUsed) {
  const wchar_t kName[] = L"VEXLO_CRASH_KEYS_TEST_VALUE";
  const struct {
    std::wstring value;
    bool set;
    std::wstring read;
  } kCases[] = {{std::wstring(511, L'v'), true, std::wstring(511, L'v')},
                {std::wstring(512, L'v'), true, L""},
                {L"", true, L""},
                {L"value", false, L""}};
  for (const auto& c : kCases) {
    ::SetEnvironmentVariableW(kName, c.set ? c.value.c_str() : nullptr);
    EXPECT_EQ(c.read, GetEnvironmentString(kName)) << c.value.size();
  }
  ::SetEnvironmentVariableW(kName, nullptr);
}

// Each loaded module of the list in its own record, the executable first,
// the modules that are not loaded left out.
TEST(CrashKeysTest, TheModuleListDescribesEachLoadedModule) {
  const std::wstring modules = GetLoadedModulesString();
  const std::wregex record(
      L"([^:\\\\]+):([0-9A-F]{16}):([0-9a-f]+):([^:]:[^:]*)::");
  std::wstring names;
  for (std::wsregex_iterator it(modules.begin(), modules.end(), record), end;
       it != end; ++it) {
    names += (*it)[1].str() + L" ";
    const HMODULE module = ::GetModuleHandleW(
        it == std::wsregex_iterator(modules.begin(), modules.end(), record)
            ? nullptr
            : (*it)[1].str().c_str());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(module),
              std::stoull((*it)[2].str(), nullptr, 16));
  }
  EXPECT_EQ(std::regex_replace(modules, record, L""), L"");
  EXPECT_EQ(0u, names.find(L"desktop_unittests.exe "));
  for (const wchar_t* name : {L"kernel32.dll ", L"ntdll.dll ", L"msvcrt.dll "})
    EXPECT_NE(std::wstring::npos, names.find(name)) << names;
  EXPECT_EQ(std::wstring::npos, names.find(L"vexlo.dll")) << names;
}

TEST(CrashKeysTest, TheInstallerKeysComeFromTheProcessAndItsEnvironment) {
  ::SetEnvironmentVariableW(L"VEXLO_CRASH_ORIGIN",
                            std::wstring(70, L'o').c_str());
  ::SetEnvironmentVariableW(L"VEXLO_CRASH_REPORTER_KRONTA_TEST", L"kronta");
  SetInstallerCrashKeys();
  ::SetEnvironmentVariableW(L"VEXLO_CRASH_ORIGIN", nullptr);
  ::SetEnvironmentVariableW(L"VEXLO_CRASH_REPORTER_KRONTA_TEST", nullptr);
  const CrashKeyEntry* entries = CrashKeys::Get()->entries();
  EXPECT_EQ(std::wstring(L"installer"), Value(4));
  EXPECT_EQ(std::wstring(63, L'o'), Value(33));
  EXPECT_EQ(L"kronta", JoinCrashKey(entries, 96, L"kronta_test"));
  EXPECT_EQ(GetLoadedModulesString().substr(0, 16 * 63),
            JoinCrashKey(entries, 96, L"modules"));
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo
