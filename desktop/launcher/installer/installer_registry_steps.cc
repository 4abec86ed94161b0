// The installer's steps on the registry.

#include <iterator>
#include <utility>

#include "base/features/feature_registry.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/installer.h"
#include "desktop/launcher/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/status.h"

namespace vexlo {
namespace installer {

namespace {

constexpr RegistryItem::Root kAny = RegistryItem::kAnyRoot;
constexpr RegistryItem::Root kMachine = RegistryItem::kMachineRoot;
constexpr RegistryItem::Root kUser = RegistryItem::kUserRoot;
constexpr int32_t kAll = RegistryItem::kAnyWindows;
constexpr int32_t kVista = 3;
constexpr int32_t kStable = 4;
constexpr uint32_t kDeleteKey = RegistryItem::kDeleteKey;

constexpr wchar_t kUninstallTemplate[] = L"{Uninstall}";
constexpr char kHideFromProgramsFeature[] =
    "installer-hide-from-program-and-features";
constexpr wchar_t kUninstallRoot[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// Enough for every installation a machine could hold; beyond it the
// registry is not answering.
constexpr int kMaxUninstallKeySuffix = 1000;
// A key with fewer components is a hive's own tree, such as
// "Software\Classes", never one the product created.
constexpr size_t kMinRemovableKeyDepth = 3;

#define CLASS L"Software\\Classes\\{Product}{Stream}"
#define CLIENT L"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
#define CAPABILITIES CLIENT L"\\Capabilities"
#define LAUNCHER L"\"{InstallFolder}\\Launcher.exe\""

// Rows: key, value name, kind, text, bytes, number, Windows, root, channel,
// clean. The first row goes last, and only for installations hidden from
// the list of programs.
const RegistryItem kRegistryRows[] = {
    {kUninstallTemplate, L"SystemComponent", REG_DWORD, nullptr, nullptr, 1,
     kAll, kAny, 0, 1},
    {CLASS, L"FriendlyTypeName", REG_SZ, L"{Product} Web Document", nullptr, 0,
     kAll, kAny, 0, 1},
    {CLASS, L"URL Protocol", REG_SZ, nullptr, nullptr, 0, kAll, kAny, 0, 1},
    {CLASS L"\\DefaultIcon", nullptr, REG_SZ,
     L"{InstallFolder}\\Launcher.exe,0", nullptr, 0, kAll, kAny, 0, 1},
    {CLASS L"\\shell\\open\\command", nullptr, REG_SZ,
     LAUNCHER L" -noautoupdate -- \"%1\"", nullptr, 0, kAll, kAny, 0, 2},
    {CLASS L"\\shell\\open\\ddeexec", nullptr, kDeleteKey, nullptr, nullptr, 0,
     kAll, kMachine, 0, 0},
    {CLASS L"\\shell\\open\\ddeexec", nullptr, REG_SZ, L"", nullptr, 0, kAll,
     kUser, 0, 2},
    {CLASS L"\\shell\\open\\ddeexec\\Application", nullptr, REG_SZ, L"",
     nullptr, 0, kAll, kUser, 0, 1},
    {CLASS L"\\shell\\open\\ddeexec\\Topic", nullptr, REG_SZ, L"", nullptr, 0,
     kAll, kUser, 0, 1},
    {L"Software\\Classes\\.vxe", nullptr, REG_SZ,
     L"{Product}{Stream}.Extension", nullptr, 0, kAll, kAny, 0, 1},
    {L"Software\\Classes\\.vxe\\OpenWithProgIDs", L"{Product}{Stream}",
     REG_NONE, nullptr, nullptr, 0, kAll, kAny, 0, 1},
    {L"Software\\Classes\\.vxdownload\\OpenWithProgIDs", L"{Product}{Stream}",
     REG_NONE, nullptr, nullptr, 0, kAll, kAny, 0, 0},
    {L"Software\\Classes\\.htm\\OpenWithProgIDs", L"{Product}{Stream}",
     REG_NONE, nullptr, nullptr, 0, kAll, kAny, 0, 0},
    {L"Software\\Classes\\.html\\OpenWithProgIDs", L"{Product}{Stream}",
     REG_NONE, nullptr, nullptr, 0, kAll, kAny, 0, 0},
    {L"Software\\Classes\\.pdf\\OpenWithProgIDs", L"{Product}{Stream}",
     REG_NONE, nullptr, nullptr, 0, kAll, kAny, 0, 0},
    {L"Software\\Classes\\.shtml\\OpenWithProgIDs", L"{Product}{Stream}",
     REG_NONE, nullptr, nullptr, 0, kAll, kAny, 0, 0},
    {L"Software\\Classes\\.xht\\OpenWithProgIDs", L"{Product}{Stream}",
     REG_NONE, nullptr, nullptr, 0, kAll, kAny, 0, 0},
    {L"Software\\Classes\\.xhtml\\OpenWithProgIDs", L"{Product}{Stream}",
     REG_NONE, nullptr, nullptr, 0, kAll, kAny, 0, 0},
    {L"Software\\Classes\\Applications\\{Executable}\\shell\\open\\command",
     nullptr, REG_SZ, LAUNCHER L" \"%1\"", nullptr, 0, kAll, kAny, kStable, 4},
    {L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\{Executable}",
     nullptr, REG_SZ, LAUNCHER, nullptr, 0, kAll, kAny, kStable, 0},
    {L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\{Executable}",
     L"Path", REG_SZ, L"\"{InstallFolder}\"", nullptr, 0, kAll, kAny, kStable,
     0},
    {L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
     L"Compatibility Assistant\\Persisted",
     L"{InstallFolder}\\Launcher.exe", REG_DWORD, nullptr, nullptr, 32, kVista,
     kAny, 0, 0},
    {L"Software\\RegisteredApplications", L"{Product} {Stream}", REG_SZ,
     CAPABILITIES, nullptr, 0, kVista, kAny, 0, 0},
    {CLIENT, nullptr, REG_SZ, L"{Product} {Stream}", nullptr, 0, kAll, kAny, 0,
     1},
    {CLIENT L"\\DefaultIcon", nullptr, REG_SZ,
     L"{InstallFolder}\\Launcher.exe,0", nullptr, 0, kAll, kAny, 0, 1},
    {CLIENT L"\\InstallInfo", L"ShowIconsCommand", REG_SZ,
     LAUNCHER L" --showicons", nullptr, 0, kAll, kAny, 0, 1},
    {CLIENT L"\\InstallInfo", L"HideIconsCommand", REG_SZ,
     LAUNCHER L" --hideicons", nullptr, 0, kAll, kAny, 0, 1},
    {CLIENT L"\\InstallInfo", L"ReinstallCommand", REG_SZ,
     LAUNCHER L" --makedefaultbrowser", nullptr, 0, kAll, kAny, 0, 1},
    {CLIENT L"\\InstallInfo", L"IconsVisible", REG_DWORD, nullptr, nullptr, 1,
     kAll, kAny, 0, 1},
    {CLIENT L"\\shell\\open\\command", nullptr, REG_SZ, LAUNCHER, nullptr, 0,
     kAll, kAny, 0, 2},
    {CAPABILITIES, L"ApplicationDescription", REG_SZ,
     L"A fast and private web browser.", nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES, L"ApplicationIcon", REG_SZ, LAUNCHER L",0", nullptr, 0,
     kVista, kAny, 0, 1},
    {CAPABILITIES, L"ApplicationName", REG_SZ, L"{Product} {Stream}", nullptr,
     0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\FileAssociations", L".crx", REG_SZ, L"{Product}{Stream}",
     nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\FileAssociations", L".htm", REG_SZ, L"{Product}{Stream}",
     nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\FileAssociations", L".html", REG_SZ, L"{Product}{Stream}",
     nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\FileAssociations", L".vxext", REG_SZ,
     L"{Product}{Stream}", nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\FileAssociations", L".vxdownload", REG_SZ,
     L"{Product}{Stream}", nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\FileAssociations", L".pdf", REG_SZ, L"{Product}{Stream}",
     nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\FileAssociations", L".shtml", REG_SZ,
     L"{Product}{Stream}", nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\FileAssociations", L".xht", REG_SZ, L"{Product}{Stream}",
     nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\FileAssociations", L".xhtml", REG_SZ,
     L"{Product}{Stream}", nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\Startmenu", L"StartMenuInternet", REG_SZ,
     L"{Product}{Stream}", nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\UrlAssociations", L"http", REG_SZ, L"{Product}{Stream}",
     nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\UrlAssociations", L"https", REG_SZ, L"{Product}{Stream}",
     nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\UrlAssociations", L"ftp", REG_SZ, L"{Product}{Stream}",
     nullptr, 0, kVista, kAny, 0, 1},
    {CAPABILITIES L"\\UrlAssociations", L"mailto", REG_SZ, L"{Product}{Stream}",
     nullptr, 0, kVista, kAny, 0, 1},
    {kUninstallTemplate, L"DisplayName", REG_SZ,
     L"{Product} {Stream} {Version}", nullptr, 0, kAll, kAny, 0, 1},
    {kUninstallTemplate, L"DisplayIcon", REG_SZ, LAUNCHER L",0", nullptr, 0,
     kAll, kAny, 0, 1},
    {kUninstallTemplate, L"DisplayVersion", REG_SZ, L"{Version}", nullptr, 0,
     kAll, kAny, 0, 1},
    {kUninstallTemplate, L"HelpLink", REG_SZ, L"{HelpURL}", nullptr, 0, kAll,
     kAny, 0, 1},
    {kUninstallTemplate, L"InstallLocation", REG_SZ, L"{InstallFolder}",
     nullptr, 0, kAll, kAny, 0, 1},
    {kUninstallTemplate, L"NoModify", REG_DWORD, nullptr, nullptr, 1, kAll,
     kAny, 0, 1},
    {kUninstallTemplate, L"NoRepair", REG_DWORD, nullptr, nullptr, 1, kAll,
     kAny, 0, 1},
    {kUninstallTemplate, L"Publisher", REG_SZ, L"{Company}", nullptr, 0, kAll,
     kAny, 0, 1},
    {kUninstallTemplate, L"UninstallString", REG_SZ, LAUNCHER L" /uninstall",
     nullptr, 0, kAll, kAny, 0, 1},
    {kUninstallTemplate, L"URLInfoAbout", REG_SZ, L"{CompanyURL}", nullptr, 0,
     kAll, kAny, 0, 1},
    {kUninstallTemplate, L"URLUpdateInfo", REG_SZ, L"{DownloadsURL}", nullptr,
     0, kAll, kAny, 0, 1},
};

#undef CLASS
#undef CLIENT
#undef CAPABILITIES
#undef LAUNCHER

bool IsUninstallRow(const RegistryItem& row) {
  return row.key == kUninstallTemplate;
}

// The stream an installation of the old engine was of, by its number.
const char* GetLegacyStreamName(int32_t product) {
  switch (product) {
    case 0:
      return "";
    case 1:
      return "Zent";
    case 2:
      return "Morv";
    default:
      return "Invalid";
  }
}

// |path| without its last |levels| components; empty when it has fewer
// than the removable depth left.
base::string16 AncestorKey(const base::string16& path, int levels) {
  std::vector<base::string16> components = base::SplitString16(
      path, L"\\", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY);
  if (levels < 0 ||
      components.size() < kMinRemovableKeyDepth + static_cast<size_t>(levels)) {
    return base::string16();
  }
  components.resize(components.size() - levels);
  base::string16 ancestor;
  for (const base::string16& component : components)
    ancestor += (ancestor.empty() ? L"" : L"\\") + component;
  return ancestor;
}

}  // namespace

void Installer::StepSetUpRegistry() {
  if (settings_->copy_only()) {
    ScheduleNextStep();
    return;
  }
  VLOG(1) << "Setting up the registry";
  const HKEY root =
      settings_->all_users() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  if (!ChooseUninstallKey(root)) {
    LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                       "Failed writing uninstallation information");
    return;
  }
  record_registry_ = true;
  std::vector<const RegistryItem*> rows;
  for (size_t i = 1; i < std::size(kRegistryRows); ++i)
    rows.push_back(&kRegistryRows[i]);
  if (base::FeatureRegistry::GetInstance()->IsEnabled(kHideFromProgramsFeature))
    rows.push_back(&kRegistryRows[0]);
  for (const RegistryItem* row : rows) {
    std::unique_ptr<Operation> operation;
    const bool made = CreateRegistryOperation(*row, this, root, &operation);
    if (made && !operation)
      continue;
    if ((!made || !transaction_.Execute(std::move(operation))) &&
        IsUninstallRow(*row)) {
      record_registry_ = false;
      LOG(ERROR) << Fail(kInstallerErrorGeneric, base::string16(),
                         "Failed writing uninstallation information");
      return;
    }
  }
  record_registry_ = false;
  ScheduleNextStep();
}

bool Installer::ChooseUninstallKey(HKEY root) {
  const base::string16 base_path =
      kUninstallRoot + base::UTF8ToUTF16(ProductInfo::GetProductName() + " " +
                                         ProductInfo::GetVersionString());
  for (int suffix = 0; suffix <= kMaxUninstallKeySuffix; ++suffix) {
    const base::string16 path =
        suffix ? base_path + base::UTF8ToUTF16(base::IntToString(suffix))
               : base_path;
    base::win::RegKey key;
    if (key.Open(root, path.c_str(), KEY_READ) == ERROR_FILE_NOT_FOUND) {
      uninstall_key_ = path;
      VLOG(1) << "Uninstall key: " << base::UTF16ToUTF8(path);
      return true;
    }
  }
  LOG(ERROR) << "No free uninstall key among " << kMaxUninstallKeySuffix + 1;
  return false;
}

void Installer::StepRemoveRegistryKeys() {
  const InstallationStatus& old_record = settings_->status().record();
  RemoveRecordedKeys(HKEY_CURRENT_USER, old_record.user_keys);
  RemoveRecordedKeys(HKEY_LOCAL_MACHINE, old_record.machine_keys);
  ScheduleNextStep();
}

void Installer::RemoveRecordedKeys(
    HKEY root,
    const std::vector<InstallationStatus::RegistryKey>& keys) {
  for (const InstallationStatus::RegistryKey& key : keys) {
    const base::string16 path = ResolveOldPlaceholders(key.path);
    if (key.clean > 0) {
      const base::string16 removed = AncestorKey(path, key.clean - 1);
      if (removed.empty()) {
        LOG(ERROR) << "Not removing key " << key.path << " with clean "
                   << key.clean << ": too near the root";
        continue;
      }
      transaction_.Execute(
          std::make_unique<DeleteRegKeyOperation>(root, removed));
      continue;
    }
    for (const InstallationStatus::RegistryValue& value : key.values) {
      transaction_.Execute(std::make_unique<ChangeRegValueOperation>(
          root, path, ResolveOldPlaceholders(value.name), nullptr,
          ChangeRegValueOperation::kNoValue, 0));
    }
  }
}

base::string16 Installer::ResolveOldPlaceholders(
    const std::string& text) const {
  base::string16 resolved = base::UTF8ToUTF16(text);
  const Status& status = settings_->status();
  if (!status.legacy_installation())
    return resolved;
  const base::string16 stream =
      base::UTF8ToUTF16(GetLegacyStreamName(status.legacy_product()));
  const struct {
    const wchar_t* placeholder;
    base::string16 value;
  } kReplacements[] = {{L"{Product}", stream}, {L"{SPProduct}", L" " + stream}};
  for (const auto& replacement : kReplacements) {
    const size_t position = resolved.find(replacement.placeholder);
    if (position != base::string16::npos) {
      resolved.replace(position, wcslen(replacement.placeholder),
                       replacement.value);
    }
  }
  return resolved;
}

}  // namespace installer
}  // namespace vexlo
