#include "base/trace_event/trace_event_etw_export_win.h"

#include <windows.h>

#include <evntprov.h>

#include <string.h>

#include <algorithm>
#include <atomic>

#include "base/at_exit.h"
#include "base/lazy_instance.h"
#include "base/native_library.h"
#include "base/strings/string_util.h"
#include "base/trace_event/trace_config.h"
#include "base/trace_event/trace_event.h"
#include "base/trace_event/trace_event_impl.h"

namespace base {
namespace trace_event {

class KeywordUpdateThread {
 public:
  virtual ~KeywordUpdateThread() = default;
};

namespace {

// {D2D578D9-2936-45B6-A09F-30E32715F42D}
const GUID kProviderGuid = {0xD2D578D9,
                            0x2936,
                            0x45B6,
                            {0xA0, 0x9F, 0x30, 0xE3, 0x27, 0x15, 0xF4, 0x2D}};

// The provider's one event.
constexpr uint8_t kEventLevel = 4;
constexpr uint64_t kEventKeyword = 0x8000000000000000ull;
const EVENT_DESCRIPTOR kEventDescriptor = {
    1, 0, 8, kEventLevel, 0, 0, kEventKeyword};

const char kOtherEventsGroupName[] = "__OTHER_EVENTS";
const char kDisabledOtherEventsGroupName[] = "__DISABLED_OTHER_EVENTS";
const char kDisabledByDefaultPrefix[] = "disabled-by-default";

// The categories of the program's subsystems that a session could choose.
const char* const kFilteredEventGroupNames[] = {
    "benchmark", "base",    "browser", "gpu",        "input",
    "ipc",       "loading", "memory",  "navigation", "net",
    "renderer",  "script",  "startup", "task",       "toplevel"};

constexpr int kNumberOfItems = 8;

// What a session asks of the provider.
constexpr uint32_t kControlCodeDisable = 0;
constexpr uint32_t kControlCodeEnable = 1;
const char kNullText[] = "NULL";

typedef ULONG(WINAPI* EventRegisterFunction)(LPCGUID,
                                             PENABLECALLBACK,
                                             PVOID,
                                             PREGHANDLE);
typedef ULONG(WINAPI* EventWriteProc)(REGHANDLE,
                                      PCEVENT_DESCRIPTOR,
                                      ULONG,
                                      PEVENT_DATA_DESCRIPTOR);
typedef ULONG(WINAPI* EventUnregisterFunction)(REGHANDLE);

// What the enable callback last heard from a session.
struct EnableContext {
  uint64_t match_any_keyword;
  uint64_t match_all_keyword;
  uint32_t is_enabled;
  uint8_t level;
  uint16_t event_count;
  bool event_enabled;
};

struct Provider {
  REGHANDLE handle = 0;
  EventRegisterFunction event_register = nullptr;
  EventWriteProc event_write = nullptr;
  EventUnregisterFunction event_unregister = nullptr;
  EnableContext context = {0, 0, 0, 0, 1, false};
};

Provider g_provider;
std::atomic<TraceEventETWExport::EventWriteFunction> g_write_for_testing{
    nullptr};

LazyInstance::StateWord g_instance_state{0};
std::atomic<bool> g_instance_made{false};

void NTAPI EnableCallback(LPCGUID /*source_id*/,
                          ULONG control_code,
                          UCHAR level,
                          ULONGLONG match_any_keyword,
                          ULONGLONG match_all_keyword,
                          PEVENT_FILTER_DESCRIPTOR /*filter_data*/,
                          PVOID callback_context) {
  if (!callback_context)
    return;
  TraceEventETWExport::OnProviderEnableChanged(
      control_code, level, match_any_keyword, match_all_keyword);
}

void RegisterProvider() {
  if (g_provider.handle)
    return;
  HMODULE advapi = LoadNativeLibrary(FilePath(L"Advapi32.dll"), nullptr);
  if (!advapi)
    return;
  g_provider.event_register = reinterpret_cast<EventRegisterFunction>(
      reinterpret_cast<void*>(::GetProcAddress(advapi, "EventRegister")));
  g_provider.event_write = reinterpret_cast<EventWriteProc>(
      reinterpret_cast<void*>(::GetProcAddress(advapi, "EventWrite")));
  g_provider.event_unregister = reinterpret_cast<EventUnregisterFunction>(
      reinterpret_cast<void*>(::GetProcAddress(advapi, "EventUnregister")));
  if (!g_provider.event_register)
    return;
  REGHANDLE handle = 0;
  if (g_provider.event_register(&kProviderGuid, &EnableCallback,
                                &g_provider.context, &handle) == ERROR_SUCCESS)
    g_provider.handle = handle;
}

void UnregisterProvider() {
  if (g_provider.handle && g_provider.event_unregister)
    g_provider.event_unregister(g_provider.handle);
  g_provider.handle = 0;
}

// Sends the items; a null item goes as "NULL".
void WriteItems(const char* items[kNumberOfItems]) {
  uint32_t sizes[kNumberOfItems];
  for (int i = 0; i < kNumberOfItems; ++i) {
    if (!items[i])
      items[i] = kNullText;
    sizes[i] = static_cast<uint32_t>(strlen(items[i]) + 1);
  }
  const TraceEventETWExport::EventWriteFunction write_for_testing =
      g_write_for_testing.load();
  if (write_for_testing) {
    write_for_testing(items, sizes, kNumberOfItems);
    return;
  }
  if (!g_provider.event_write)
    return;
  EVENT_DATA_DESCRIPTOR descriptors[kNumberOfItems];
  for (int i = 0; i < kNumberOfItems; ++i)
    EventDataDescCreate(&descriptors[i], items[i], sizes[i]);
  g_provider.event_write(g_provider.handle, &kEventDescriptor, kNumberOfItems,
                         descriptors);
}

}  // namespace

bool TraceEventETWExport::CategoryLess::operator()(StringPiece a,
                                                   StringPiece b) const {
  const int order = memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  return order != 0 ? order < 0 : a.size() < b.size();
}

TraceEventETWExport::TraceEventETWExport()
    : etw_export_enabled_(false), etw_match_any_keyword_(0) {
  RegisterProvider();
  for (const char* name : kFilteredEventGroupNames)
    SetCategoryStatus(name, false);
  SetCategoryStatus(kOtherEventsGroupName, false);
  SetCategoryStatus(kDisabledOtherEventsGroupName, false);
}

TraceEventETWExport::~TraceEventETWExport() = default;

void TraceEventETWExport::SetCategoryStatus(StringPiece category,
                                            bool enabled) {
  categories_status_[category] = enabled;
}

// static
TraceEventETWExport* TraceEventETWExport::GetInstance() {
  const uintptr_t value = g_instance_state.load(std::memory_order_acquire);
  if (value > LazyInstance::kBeingCreated)
    return reinterpret_cast<TraceEventETWExport*>(value);
  if (!LazyInstance::NeedsInstance(&g_instance_state)) {
    return reinterpret_cast<TraceEventETWExport*>(
        g_instance_state.load(std::memory_order_acquire));
  }
  // Made once in the process's life: not again after its exit clean-up.
  if (g_instance_made.exchange(true)) {
    g_instance_state.store(0, std::memory_order_release);
    return nullptr;
  }
  TraceEventETWExport* const instance = new TraceEventETWExport;
  LazyInstance::CompleteInstance(&g_instance_state, instance, nullptr, nullptr);
  AtExitManager::RegisterCallback(&DestroyAtExit, nullptr);
  return instance;
}

// static
void TraceEventETWExport::DestroyAtExit(void* /*unused*/) {
  TraceEventETWExport* const instance = reinterpret_cast<TraceEventETWExport*>(
      g_instance_state.load(std::memory_order_acquire));
  UnregisterProvider();
  delete instance;
  g_instance_state.store(0, std::memory_order_release);
}

// static
bool TraceEventETWExport::IsCategoryGroupEnabled(StringPiece category_group) {
  TraceEventETWExport* const instance = GetInstance();
  if (!instance || !instance->etw_export_enabled_)
    return false;
  return TraceConfig::AnyCategory(category_group, [instance](StringPiece c) {
    return instance->IsCategoryEnabled(c);
  });
}

bool TraceEventETWExport::IsCategoryEnabled(StringPiece category_name) const {
  auto it = categories_status_.find(category_name);
  if (it != categories_status_.end())
    return it->second;
  const bool disabled_by_default = StartsWith(
      category_name, kDisabledByDefaultPrefix, CompareCase::SENSITIVE);
  it = categories_status_.find(disabled_by_default
                                   ? kDisabledOtherEventsGroupName
                                   : kOtherEventsGroupName);
  return it != categories_status_.end() && it->second;
}

// static
void TraceEventETWExport::AddEvent(
    char phase,
    const unsigned char* /*category_group_enabled*/,
    const char* name,
    unsigned long long /*id*/,
    int num_args,
    const char* const* arg_names,
    const unsigned char* arg_types,
    const unsigned long long* arg_values,
    const std::unique_ptr<ConvertableToTraceFormat>* /*convertable_values*/) {
  TraceEventETWExport* const instance = GetInstance();
  if (!instance || !instance->etw_export_enabled_ || !IsProviderEventEnabled())
    return;
  const std::string phase_name = GetPhaseName(phase);
  std::string arg_texts[3];
  const char* items[kNumberOfItems] = {
      name, phase_name.c_str(), "", "", "", "", "", ""};
  for (int i = 0; i < num_args && i < 3; ++i) {
    items[2 + 2 * i] = arg_names[i];
    if (arg_types[i] != TRACE_VALUE_TYPE_CONVERTABLE) {
      TraceEvent::TraceValue value;
      value.as_uint = arg_values[i];
      TraceEvent::AppendValueAsJSON(arg_types[i], value, &arg_texts[i]);
    }
    items[3 + 2 * i] = arg_texts[i].c_str();
  }
  if (IsProviderEventEnabled())
    WriteItems(items);
}

// static
void TraceEventETWExport::AddCompleteEndEvent(const char* name) {
  TraceEventETWExport* const instance = GetInstance();
  if (!instance || !instance->etw_export_enabled_ || !IsProviderEventEnabled())
    return;
  const char* items[kNumberOfItems] = {name, "Complete End", "", "", "", "", "",
                                       ""};
  WriteItems(items);
}

// static
void TraceEventETWExport::OnProviderEnableChanged(uint32_t control_code,
                                                  uint8_t level,
                                                  uint64_t match_any_keyword,
                                                  uint64_t match_all_keyword) {
  EnableContext* const context = &g_provider.context;
  switch (control_code) {
    case kControlCodeDisable:
      context->is_enabled = 0;
      context->level = 0;
      context->match_any_keyword = 0;
      context->match_all_keyword = 0;
      context->event_enabled = false;
      break;
    case kControlCodeEnable:
      context->match_any_keyword = match_any_keyword;
      context->level = level;
      context->match_all_keyword = match_all_keyword;
      context->is_enabled = 1;
      context->event_enabled =
          (level == 0 || kEventLevel <= level) &&
          (kEventKeyword == 0 ||
           ((kEventKeyword & match_any_keyword) != 0 &&
            (kEventKeyword & match_all_keyword) == match_all_keyword));
      break;
    default:
      break;
  }
}

// static
bool TraceEventETWExport::IsProviderEventEnabled() {
  return g_provider.context.event_enabled;
}

// static
std::string TraceEventETWExport::GetPhaseName(char phase) {
  static const struct {
    char phase;
    const char* name;
  } kPhaseNames[] = {
      {'B', "Begin"},
      {'E', "End"},
      {'X', "Complete"},
      {'I', "Instant"},
      {'S', "Async Begin"},
      {'T', "Async Step Into"},
      {'p', "Async Step Past"},
      {'F', "Async End"},
      {'b', "Nestable Async Begin"},
      {'e', "Nestable Async End"},
      {'n', "Nestable Async Instant"},
      {'s', "Phase Flow Begin"},
      {'t', "Phase Flow Step"},
      {'f', "Phase Flow End"},
      {'M', "Phase Metadata"},
      {'C', "Phase Counter"},
      {'P', "Phase Sample"},
      {'N', "Phase Create Object"},
      {'O', "Phase Snapshot Object"},
      {'D', "Phase Delete Object"},
  };
  for (const auto& entry : kPhaseNames) {
    if (entry.phase == phase)
      return entry.name;
  }
  return std::string(1, phase);
}

// static
void TraceEventETWExport::SetEventWriteFunctionForTesting(
    EventWriteFunction function) {
  g_write_for_testing.store(function);
}

}  // namespace trace_event
}  // namespace base
