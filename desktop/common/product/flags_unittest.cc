#include "desktop/common/product/flags.h"

#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace {

constexpr char kVxqConfiguration[] = R"({"user_agent_name": "VXQ"})";
constexpr char kAlternativeCrashLoggingSwitch[] =
    "with-feature:alternative-crash-logging";

// A preferences file with the given content in the temporary folder,
// deleted with the object.
class ScopedPreferencesFile {
 public:
  explicit ScopedPreferencesFile(const std::string& content) {
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t file[MAX_PATH + 1] = {};
    if (!GetTempPathW(MAX_PATH + 1, folder) ||
        !GetTempFileNameW(folder, L"flg", 0, file)) {
      ADD_FAILURE() << "no temporary file: " << GetLastError();
      return;
    }
    path_ = base::FilePath(file);
    HANDLE handle = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      ADD_FAILURE() << "cannot write the preferences: " << GetLastError();
      return;
    }
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(handle, content.data(),
                          static_cast<DWORD>(content.size()), &written,
                          nullptr));
    EXPECT_EQ(content.size(), written);
    CloseHandle(handle);
  }
  ScopedPreferencesFile(const ScopedPreferencesFile&) = delete;
  ScopedPreferencesFile& operator=(const ScopedPreferencesFile&) = delete;
  ~ScopedPreferencesFile() {
    if (!path_.empty())
      DeleteFileW(path_.value().c_str());
  }

  const base::FilePath& path() const { return path_; }

 private:
  base::FilePath path_;
};

// A path that does not exist: the temporary folder's own name with a suffix
// no test creates.
base::FilePath MissingPreferencesPath() {
  wchar_t folder[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, folder);
  return base::FilePath(base::string16(folder) +
                        L"no_such_preferences_file.json");
}

class FlagsTest : public testing::Test {
 protected:
  void SetUp() override {
    base::CommandLine::Init();
    command_line_ = base::CommandLine::ForCurrentProcess();
    ASSERT_TRUE(command_line_);
    saved_command_line_ = *command_line_;
  }
  void TearDown() override {
    if (command_line_)
      *command_line_ = saved_command_line_;
  }

  void SetSwitch(const std::string& value) {
    command_line_->AppendSwitchASCII(kAlternativeCrashLoggingSwitch, value);
  }

  base::CommandLine* command_line_ = nullptr;
  base::CommandLine saved_command_line_{base::CommandLine::NO_PROGRAM};
};

TEST_F(FlagsTest, FeatureTableDecidesWithoutSwitchOrPreferences) {
  {
    ScopedProductConfiguration configuration(kVxqConfiguration);
    Flags::Initialize(MissingPreferencesPath());
    EXPECT_TRUE(Flags::IsAlternativeCrashLoggingEnabled());
    EXPECT_TRUE(Flags::IsMetricsReportingEnabled());
  }
  {
    // No bit of the other product's masks is in the feature's.
    ScopedProductConfiguration configuration(R"({"user_agent_name": "ZKW"})");
    Flags::Initialize(MissingPreferencesPath());
    EXPECT_FALSE(Flags::IsAlternativeCrashLoggingEnabled());
    EXPECT_TRUE(Flags::IsMetricsReportingEnabled());
  }
}

TEST_F(FlagsTest, SwitchValueMustBeExactlyOnOrOff) {
  ScopedProductConfiguration configuration(kVxqConfiguration);
  SetSwitch("off");
  Flags::Initialize(MissingPreferencesPath());
  EXPECT_FALSE(Flags::IsAlternativeCrashLoggingEnabled());

  for (const char* value : {"OFF", "Off", "no", "0", ""}) {
    SCOPED_TRACE(value);
    SetSwitch(value);
    Flags::Initialize(MissingPreferencesPath());
    EXPECT_TRUE(Flags::IsAlternativeCrashLoggingEnabled());
  }

  SetSwitch("on");
  Flags::Initialize(MissingPreferencesPath());
  EXPECT_TRUE(Flags::IsAlternativeCrashLoggingEnabled());
}

TEST_F(FlagsTest, PreferencesWinOverTheSwitch) {
  ScopedProductConfiguration configuration(kVxqConfiguration);
  SetSwitch("on");
  ScopedPreferencesFile off(
      R"({"browser": {"flags": {"alternative-crash-logging": 2}}})");
  Flags::Initialize(off.path());
  EXPECT_FALSE(Flags::IsAlternativeCrashLoggingEnabled());

  SetSwitch("off");
  ScopedPreferencesFile on(
      R"({"browser": {"flags": {"alternative-crash-logging": 1}}})");
  Flags::Initialize(on.path());
  EXPECT_TRUE(Flags::IsAlternativeCrashLoggingEnabled());

  // Other numbers and other types leave the switch's decision.
  for (const char* content :
       {R"({"browser": {"flags": {"alternative-crash-logging": 0}}})",
        R"({"browser": {"flags": {"alternative-crash-logging": 3}}})",
        R"({"browser": {"flags": {"alternative-crash-logging": "1"}}})",
        R"({"browser": {"flags": {"alternative-crash-logging": true}}})",
        R"({"browser": {"flags": {"alternative-crash-logging": 1.0}}})",
        R"({"browser": {"flags": 1}})", R"({})"}) {
    SCOPED_TRACE(content);
    ScopedPreferencesFile file(content);
    Flags::Initialize(file.path());
    EXPECT_FALSE(Flags::IsAlternativeCrashLoggingEnabled());
  }
}

TEST_F(FlagsTest, MetricsReportingFollowsItsBooleanPreference) {
  ScopedProductConfiguration configuration(kVxqConfiguration);
  ScopedPreferencesFile off(
      R"({"user_experience_metrics": {"reporting_enabled": false}})");
  Flags::Initialize(off.path());
  EXPECT_FALSE(Flags::IsMetricsReportingEnabled());
  EXPECT_TRUE(Flags::IsAlternativeCrashLoggingEnabled());

  ScopedPreferencesFile not_boolean(
      R"({"user_experience_metrics": {"reporting_enabled": 0}})");
  Flags::Initialize(not_boolean.path());
  EXPECT_TRUE(Flags::IsMetricsReportingEnabled());
}

TEST_F(FlagsTest, UnusablePreferencesLeaveEarlierDecisions) {
  ScopedProductConfiguration configuration(kVxqConfiguration);
  SetSwitch("off");
  for (const char* content :
       {"", "{", "[]", "\"text\"", "null",
        R"({"user_experience_metrics": {"reporting_enabled": false}} x)"}) {
    SCOPED_TRACE(content);
    ScopedPreferencesFile file(content);
    Flags::Initialize(file.path());
    EXPECT_FALSE(Flags::IsAlternativeCrashLoggingEnabled());
    EXPECT_TRUE(Flags::IsMetricsReportingEnabled());
  }
  Flags::Initialize(MissingPreferencesPath());
  EXPECT_FALSE(Flags::IsAlternativeCrashLoggingEnabled());
  EXPECT_TRUE(Flags::IsMetricsReportingEnabled());
}

// Without an experiment row the feature is off and fixed, so neither the
// switch nor the preferences change it; the metrics flag, which no feature
// row governs, still follows its preference.
TEST_F(FlagsTest, UnknownProductFixesTheFeatureFlagOff) {
  ScopedProductConfiguration configuration(R"({"user_agent_name": "ABC"})");
  SetSwitch("on");
  ScopedPreferencesFile file(R"({
    "browser": {"flags": {"alternative-crash-logging": 1}},
    "user_experience_metrics": {"reporting_enabled": false}
  })");
  Flags::Initialize(file.path());
  EXPECT_FALSE(Flags::IsAlternativeCrashLoggingEnabled());
  EXPECT_FALSE(Flags::IsMetricsReportingEnabled());
}

// Each run starts over from the compiled-in values.
TEST_F(FlagsTest, InitializeStartsOver) {
  ScopedProductConfiguration configuration(kVxqConfiguration);
  ScopedPreferencesFile off(R"({
    "browser": {"flags": {"alternative-crash-logging": 2}},
    "user_experience_metrics": {"reporting_enabled": false}
  })");
  Flags::Initialize(off.path());
  EXPECT_FALSE(Flags::IsAlternativeCrashLoggingEnabled());
  EXPECT_FALSE(Flags::IsMetricsReportingEnabled());

  Flags::Initialize(MissingPreferencesPath());
  EXPECT_TRUE(Flags::IsAlternativeCrashLoggingEnabled());
  EXPECT_TRUE(Flags::IsMetricsReportingEnabled());
}

}  // namespace
}  // namespace vexlo
