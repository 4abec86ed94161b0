#include "desktop/launcher/installer/service/transactions/registry_value_writer.h"

namespace vexlo {
namespace installer {

LONG WriteRegistryValue(HKEY key,
                        const base::string16& name,
                        DWORD type,
                        const std::vector<uint8_t>& data) {
  // The system adds a closing NUL to string data that lacks one whenever the
  // character just past the given bytes happens to be zero; bytes that are
  // not zero there keep the stored value exactly the given one.
  std::vector<uint8_t> padded(data);
  padded.resize(data.size() + 2 * sizeof(wchar_t), 0xFF);
  return ::RegSetValueExW(key, name.c_str(), 0, type, padded.data(),
                          static_cast<DWORD>(data.size()));
}

}  // namespace installer
}  // namespace vexlo
