#include "desktop/common/product/flags.h"

#include <array>
#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/json/json_file_value_serializer.h"
#include "base/values.h"
#include "desktop/common/product/installer_features.h"

namespace vexlo {

namespace {

struct Flag {
  // The feature and switch name; null for a flag read only from its
  // preference.
  const char* switch_name;
  // A boolean preference; null when the flag has none.
  const char* preference_path;
  bool value;
  bool overridable;
};

enum FlagIndex {
  METRICS_REPORTING,
  ALTERNATIVE_CRASH_LOGGING,
  FLAG_COUNT,
};

using FlagTable = std::array<Flag, FLAG_COUNT>;

constexpr FlagTable kCompiledInFlags = {{
    {nullptr, "user_experience_metrics.reporting_enabled", true, true},
    {"alternative-crash-logging", nullptr, false, true},
}};

// The values of the browser's per-feature preference "browser.flags.<name>".
constexpr int kPreferenceFeatureOn = 1;
constexpr int kPreferenceFeatureOff = 2;

FlagTable g_flags = kCompiledInFlags;

void ApplyFeatureTable(Flag* flag) {
  const installer::FeatureDefinition* feature =
      installer::FindBrowserFeature(flag->switch_name);
  if (!feature)
    return;
  flag->value = installer::IsInstallerFeatureEnabledByDefault(*feature);
  flag->overridable = installer::IsInstallerFeatureOverridable(*feature);
}

void ApplySwitch(const base::CommandLine& command_line, Flag* flag) {
  const std::string value = command_line.GetSwitchValueASCII(
      base::GetFeatureSwitchName(flag->switch_name));
  if (value == "on")
    flag->value = true;
  else if (value == "off")
    flag->value = false;
}

void ApplyPreferences(const base::DictionaryValue& preferences, Flag* flag) {
  if (flag->switch_name) {
    int state = 0;
    if (!preferences.GetInteger(
            std::string("browser.flags.") + flag->switch_name, &state)) {
      return;
    }
    if (state == kPreferenceFeatureOn)
      flag->value = true;
    else if (state == kPreferenceFeatureOff)
      flag->value = false;
  } else if (flag->preference_path) {
    preferences.GetBoolean(flag->preference_path, &flag->value);
  }
}

// The preferences file's root object; null when the file cannot be read or
// parsed or holds something else.
std::unique_ptr<base::DictionaryValue> ReadPreferences(
    const base::FilePath& path) {
  base::JSONFileValueDeserializer deserializer(path);
  int error_code = 0;
  std::string error_message;
  std::unique_ptr<base::Value> root =
      deserializer.Deserialize(&error_code, &error_message);
  if (error_code != 0 || !root || !root->IsType(base::Value::TYPE_DICTIONARY)) {
    return nullptr;
  }
  return std::unique_ptr<base::DictionaryValue>(
      static_cast<base::DictionaryValue*>(root.release()));
}

}  // namespace

// static
void Flags::Initialize(const base::FilePath& preferences_path) {
  g_flags = kCompiledInFlags;

  for (Flag& flag : g_flags) {
    if (flag.switch_name)
      ApplyFeatureTable(&flag);
  }

  const base::CommandLine* command_line =
      base::CommandLine::ForCurrentProcess();
  if (command_line) {
    for (Flag& flag : g_flags) {
      if (flag.overridable && flag.switch_name)
        ApplySwitch(*command_line, &flag);
    }
  }

  std::unique_ptr<base::DictionaryValue> preferences =
      ReadPreferences(preferences_path);
  if (!preferences)
    return;
  for (Flag& flag : g_flags) {
    if (flag.overridable)
      ApplyPreferences(*preferences, &flag);
  }
}

// static
bool Flags::IsMetricsReportingEnabled() {
  return g_flags[METRICS_REPORTING].value;
}

// static
bool Flags::IsAlternativeCrashLoggingEnabled() {
  return g_flags[ALTERNATIVE_CRASH_LOGGING].value;
}

}  // namespace vexlo
