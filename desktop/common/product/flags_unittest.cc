#include "desktop/common/product/flags.h"

#include <string>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace {

// The feature table decides first (on and overridable for VXQ, off for ZKW,
// off and fixed for a product without experiments), then the switch, when
// exactly "on" or "off", then the preferences: 1 or 2 for the feature, a
// boolean for metrics reporting, which no feature row governs. Each run
// starts over; an unusable file changes nothing.
TEST(FlagsTest, SettledFromTableSwitchAndPreferences) {
  const struct {
    const char* product;
    const char* switch_value;  // Null: no switch.
    const char* preferences;   // Null: no file.
    bool crash_logging;
    bool metrics;
  } kCases[] = {
      {"VXQ", nullptr, nullptr, true, true},
      {"ZKW", nullptr, nullptr, false, true},
      {"VXQ", "off", nullptr, false, true},
      {"VXQ", "OFF", nullptr, true, true},
      {"VXQ", "", nullptr, true, true},
      {"ZKW", "on", nullptr, false, true},
      {"VXQ", "on",
       R"({"browser": {"flags": {"alternative-crash-logging": 2}}})", false,
       true},
      {"VXQ", "off",
       R"({"browser": {"flags": {"alternative-crash-logging": 1}}})", true,
       true},
      {"VXQ", "off",
       R"({"browser": {"flags": {"alternative-crash-logging": 3}}})", false,
       true},
      {"VXQ", "off",
       R"({"browser": {"flags": {"alternative-crash-logging": "1"}}})", false,
       true},
      {"VXQ", "off", R"({"browser": {"flags": 1}})", false, true},
      {"VXQ", nullptr,
       R"({"user_experience_metrics": {"reporting_enabled": false}})", true,
       false},
      {"VXQ", nullptr,
       R"({"user_experience_metrics": {"reporting_enabled": 0}})", true, true},
      {"VXQ", "off", "{", false, true},
      {"VXQ", "off", "[]", false, true},
      {"VXQ", "off", "null", false, true},
      {"VXQ", "off", "\"text\"", false, true},
      {"VXQ", "off",
       R"({"user_experience_metrics": {"reporting_enabled": false}} x)", false,
       true},
      {"ABC", "on",
       R"({"browser": {"flags": {"alternative-crash-logging": 1}},
           "user_experience_metrics": {"reporting_enabled": false}})",
       false, false}};
  base::CommandLine::Init();
  base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
  const base::CommandLine saved_command_line = *command_line;
  base::UniqueTestDir folder;
  ASSERT_TRUE(folder.IsValid());
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << c.product << " " << c.switch_value << " " << c.preferences);
    ScopedProductConfiguration configuration(
        std::string(R"({"user_agent_name": ")") + c.product + "\"}");
    *command_line = saved_command_line;
    if (c.switch_value) {
      command_line->AppendSwitchASCII("with-feature:alternative-crash-logging",
                                      c.switch_value);
    }
    const base::FilePath preferences = folder.path().Append(L"Preferences");
    base::DeleteFile(preferences, false);
    if (c.preferences) {
      const std::string content = c.preferences;
      ASSERT_TRUE(base::WriteFile(preferences, content.data(),
                                  static_cast<int>(content.size())) >= 0);
    }
    Flags::Initialize(preferences);
    EXPECT_EQ(c.crash_logging, Flags::IsAlternativeCrashLoggingEnabled());
    EXPECT_EQ(c.metrics, Flags::IsMetricsReportingEnabled());
  }
  *command_line = saved_command_line;
}

}  // namespace
}  // namespace vexlo
