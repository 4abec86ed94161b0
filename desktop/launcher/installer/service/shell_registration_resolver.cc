#include "desktop/launcher/installer/service/shell_registration_resolver.h"

#include <iterator>

#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_info.h"

namespace vexlo {
namespace installer {

namespace {

constexpr RegistryItem::Root kAny = RegistryItem::kAnyRoot;
constexpr RegistryItem::Root kMachine = RegistryItem::kMachineRoot;
constexpr RegistryItem::Root kUser = RegistryItem::kUserRoot;
constexpr int32_t kAnyWindows = RegistryItem::kAnyWindows;
constexpr int32_t kVista = 3;
constexpr uint32_t kDeleteKey = RegistryItem::kDeleteKey;
constexpr uint32_t kDeleteValue = RegistryItem::kDeleteValue;

#define CLASS_KEY L"Software\\Classes\\{Product}{Stream}"
#define PROTOCOL_KEY L"Software\\Classes\\{Protocol}"

}  // namespace

// Rows: key, value name, kind, text, bytes, number, Windows, root, channel,
// clean.
const RegistryItem kProgIdClassRows[] = {
    {CLASS_KEY, L"FriendlyTypeName", REG_SZ, L"{Product} Web Document", nullptr,
     0, kAnyWindows, kAny, 0, 1},
    {CLASS_KEY, L"URL Protocol", REG_SZ, L"", nullptr, 0, kAnyWindows, kAny, 0,
     1},
    {CLASS_KEY L"\\DefaultIcon", nullptr, REG_SZ,
     L"{InstallFolder}\\Launcher.exe,0", nullptr, 0, kAnyWindows, kAny, 0, 1},
    {CLASS_KEY L"\\shell\\open\\command", nullptr, REG_SZ,
     L"\"{InstallFolder}\\Launcher.exe\" -noautoupdate -- \"%1\"", nullptr, 0,
     kAnyWindows, kAny, 0, 2},
    {CLASS_KEY L"\\shell\\open\\ddeexec", nullptr, kDeleteKey, nullptr, nullptr,
     0, kAnyWindows, kMachine, 0, 0},
    {CLASS_KEY L"\\shell\\open\\ddeexec", nullptr, REG_SZ, L"", nullptr, 0,
     kAnyWindows, kUser, 0, 2},
    {CLASS_KEY L"\\shell\\open\\ddeexec\\Application", nullptr, REG_SZ, L"",
     nullptr, 0, kAnyWindows, kUser, 0, 1},
    {CLASS_KEY L"\\shell\\open\\ddeexec\\Topic", nullptr, REG_SZ, L"", nullptr,
     0, kAnyWindows, kUser, 0, 1},
};
const size_t kProgIdClassRowCount = std::size(kProgIdClassRows);

const RegistryItem kProtocolRows[] = {
    {PROTOCOL_KEY, L"EditFlags", REG_DWORD, nullptr, nullptr, 2, kAnyWindows,
     kAny, 0, 0},
    {PROTOCOL_KEY, L"URL Protocol", REG_SZ, L"", nullptr, 0, kAnyWindows, kAny,
     0, 0},
    {PROTOCOL_KEY L"\\DefaultIcon", nullptr, REG_SZ,
     L"{InstallFolder}\\Launcher.exe,0", nullptr, 0, kAnyWindows, kAny, 0, 0},
    {PROTOCOL_KEY L"\\shell\\open\\command", nullptr, REG_SZ,
     L"\"{InstallFolder}\\launcher.exe\" -noautoupdate -- \"%1\"", nullptr, 0,
     kAnyWindows, kAny, 0, 0},
    {PROTOCOL_KEY L"\\shell\\open\\ddeexec", nullptr, kDeleteKey, nullptr,
     nullptr, 0, kAnyWindows, kMachine, 0, 0},
    {PROTOCOL_KEY L"\\shell\\open\\ddeexec", nullptr, REG_SZ, L"", nullptr, 0,
     kAnyWindows, kUser, 0, 0},
    {PROTOCOL_KEY L"\\shell\\open\\ddeexec\\Application", nullptr, REG_SZ, L"",
     nullptr, 0, kAnyWindows, kUser, 0, 0},
    {PROTOCOL_KEY L"\\shell\\open\\ddeexec\\Topic", nullptr, REG_SZ, L"",
     nullptr, 0, kAnyWindows, kUser, 0, 0},
    {L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\"
     L"{Protocol}\\UserChoice",
     L"Progid", kDeleteValue, nullptr, nullptr, 0, kVista, kUser, 0, 0},
};
const size_t kProtocolRowCount = std::size(kProtocolRows);

const RegistryItem kExtensionRows[] = {
    {L"Software\\Classes\\{Extension}", nullptr, REG_SZ, L"{Product}{Stream}",
     nullptr, 0, kAnyWindows, kAny, 0, 0},
    {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\"
     L"{Extension}\\UserChoice",
     L"Progid", kDeleteValue, nullptr, nullptr, 0, kVista, kUser, 0, 0},
};
const size_t kExtensionRowCount = std::size(kExtensionRows);

const RegistryItem kStartMenuInternetRow = {
    L"Software\\Clients\\StartMenuInternet",
    nullptr,
    REG_SZ,
    L"{Product}{Stream}",
    nullptr,
    0,
    kAnyWindows,
    kAny,
    0,
    0};

#undef CLASS_KEY
#undef PROTOCOL_KEY

ShellRegistrationResolver::ShellRegistrationResolver(
    const base::string16& target,
    const base::FilePath& install_folder)
    : target_(target), install_folder_(install_folder) {}

ShellRegistrationResolver::~ShellRegistrationResolver() = default;

base::string16 ShellRegistrationResolver::ResolvePlaceholder(
    const base::string16& name) {
  if (name == L"InstallFolder")
    return install_folder_.value();
  if (name == L"Stream")
    return base::UTF8ToUTF16(ProductInfo::GetChannel());
  if (name == L"Product")
    return base::UTF8ToUTF16(ProductInfo::GetProductName());
  if (name == L"Extension" || name == L"Protocol")
    return target_;
  return name;
}

std::vector<InstallationStatus::RegistryKey>*
ShellRegistrationResolver::GetStatusRegistryKeys(HKEY /* root */) {
  return nullptr;
}

}  // namespace installer
}  // namespace vexlo
