#include "desktop/launcher/installer/service/transactions/rollback_scope.h"

#include <stddef.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/base_paths_win.h"
#include "base/files/file_enumerator.h"
#include "base/path_service.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/service/installation_status.h"
#include "desktop/launcher/installer/service/installer_context.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/transactions/set_aside_paths.h"
#include "desktop/launcher/installer/service/xml_document.h"

namespace vexlo {
namespace installer {

namespace {

using Components = std::vector<base::string16>;

constexpr wchar_t kSeparator = L'\\';
// The shell's shortcut files; a set-aside name carries more behind it.
constexpr wchar_t kShortcutExtension[] = L".LNK";
// The company's folder in the user's start-menu programs, which the path
// status finds and an uninstallation deletes.
constexpr wchar_t kCompanyStartMenuFolder[] = L"Vexlo Software";

// Where an update keeps the installation's record it replaces.
constexpr wchar_t kOldStatusFolder[] = L"old_status";

// The other hives are not written by any run: a record naming them is
// foreign.
bool IsRunRoot(HKEY root) {
  return root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE;
}

base::string16 ToUpper(base::string16 text) {
  if (!text.empty())
    ::CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

bool EndsWith(const base::string16& text, const base::string16& end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsDigits(const base::string16& text, size_t begin, size_t end) {
  if (begin >= end)
    return false;
  for (size_t i = begin; i < end; ++i) {
    if (text[i] < L'0' || text[i] > L'9')
      return false;
  }
  return true;
}

// No file system keeps a longer name, and the system's own long-name
// lookup has failed on much longer ones (under Wine, overrunning its
// stack): a path naming one names nothing a run made.
constexpr size_t kMaxComponentLength = 255;

bool IsForbiddenInName(wchar_t c) {
  return c < 32 || c == L':' || c == L'*' || c == L'?' || c == L'"' ||
         c == L'<' || c == L'>' || c == L'|';
}

// Splits |text| after its root ("X:" or "\\server\share") into components
// as the file system reads them: "." and empty ones dropped, ".." taking
// the one before away, trailing dots and spaces cut.
bool SplitPath(base::string16 text, Components* components) {
  std::replace(text.begin(), text.end(), L'/', kSeparator);
  components->clear();
  size_t position = 0;
  if (text.size() >= 3 && text[1] == L':' && text[2] == kSeparator &&
      ((text[0] >= L'A' && text[0] <= L'Z') ||
       (text[0] >= L'a' && text[0] <= L'z'))) {
    components->push_back(text.substr(0, 2));
    position = 3;
  } else if (text.size() > 2 && text[0] == kSeparator &&
             text[1] == kSeparator) {
    // "\\?\" and "\\.\" name devices and skip every rule below.
    const size_t server_end = text.find(kSeparator, 2);
    const size_t share_end = server_end == base::string16::npos
                                 ? base::string16::npos
                                 : text.find(kSeparator, server_end + 1);
    if (server_end == base::string16::npos)
      return false;
    const base::string16 server = text.substr(2, server_end - 2);
    const base::string16 share =
        text.substr(server_end + 1, share_end == base::string16::npos
                                        ? base::string16::npos
                                        : share_end - server_end - 1);
    if (server.empty() || server == L"?" || server == L"." || share.empty())
      return false;
    components->push_back(text.substr(0, share_end));
    position = share_end == base::string16::npos ? text.size() : share_end + 1;
  } else {
    return false;
  }
  const size_t root_count = 1;
  while (position <= text.size()) {
    size_t end = text.find(kSeparator, position);
    if (end == base::string16::npos)
      end = text.size();
    base::string16 name = text.substr(position, end - position);
    position = end + 1;
    if (name.empty() || name == L".")
      continue;
    if (name == L"..") {
      if (components->size() == root_count)
        return false;
      components->pop_back();
      continue;
    }
    while (!name.empty() && (name.back() == L'.' || name.back() == L' '))
      name.pop_back();
    if (name.empty() || name.size() > kMaxComponentLength ||
        std::any_of(name.begin(), name.end(), &IsForbiddenInName)) {
      return false;
    }
    components->push_back(name);
  }
  return true;
}

base::string16 JoinPath(const Components& components, size_t count) {
  base::string16 path;
  for (size_t i = 0; i < count && i < components.size(); ++i)
    path += components[i] + kSeparator;
  if (count > 1 && !path.empty())
    path.pop_back();
  return path;
}

// The long name of the first |count| of |components|; false when that
// much of the path does not exist.
bool LongNameOf(const Components& components,
                size_t count,
                base::string16* long_name) {
  const base::string16 existing = JoinPath(components, count);
  wchar_t buffer[MAX_PATH * 4];
  const DWORD length = ::GetLongPathNameW(
      existing.c_str(), buffer, static_cast<DWORD>(std::size(buffer)));
  if (length == 0 || length >= std::size(buffer))
    return false;
  long_name->assign(buffer, length);
  return true;
}

// Short names in the part of |components| that exists made long. What
// exists of a path is a prefix of it, so its end is searched by halves:
// a journal's path may name well over a hundred folders that are not
// there, each asked of the system one by one before.
bool ExpandShortNames(Components* components) {
  size_t found = 1;
  size_t missing = components->size() + 1;
  base::string16 expanded;
  while (missing - found > 1) {
    const size_t count = found + (missing - found) / 2;
    base::string16 long_name;
    if (LongNameOf(*components, count, &long_name)) {
      found = count;
      expanded.swap(long_name);
    } else {
      missing = count;
    }
  }
  if (expanded.empty())
    return true;
  for (size_t i = found; i < components->size(); ++i)
    expanded += kSeparator + (*components)[i];
  return SplitPath(expanded, components);
}

bool StartsWith(const Components& path, const Components& prefix) {
  return path.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), path.begin());
}

// |text| split as SplitPath does, each component in upper case, short
// names left as they are written.
bool SplitUpper(const base::string16& text, Components* components) {
  if (!SplitPath(text, components))
    return false;
  for (base::string16& component : *components)
    component = ToUpper(component);
  return true;
}

// Whether |path| is |folder| set aside whole, beside itself.
bool IsSetAsideOf(const Components& path, const Components& folder) {
  return !folder.empty() && path.size() == folder.size() &&
         std::equal(folder.begin(), folder.end() - 1, path.begin()) &&
         path.back() != folder.back() &&
         SetAsidePaths::OriginalName(path.back()) == folder.back();
}

// Whether climbing from |path| by its text, as the undo of a folder
// creation climbs, meets the text of |ancestor|, passing only folders on
// the way to |path| that are deeper than |lowest| components. A climb
// through "..", or past an ancestor spelled otherwise, would remove what
// lies beside or above.
bool ClimbsTo(const base::FilePath& path,
              const base::FilePath& ancestor,
              size_t lowest) {
  Components chain;
  if (!SplitUpper(path.value(), &chain))
    return false;
  for (base::FilePath step = path; step != ancestor;) {
    Components passed;
    if (!SplitUpper(step.value(), &passed) || passed.size() <= lowest ||
        !StartsWith(chain, passed)) {
      return false;
    }
    const base::FilePath parent = step.DirName();
    if (parent == step)
      return false;
    step = parent;
  }
  return true;
}

// The key |path| in upper case, split; false for an empty component.
bool SplitKey(const base::string16& path, Components* components) {
  components->clear();
  size_t position = 0;
  while (position <= path.size()) {
    size_t end = path.find(kSeparator, position);
    if (end == base::string16::npos)
      end = path.size();
    if (end == position)
      return false;
    components->push_back(ToUpper(path.substr(position, end - position)));
    position = end + 1;
  }
  return !components->empty();
}

bool MatchesKey(const Components& key, const Components& pattern) {
  if (pattern.empty() || key.size() < pattern.size())
    return false;
  const size_t last = pattern.size() - 1;
  if (!std::equal(pattern.begin(), pattern.begin() + last, key.begin()))
    return false;
  const base::string16& name = pattern[last];
  if (!name.empty() && name.back() == L'*')
    return key[last].compare(0, name.size() - 1, name, 0, name.size() - 1) == 0;
  return key[last] == name;
}

// A run creates no key of the hive's first level ("Software").
constexpr size_t kMinCreatedKeyDepth = 2;

bool IsCreatedOnTheWay(const Components& key, const Components& target) {
  return key.size() >= kMinCreatedKeyDepth && StartsWith(target, key);
}

// The records of the installation in |folder| that a run may act on or
// leave behind: the record itself and its set-aside names, and the earlier
// records that an update keeps aside.
std::vector<base::FilePath> InstallationRecords(const base::FilePath& folder) {
  std::vector<base::FilePath> records;
  const base::string16 record = kInstallationStatusFileName;
  const std::pair<base::FilePath, base::string16> kPlaces[] = {
      {folder, record + L"*"},
      {folder.Append(kOldStatusFolder), record + L".*"}};
  for (const auto& place : kPlaces) {
    base::FileEnumerator files(place.first, false, base::FileEnumerator::FILES,
                               place.second);
    for (base::FilePath file = files.Next(); !file.empty(); file = files.Next())
      records.push_back(file);
  }
  return records;
}

// The shortcuts that the records of the installation in |folder| name: an
// update moves them to this build's names and an uninstallation deletes
// them, whichever build of whichever channel named them.
std::vector<base::FilePath> RecordedShortcuts(const base::FilePath& folder) {
  std::vector<base::FilePath> shortcuts;
  for (const base::FilePath& file : InstallationRecords(folder)) {
    XmlDocument document;
    InstallationStatus record;
    // What a faulty record holds before its fault is still what it names.
    ReadInstallationStatus(&document, &record, file);
    for (const base::FilePath* path :
         {&record.desktop_shortcut, &record.start_menu_shortcut,
          &record.quick_launch_shortcut}) {
      if (!path->empty())
        shortcuts.push_back(*path);
    }
  }
  return shortcuts;
}

}  // namespace

RollbackScope::RollbackScope(const base::FilePath& folder)
    : shortcut_stem_(ToUpper(
          base::UTF8ToUTF16(ProductInfo::GetVisibleProductNameWithChannel()))),
      shortcut_suffix_(ToUpper(
          base::UTF8ToUTF16(ProductConfiguration::GetShortcutSuffix()))) {
  if (!NormalizeFolder(folder, &folder_))
    folder_.clear();
}

RollbackScope::RollbackScope(const RollbackScope& other) = default;

RollbackScope::~RollbackScope() = default;

// static
RollbackScope RollbackScope::ForInstallation(const base::FilePath& folder) {
  RollbackScope scope(folder);
  constexpr int kShortcutFolders[] = {
      base::DIR_COMMON_DESKTOP, base::DIR_USER_DESKTOP,
      base::DIR_COMMON_START_MENU, base::DIR_START_MENU,
      base::DIR_USER_QUICK_LAUNCH};
  for (int key : kShortcutFolders) {
    base::FilePath shortcuts;
    if (base::PathService::Get(key, &shortcuts))
      scope.AddShortcutFolder(shortcuts);
  }
  for (const base::FilePath& shortcut : RecordedShortcuts(folder))
    scope.AddRecordedShortcut(shortcut);
  base::FilePath programs;
  if (base::PathService::Get(base::DIR_START_MENU, &programs))
    scope.AddDeletedFolder(programs.Append(kCompanyStartMenuFolder));
  const base::string16 product =
      base::UTF8ToUTF16(ProductInfo::GetProductName());
  const base::string16 executable = GetBrowserExeName();
  const base::string16 windows = L"Software\\Microsoft\\Windows\\";
  scope.AddOwnedKey(L"Software\\Classes\\Applications\\" + executable);
  scope.AddOwnedKey(windows + L"CurrentVersion\\App Paths\\" + executable);
  scope.AddOwnedKey(L"Software\\Classes\\.vxe");
  scope.AddSharedValues(GetCompanyRegistryKey(), L"Last ");
  scope.AddFileNamedValues(
      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
      L"Compatibility Assistant\\Persisted");
  // Without a name, a key of every product would match.
  if (product.empty())
    return scope;
  scope.AddOwnedKey(L"Software\\Classes\\" + product + L"*");
  scope.AddOwnedKey(L"Software\\Clients\\StartMenuInternet\\" + product + L"*");
  scope.AddOwnedKey(windows + L"CurrentVersion\\Uninstall\\" + product + L" *");
  for (const wchar_t* extension : {L".vxdownload", L".htm", L".html", L".pdf",
                                   L".shtml", L".xht", L".xhtml"}) {
    scope.AddSharedValues(L"Software\\Classes\\" + base::string16(extension) +
                              L"\\OpenWithProgIDs",
                          product);
  }
  scope.AddSharedValues(L"Software\\RegisteredApplications", product);
  return scope;
}

void RollbackScope::AddShortcutFolder(const base::FilePath& folder) {
  Components components;
  if (NormalizeFolder(folder, &components))
    shortcut_folders_.push_back(components);
}

void RollbackScope::AddRecordedShortcut(const base::FilePath& path) {
  Components components;
  // A record names shortcut files only: a path of any other kind came from
  // no installer.
  if (NormalizePath(path, &components) && components.size() >= 2 &&
      EndsWith(components.back(), kShortcutExtension)) {
    recorded_shortcuts_.push_back(components);
  }
}

void RollbackScope::AddDeletedFolder(const base::FilePath& folder) {
  Components components;
  if (NormalizeFolder(folder, &components))
    deleted_folders_.push_back(components);
}

void RollbackScope::AddOwnedKey(const base::string16& path) {
  Components components;
  if (SplitKey(path, &components))
    owned_keys_.push_back(components);
}

void RollbackScope::AddSharedValues(const base::string16& path,
                                    const base::string16& name_prefix) {
  Components components;
  if (SplitKey(path, &components))
    shared_values_.push_back({components, ToUpper(name_prefix)});
}

void RollbackScope::AddFileNamedValues(const base::string16& path) {
  Components components;
  if (SplitKey(path, &components))
    file_named_value_keys_.push_back(components);
}

bool RollbackScope::ContainsPath(const base::FilePath& path) const {
  Components components;
  if (folder_.empty() || !NormalizePath(path, &components))
    return false;
  return components == folder_ || IsInsideFolder(components) ||
         IsSetAsideOf(components, folder_) || IsShortcut(components) ||
         IsDeletedFolder(components);
}

bool RollbackScope::ContainsCreatedFolders(
    const base::FilePath& path,
    const base::FilePath& ancestor) const {
  Components components;
  Components above;
  if (folder_.empty() || !NormalizePath(path, &components) ||
      !NormalizePath(ancestor, &above) || above.size() >= components.size() ||
      !StartsWith(components, above) ||
      !ClimbsTo(path, ancestor, above.size())) {
    return false;
  }
  if (IsInsideFolder(components))
    return StartsWith(above, folder_);
  return components == folder_ || IsShortcutFolder(components);
}

bool RollbackScope::OwnsKey(HKEY root, const base::string16& path) const {
  Components key;
  if (!IsRunRoot(root) || !SplitKey(path, &key))
    return false;
  return std::any_of(
      owned_keys_.begin(), owned_keys_.end(),
      [&key](const Components& owned) { return MatchesKey(key, owned); });
}

bool RollbackScope::ContainsValue(HKEY root,
                                  const base::string16& path,
                                  const base::string16& name) const {
  if (OwnsKey(root, path))
    return true;
  Components key;
  if (!IsRunRoot(root) || !SplitKey(path, &key))
    return false;
  if (IsFileNamedValue(key, name))
    return true;
  const base::string16 upper_name = ToUpper(name);
  return std::any_of(shared_values_.begin(), shared_values_.end(),
                     [&](const SharedValues& shared) {
                       return shared.key == key &&
                              upper_name.compare(0, shared.name_prefix.size(),
                                                 shared.name_prefix) == 0;
                     });
}

bool RollbackScope::ContainsCreatedKey(HKEY root,
                                       const base::string16& path) const {
  if (OwnsKey(root, path))
    return true;
  Components key;
  if (!IsRunRoot(root) || !SplitKey(path, &key))
    return false;
  // An owned key's own last component is owned already.
  for (const Components& owned : owned_keys_) {
    if (IsCreatedOnTheWay(key, Components(owned.begin(), owned.end() - 1)))
      return true;
  }
  for (const SharedValues& shared : shared_values_) {
    if (IsCreatedOnTheWay(key, shared.key))
      return true;
  }
  return std::any_of(file_named_value_keys_.begin(),
                     file_named_value_keys_.end(),
                     [&key](const Components& shared) {
                       return IsCreatedOnTheWay(key, shared);
                     });
}

// static
bool RollbackScope::NormalizePath(const base::FilePath& path,
                                  Components* components) {
  if (!SplitPath(path.value(), components) || !ExpandShortNames(components))
    return false;
  for (base::string16& component : *components)
    component = ToUpper(component);
  return true;
}

// static
bool RollbackScope::NormalizeFolder(const base::FilePath& folder,
                                    Components* components) {
  // A drive or a share as a whole is no run's folder.
  return NormalizePath(folder, components) && components->size() >= 2;
}

bool RollbackScope::IsInsideFolder(const Components& path) const {
  if (path.size() <= folder_.size() || !StartsWith(path, folder_))
    return false;
  // A link below the folder leads out of it; the last component is the
  // entry itself, which the changes handle as a link.
  for (size_t count = folder_.size() + 1; count < path.size(); ++count) {
    const DWORD attributes =
        ::GetFileAttributesW(JoinPath(path, count).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return false;
    }
  }
  return true;
}

bool RollbackScope::IsShortcut(const Components& path) const {
  if (path.size() < 2)
    return false;
  const Components parent(path.begin(), path.end() - 1);
  return (IsShortcutFolder(parent) &&
          IsShortcutName(SetAsidePaths::OriginalName(path.back()))) ||
         IsRecordedShortcut(path);
}

bool RollbackScope::IsRecordedShortcut(const Components& path) const {
  return std::any_of(recorded_shortcuts_.begin(), recorded_shortcuts_.end(),
                     [&path](const Components& shortcut) {
                       return path == shortcut || IsSetAsideOf(path, shortcut);
                     });
}

bool RollbackScope::IsShortcutName(const base::string16& name) const {
  const base::string16 extension = kShortcutExtension;
  if (shortcut_stem_.empty() ||
      name.size() < shortcut_stem_.size() + extension.size() ||
      name.compare(0, shortcut_stem_.size(), shortcut_stem_) != 0 ||
      !EndsWith(name, extension)) {
    return false;
  }
  // What stands between the stem and the extension.
  base::string16 rest =
      name.substr(shortcut_stem_.size(),
                  name.size() - shortcut_stem_.size() - extension.size());
  // Shortcuts made before the suffix was configured keep their names.
  if (!shortcut_suffix_.empty() && EndsWith(rest, shortcut_suffix_))
    rest.resize(rest.size() - shortcut_suffix_.size());
  return rest.empty() || (rest[0] == L' ' && IsDigits(rest, 1, rest.size()));
}

bool RollbackScope::IsShortcutFolder(const Components& path) const {
  return std::find(shortcut_folders_.begin(), shortcut_folders_.end(), path) !=
         shortcut_folders_.end();
}

bool RollbackScope::IsDeletedFolder(const Components& path) const {
  return std::any_of(deleted_folders_.begin(), deleted_folders_.end(),
                     [&path](const Components& folder) {
                       return path == folder || IsSetAsideOf(path, folder);
                     });
}

bool RollbackScope::IsFileNamedValue(const Components& key,
                                     const base::string16& name) const {
  if (std::find(file_named_value_keys_.begin(), file_named_value_keys_.end(),
                key) == file_named_value_keys_.end()) {
    return false;
  }
  Components file;
  return !folder_.empty() && NormalizePath(base::FilePath(name), &file) &&
         file.size() == folder_.size() + 1 && StartsWith(file, folder_);
}

}  // namespace installer
}  // namespace vexlo
