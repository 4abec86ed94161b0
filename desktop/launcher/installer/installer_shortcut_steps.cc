// The installer's steps on the browser's shortcuts and its taskbar pin.

#include <memory>
#include <utility>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/installer.h"
#include "desktop/launcher/installer/service/transactions/copy_file_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"
#include "desktop/launcher/installer/service/transactions/move_file_operation.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/status.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kShortcutLauncherName[] = L"launcher.exe";
constexpr wchar_t kAppIdPrefix[] = L"VexloSoftware.VexloWebBrowser.";

// One kind of shortcut: where it goes, whether it is chosen, what the
// folder's status found of an existing one, and where the record keeps it.
struct ShortcutKind {
  const char* name;
  int all_users_folder;
  int per_user_folder;
  bool (Settings::*chosen)() const;
  bool (Status::*found)() const;
  bool (Status::*owned)() const;
  base::FilePath InstallationStatus::*recorded;
};

constexpr ShortcutKind kShortcutKinds[] = {
    {"desktop", base::DIR_COMMON_DESKTOP, base::DIR_USER_DESKTOP,
     &Settings::desktop_shortcut, &Status::desktop_found,
     &Status::desktop_owned, &InstallationStatus::desktop_shortcut},
    {"start menu", base::DIR_COMMON_START_MENU, base::DIR_START_MENU,
     &Settings::start_menu_shortcut, &Status::start_menu_found,
     &Status::start_menu_owned, &InstallationStatus::start_menu_shortcut},
    {"quick launch", base::DIR_USER_QUICK_LAUNCH, base::DIR_USER_QUICK_LAUNCH,
     &Settings::quick_launch_shortcut, &Status::quick_launch_found,
     &Status::quick_launch_owned, &InstallationStatus::quick_launch_shortcut},
};

base::FilePath ShortcutName(bool numbered) {
  std::string name = ProductInfo::GetVisibleProductNameWithChannel();
  if (numbered)
    name += base::StringPrintf(" %d", ProductInfo::GetMajorVersion());
  name += ProductConfiguration::GetShortcutSuffix();
  return base::FilePath(base::UTF8ToUTF16(name) + L".lnk");
}

base::FilePath KindFolder(const ShortcutKind& kind, bool all_users) {
  base::FilePath folder;
  base::PathService::Get(
      all_users ? kind.all_users_folder : kind.per_user_folder, &folder);
  return folder;
}

// Whether the name of |stem|, a shortcut path without its extension, ends
// with a version number. The configured suffix follows the number.
bool HasVersionNumber(const base::FilePath& stem) {
  base::string16 name = stem.value();
  const base::string16 suffix =
      base::UTF8ToUTF16(ProductConfiguration::GetShortcutSuffix());
  if (name.size() >= suffix.size() &&
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
    name.resize(name.size() - suffix.size());
  }
  return !name.empty() && name.back() >= L'0' && name.back() <= L'9';
}

}  // namespace

void Installer::StepInstallShortcuts() {
  if (settings_->copy_only()) {
    ScheduleNextStep();
    return;
  }
  VLOG(1) << "Installing shortcuts";
  std::vector<ShortcutDestination> list;
  for (const ShortcutKind& kind : kShortcutKinds) {
    if ((settings_->*kind.chosen)())
      list.push_back({KindFolder(kind, settings_->all_users()), kind.recorded});
  }
  bool numbered = false;
  CreateShortcuts(list, settings_->pinned_shortcut(), &numbered,
                  install_path().Append(kShortcutLauncherName));
  ScheduleNextStep();
}

void Installer::StepUpdateShortcuts() {
  if (settings_->copy_only()) {
    ScheduleNextStep();
    return;
  }
  VLOG(1) << "Updating shortcuts";
  const Status& status = settings_->status();
  bool numbered = false;
  const bool changed = ShortcutNamesChanged(status.record(), &numbered);
  VLOG(1) << (numbered ? "Using" : "Not using")
          << " shortcut names with version number";

  std::vector<ShortcutDestination> list;
  for (const ShortcutKind& kind : kShortcutKinds) {
    VLOG(1) << "Handling " << kind.name << " shortcut:";
    const bool existing = (status.*kind.found)();
    const bool chosen = (settings_->*kind.chosen)();
    const base::FilePath folder = KindFolder(kind, settings_->all_users());
    const base::FilePath& recorded = status.record().*kind.recorded;
    if (!existing) {
      if (chosen) {
        VLOG(1) << "Preparing to add shortcut";
        list.push_back({folder, kind.recorded});
      }
    } else if (!chosen) {
      VLOG(1) << "Removing shortcut";
      DeleteShortcut(recorded);
    } else if ((status.*kind.owned)()) {
      VLOG(1) << "Recreating shortcut";
      DeleteShortcut(recorded);
      list.push_back({folder, kind.recorded});
    } else if (changed) {
      VLOG(1) << "Moving shortcut";
      const base::FilePath moved = folder.Append(ShortcutName(numbered));
      record_.*kind.recorded =
          transaction_.Execute(
              std::make_unique<MoveFileOperation>(recorded, moved))
              ? moved
              : recorded;
    } else {
      record_.*kind.recorded = recorded;
    }
  }

  const base::FilePath& pinned = status.pinned_shortcut();
  const bool pin_chosen = settings_->pinned_shortcut();
  bool pin = false;
  if (pinned.empty()) {
    pin = pin_chosen;
  } else if (!pin_chosen || status.pinned_owned() || changed) {
    base::win::TaskbarUnpinShortcutLink(pinned);
    pin = pin_chosen;
  }
  CreateShortcuts(list, pin, &numbered,
                  install_path().Append(kShortcutLauncherName));
  ScheduleNextStep();
}

void Installer::StepDeleteShortcuts() {
  const Status& status = settings_->status();
  if (!status.pinned_shortcut().empty())
    base::win::TaskbarUnpinShortcutLink(status.pinned_shortcut());
  for (const ShortcutKind& kind : kShortcutKinds) {
    if ((status.*kind.found)())
      DeleteShortcut(status.record().*kind.recorded);
  }
  if (status.company_start_menu_folder_found())
    DeleteShortcut(status.company_start_menu_folder());
  ScheduleNextStep();
}

bool Installer::ShortcutNamesChanged(const InstallationStatus& existing,
                                     bool* numbered) const {
  const base::FilePath plain = ShortcutName(false).RemoveExtension();
  bool changed = false;
  for (const ShortcutKind& kind : kShortcutKinds) {
    const base::FilePath& recorded = existing.*kind.recorded;
    if (recorded.empty())
      continue;
    const base::FilePath stem = recorded.RemoveExtension();
    if (HasVersionNumber(stem)) {
      *numbered = true;
      return true;
    }
    if (stem.BaseName() != plain)
      changed = true;
  }
  return changed;
}

void Installer::DeleteShortcut(const base::FilePath& path) {
  // A shortcut that cannot go stays; it never fails the run.
  transaction_.Execute(
      std::make_unique<DeleteFileOperation>(path, false, false));
}

void Installer::CreateShortcuts(const std::vector<ShortcutDestination>& list,
                                bool pin,
                                bool* numbered,
                                const base::FilePath& target) {
  base::win::ShortcutProperties properties;
  properties.target = target;
  properties.working_dir = target.DirName();
  properties.app_id = kAppIdPrefix + base::UTF8ToUTF16(record_.app_id);
  properties.options = base::win::ShortcutProperties::PROPERTIES_TARGET |
                       base::win::ShortcutProperties::PROPERTIES_WORKING_DIR |
                       base::win::ShortcutProperties::PROPERTIES_APP_ID;

  if (!*numbered) {
    const base::FilePath plain = ShortcutName(false);
    for (const ShortcutDestination& destination : list) {
      if (base::PathExists(destination.folder.Append(plain)))
        *numbered = true;
    }
  }
  const base::FilePath name = ShortcutName(*numbered);

  const base::FilePath master = package_folder_.Append(name);
  VLOG(1) << "Creating master shortcut";
  if (!base::win::CreateOrUpdateShortcutLink(
          master, properties, base::win::SHORTCUT_CREATE_ALWAYS)) {
    LOG(ERROR) << "Failed to create shortcut at "
               << base::UTF16ToUTF8(master.value());
    return;
  }
  if (pin && base::win::GetVersion() >= base::win::VERSION_WIN7) {
    VLOG(1) << "Pinning master shortcut";
    if (base::win::TaskbarPinShortcutLink(master))
      record_.pinned = true;
    else
      LOG(ERROR) << "Failed pinning " << base::UTF16ToUTF8(master.value());
  }
  for (const ShortcutDestination& destination : list) {
    const base::FilePath copy = destination.folder.Append(name);
    if (transaction_.Execute(std::make_unique<CopyFileOperation>(master, copy)))
      record_.*destination.field = copy;
  }
}

}  // namespace installer
}  // namespace vexlo
