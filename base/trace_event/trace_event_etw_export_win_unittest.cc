#include "base/trace_event/trace_event_etw_export_win.h"

#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/threading/platform_thread.h"
#include "base/trace_event/trace_event.h"
#include "base/trace_event/trace_log.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

// What the payload writer received, one entry per event.
std::vector<std::vector<std::string>> g_written;

uint32_t RecordPayload(const char* const* items,
                       const uint32_t* sizes,
                       uint32_t count) {
  std::vector<std::string> event;
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_EQ(strlen(items[i]) + 1, sizes[i]);
    event.push_back(items[i]);
  }
  g_written.push_back(event);
  return 0;
}

// The export switched on, with the payload writer replaced; a session
// asks for the provider's event.
class ETWExportTest : public testing::Test {
 protected:
  ETWExportTest() : export_(TraceEventETWExport::GetInstance()) {
    g_written.clear();
    TraceEventETWExport::SetEventWriteFunctionForTesting(&RecordPayload);
  }
  ~ETWExportTest() override {
    TraceEventETWExport::SetEventWriteFunctionForTesting(nullptr);
    TraceEventETWExport::OnProviderEnableChanged(0, 0, 0, 0);
  }

  void SwitchOn() {
    export_->SetEnabledForTesting(true);
    TraceEventETWExport::OnProviderEnableChanged(1, 5, 0x8000000000000000ull,
                                                 0);
  }

  TraceEventETWExport* const export_;
};

TEST_F(ETWExportTest, OffAtStart) {
  ASSERT_TRUE(export_);
  EXPECT_FALSE(TraceEventETWExport::IsCategoryGroupEnabled("toplevel"));
  EXPECT_FALSE(export_->IsCategoryEnabled("toplevel"));
  EXPECT_EQ(0, *TraceLog::GetCategoryGroupEnabled("toplevel"));
  EXPECT_FALSE(TraceEventETWExport::IsProviderEventEnabled());
  TraceEventETWExport::AddCompleteEndEvent("nothing");
  EXPECT_TRUE(g_written.empty());
}

TEST_F(ETWExportTest, CatchAllCategories) {
  export_->SetCategoryStatusForTesting("__OTHER_EVENTS", true);
  EXPECT_TRUE(export_->IsCategoryEnabled("anything"));
  EXPECT_FALSE(export_->IsCategoryEnabled("disabled-by-default-anything"));
  export_->SetCategoryStatusForTesting("__DISABLED_OTHER_EVENTS", true);
  export_->SetCategoryStatusForTesting("__OTHER_EVENTS", false);
  EXPECT_TRUE(export_->IsCategoryEnabled("disabled-by-default-anything"));
  EXPECT_FALSE(export_->IsCategoryEnabled("anything"));
  // A listed category keeps its own status.
  EXPECT_FALSE(export_->IsCategoryEnabled("toplevel"));

  // Groups are enabled through any of their categories, and only while the
  // export is on.
  EXPECT_FALSE(TraceEventETWExport::IsCategoryGroupEnabled(
      "toplevel,disabled-by-default-x"));
  export_->SetEnabledForTesting(true);
  EXPECT_TRUE(TraceEventETWExport::IsCategoryGroupEnabled(
      "toplevel,disabled-by-default-x"));
  EXPECT_FALSE(TraceEventETWExport::IsCategoryGroupEnabled("toplevel"));
  export_->SetEnabledForTesting(false);
}

TEST_F(ETWExportTest, SessionLevelsAndKeywords) {
  const struct {
    uint32_t control_code;
    uint8_t level;
    uint64_t match_any;
    uint64_t match_all;
    bool enabled;
  } kCases[] = {
      {1, 5, 0x8000000000000000ull, 0, true},
      {1, 3, 0x8000000000000000ull, 0, false},
      {1, 0, 0x8000000000000000ull, 0, true},
      {1, 5, 0x1, 0, false},
      {1, 5, 0x8000000000000000ull, 0x8000000000000001ull, false},
      {0, 5, 0x8000000000000000ull, 0, false},
  };
  for (const auto& c : kCases) {
    TraceEventETWExport::OnProviderEnableChanged(c.control_code, c.level,
                                                 c.match_any, c.match_all);
    EXPECT_EQ(c.enabled, TraceEventETWExport::IsProviderEventEnabled())
        << static_cast<int>(c.level) << " " << c.match_any;
  }
}

TEST_F(ETWExportTest, Payload) {
  SwitchOn();
  const char* const arg_names[] = {"n", "s"};
  const unsigned char arg_types[] = {TRACE_VALUE_TYPE_INT,
                                     TRACE_VALUE_TYPE_STRING};
  const unsigned long long arg_values[] = {7,
                                           reinterpret_cast<uintptr_t>("text")};
  TraceEventETWExport::AddEvent('B', nullptr, nullptr, 0, 2, arg_names,
                                arg_types, arg_values, nullptr);
  TraceEventETWExport::AddCompleteEndEvent("span");
  ASSERT_EQ(2u, g_written.size());
  EXPECT_EQ((std::vector<std::string>{"NULL", "Begin", "n", "7", "s",
                                      "\"text\"", "", ""}),
            g_written[0]);
  EXPECT_EQ((std::vector<std::string>{"span", "Complete End", "", "", "", "",
                                      "", ""}),
            g_written[1]);

  // Nothing once the session lets go.
  TraceEventETWExport::OnProviderEnableChanged(0, 0, 0, 0);
  TraceEventETWExport::AddCompleteEndEvent("span");
  EXPECT_EQ(2u, g_written.size());
}

TEST_F(ETWExportTest, TraceLogSendsExportedEvents) {
  SwitchOn();
  export_->SetCategoryStatusForTesting("__OTHER_EVENTS", true);
  const unsigned char* category = TraceLog::GetCategoryGroupEnabled("exported");
  EXPECT_EQ(kEnabledForEtwExport, *category);
  const TraceEventHandle handle =
      TraceLog::GetInstance()->AddTraceEventWithThreadIdAndTimestamp(
          'X', category, "Exported", nullptr, 0, 0,
          static_cast<int>(PlatformThread::CurrentId()), TimeTicks::Now(), 0,
          nullptr, nullptr, nullptr, nullptr, 0);
  // Not recorded: no handle.
  EXPECT_EQ(0u, handle.chunk_seq);
  TraceLog::GetInstance()->UpdateTraceEventDuration(category, "Exported",
                                                    handle);
  ASSERT_EQ(2u, g_written.size());
  EXPECT_EQ("Complete", g_written[0][1]);
  EXPECT_EQ("Complete End", g_written[1][1]);
}

TEST(ETWExportPhaseTest, Names) {
  EXPECT_EQ("Nestable Async Begin", TraceEventETWExport::GetPhaseName('b'));
  EXPECT_EQ("Phase Delete Object", TraceEventETWExport::GetPhaseName('D'));
  EXPECT_EQ("Z", TraceEventETWExport::GetPhaseName('Z'));
}

TEST(ETWExportLifetimeTest, NotRebuiltAfterExit) {
  {
    AtExitManager exit_manager;
    ASSERT_TRUE(TraceEventETWExport::GetInstance());
  }
  EXPECT_EQ(nullptr, TraceEventETWExport::GetInstance());
  EXPECT_EQ(nullptr, TraceEventETWExport::GetInstance());
  EXPECT_FALSE(TraceEventETWExport::IsCategoryGroupEnabled("toplevel"));
}

}  // namespace
}  // namespace trace_event
}  // namespace base
