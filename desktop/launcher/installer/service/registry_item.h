#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_REGISTRY_ITEM_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_REGISTRY_ITEM_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <vector>

#include "base/strings/string16.h"
#include "desktop/launcher/installer/service/installation_status.h"

namespace vexlo {
namespace installer {

class Operation;

// One row of a static table of registry templates: a value to write (or a
// value or key to remove) whose key, name and text carry {placeholders}.
// The code that applies a table pairs its rows with a Delegate, which
// resolves the placeholders and says where the written values are
// recorded.
struct RegistryItem {
  // The kinds beyond the registry's own value types.
  static constexpr uint32_t kDeleteKey = 0xFFFFFFFE;
  static constexpr uint32_t kDeleteValue = 0xFFFFFFFF;
  // The least Windows version: every supported one.
  static constexpr int32_t kAnyWindows = 1;

  // The one root a row applies under.
  enum Root : uint32_t { kAnyRoot, kMachineRoot, kUserRoot };

  class Delegate {
   public:
    virtual ~Delegate() = default;
    // The text for {name}.
    virtual base::string16 ResolvePlaceholder(const base::string16& name) = 0;
    // The status record's key list of |root| into which written values are
    // recorded, or null to record nothing.
    virtual std::vector<InstallationStatus::RegistryKey>* GetStatusRegistryKeys(
        HKEY root) = 0;
  };

  // |text_template| with each {name} replaced by the delegate's text for
  // it, left to right; text inserted is never searched again. Null gives
  // empty text.
  static base::string16 ResolvePlaceholders(Delegate* delegate,
                                            const wchar_t* text_template);

  const wchar_t* key;
  // Null for the key's default value.
  const wchar_t* value_name;
  uint32_t kind;
  // The data of string kinds (may be null for empty text), of binary data
  // (its bytes, without terminator) or of a 32-bit number.
  const wchar_t* text;
  const char* bytes;
  uint32_t number;
  int32_t min_windows_version;
  Root root;
  int32_t min_channel_code;
  int32_t clean;
};

// The operation that |row| makes under |root|, resolved through |delegate|,
// in |operation|; none when the row does not apply to this Windows version,
// root or release channel. A written value is recorded into the delegate's
// key list. False only for a row of an unknown kind.
bool CreateRegistryOperation(const RegistryItem& row,
                             RegistryItem::Delegate* delegate,
                             HKEY root,
                             std::unique_ptr<Operation>* operation);

namespace internal {

// CreateRegistryOperation for a product of the release channel
// |channel_code|.
bool CreateRegistryOperationForChannel(const RegistryItem& row,
                                       RegistryItem::Delegate* delegate,
                                       HKEY root,
                                       int channel_code,
                                       std::unique_ptr<Operation>* operation);

}  // namespace internal

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_REGISTRY_ITEM_H_
