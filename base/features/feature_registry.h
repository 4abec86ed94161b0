#ifndef BASE_FEATURES_FEATURE_REGISTRY_H_
#define BASE_FEATURES_FEATURE_REGISTRY_H_

#include <string>
#include <vector>

#include "base/features/feature_override.h"
#include "base/strings/string_piece.h"

namespace base {

class CommandLine;
class FeatureReader;

// The prefix of the command-line switch that overrides one feature.
extern const char kFeatureSwitchPrefix[];

// One row of the feature table.
struct RegisteredFeature {
  std::string name;
  bool default_enabled;
  // Whether readers may override the default.
  bool overridable;
};

// Named on/off flags: the registered features with their defaults, and the
// overrides that readers supplied. Names compare byte for byte, case
// included. The process-wide instance is filled on the main thread at
// start-up and only read afterwards; the registry itself has no lock.
class FeatureRegistry {
 public:
  FeatureRegistry();
  FeatureRegistry(const FeatureRegistry& other);
  FeatureRegistry& operator=(const FeatureRegistry& other);
  ~FeatureRegistry();

  // The process-wide registry, created on first use and never destroyed.
  static FeatureRegistry* GetInstance();

  // A second registration of a name is kept but never consulted.
  void RegisterFeature(StringPiece name,
                       bool default_enabled,
                       bool overridable);

  // Asks |reader| for its overrides now; the registry keeps no reference to
  // it. Overrides from readers added later win over earlier ones.
  void AddReader(FeatureReader* reader);

  // Off for an unregistered name. Otherwise the last override of the name
  // when the feature is overridable and has one, else the default.
  bool IsEnabled(StringPiece name) const;

  std::vector<FeatureOverride> GetAllOverrides() const;

 private:
  std::vector<RegisteredFeature> features_;
  std::vector<FeatureOverride> overrides_;
};

// FeatureRegistry::IsEnabled on the process-wide registry.
bool IsFeatureEnabled(StringPiece name);

// "with-feature:" followed by |name|.
std::string GetFeatureSwitchName(StringPiece name);

// Writes every override of the process-wide registry onto a child process's
// command line, so that the child decides as this process does.
void AppendFeatureSwitches(CommandLine* command_line);

}  // namespace base

#endif  // BASE_FEATURES_FEATURE_REGISTRY_H_
