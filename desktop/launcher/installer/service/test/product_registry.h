#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_PRODUCT_REGISTRY_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_PRODUCT_REGISTRY_H_

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

// The registry keys that the product registers at fixed places, which tests
// in parallel processes would otherwise share: while an object lives, no
// other test process holds one, and the keys are cleared when it is made
// and restored as they were when it goes.
class ScopedProductRegistry {
 public:
  // A key to read or clear, under HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE.
  struct Key {
    HKEY root;
    base::string16 path;
    // Only the value |value| of the key (empty: its default value), not the
    // whole key.
    bool value_only;
    base::string16 value;
  };

  explicit ScopedProductRegistry(const std::vector<Key>& keys);
  ScopedProductRegistry(const ScopedProductRegistry&) = delete;
  ScopedProductRegistry& operator=(const ScopedProductRegistry&) = delete;
  ~ScopedProductRegistry();

  // Every key and value below the keys, as "HKCU\path" -> "" for keys and
  // "HKCU\path : name" -> "<type>:<hex bytes>" for values.
  std::map<base::string16, std::string> Snapshot() const;

  // "<type>:<hex bytes>" of one value, or "none".
  static std::string ReadValue(HKEY root,
                               const base::string16& path,
                               const base::string16& name);
  // The text of a string value as written, "none" when absent.
  static base::string16 ReadString(HKEY root,
                                   const base::string16& path,
                                   const base::string16& name);

 private:
  void Clear() const;
  void Restore() const;

  base::win::ScopedHandle mutex_;
  const std::vector<Key> keys_;
  std::map<base::string16, std::string> saved_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_PRODUCT_REGISTRY_H_
