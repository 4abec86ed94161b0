#include "base/features/feature_registry.h"

#include "base/command_line.h"
#include "base/features/feature_reader.h"
#include "base/lazy_instance.h"

namespace base {

const char kFeatureSwitchPrefix[] = "with-feature:";

namespace {

constexpr char kSwitchValueOn[] = "on";
constexpr char kSwitchValueOff[] = "off";

}  // namespace

// Holds the process-wide registry.
class FeatureRegistryHolder {
 public:
  FeatureRegistryHolder() = default;
  FeatureRegistryHolder(const FeatureRegistryHolder&) = delete;
  FeatureRegistryHolder& operator=(const FeatureRegistryHolder&) = delete;
  virtual ~FeatureRegistryHolder() = default;

  FeatureRegistry* registry() { return &registry_; }

 private:
  FeatureRegistry registry_;
};

namespace {

// Queried until the very end of the process, so never destroyed.
LazyInstance::Leaky<FeatureRegistryHolder> g_registry_holder;

}  // namespace

FeatureRegistry::FeatureRegistry() = default;
FeatureRegistry::FeatureRegistry(const FeatureRegistry& other) = default;
FeatureRegistry& FeatureRegistry::operator=(const FeatureRegistry& other) =
    default;
FeatureRegistry::~FeatureRegistry() = default;

// static
FeatureRegistry* FeatureRegistry::GetInstance() {
  return g_registry_holder.Get().registry();
}

void FeatureRegistry::RegisterFeature(StringPiece name,
                                      bool default_enabled,
                                      bool overridable) {
  features_.push_back({name.as_string(), default_enabled, overridable});
}

void FeatureRegistry::AddReader(FeatureReader* reader) {
  reader->ReadFeatures(&overrides_);
}

bool FeatureRegistry::IsEnabled(StringPiece name) const {
  for (const RegisteredFeature& feature : features_) {
    if (feature.name != name)
      continue;
    if (feature.overridable) {
      for (auto it = overrides_.rbegin(); it != overrides_.rend(); ++it) {
        if (it->name() == name)
          return it->IsEnabled();
      }
    }
    return feature.default_enabled;
  }
  return false;
}

std::vector<FeatureOverride> FeatureRegistry::GetAllOverrides() const {
  return overrides_;
}

bool IsFeatureEnabled(StringPiece name) {
  return FeatureRegistry::GetInstance()->IsEnabled(name);
}

std::string GetFeatureSwitchName(StringPiece name) {
  std::string switch_name(kFeatureSwitchPrefix);
  name.AppendToString(&switch_name);
  return switch_name;
}

void AppendFeatureSwitches(CommandLine* command_line) {
  for (const FeatureOverride& feature_override :
       FeatureRegistry::GetInstance()->GetAllOverrides()) {
    command_line->AppendSwitchASCII(
        GetFeatureSwitchName(feature_override.name()),
        feature_override.IsEnabled() ? kSwitchValueOn : kSwitchValueOff);
  }
}

}  // namespace base
