#include "base/win/shortcut.h"

#include <commctrl.h>
#include <shlobj.h>

#include <vector>

#include "base/files/file_util.h"
#include "base/win/propvariant_util.h"
#include "base/win/scoped_propvariant.h"
#include "base/win/shortcut_shell.h"
#include "base/win/windows_version.h"

namespace base {
namespace win {

static_assert(kMaxShortcutDescriptionLength == INFOTIPSIZE,
              "a shortcut's description is an info tip");

namespace {

using Options = ShortcutProperties::IndividualProperties;

// The texts IShellLinkW hands out through a buffer and its length.
using LinkTextGetter = HRESULT (STDMETHODCALLTYPE IShellLinkW::*)(LPWSTR, int);

constexpr uint32_t kPropertyStoreOptions =
    ShortcutProperties::PROPERTIES_APP_ID |
    ShortcutProperties::PROPERTIES_DUAL_MODE;

// The application user-model properties exist from Windows 7 on.
bool HasAppUserModelProperties() {
  return GetVersion() >= VERSION_WIN7;
}

// Reads one text of |link| through a buffer of |max_length| units, its NUL
// included.
bool GetLinkText(IShellLinkW* link,
                 LinkTextGetter getter,
                 int max_length,
                 string16* text) {
  std::vector<wchar_t> buffer(max_length, L'\0');
  if (FAILED((link->*getter)(buffer.data(), max_length)))
    return false;
  // Never read past the buffer, whatever the link wrote into it.
  buffer.back() = L'\0';
  text->assign(buffer.data());
  return true;
}

// The arguments of a shortcut that is being replaced pass to its successor;
// a failure here loses only them.
void CarryOverArguments(IShellLinkW* old_link, IShellLinkW* link) {
  string16 arguments;
  if (GetLinkText(old_link, &IShellLinkW::GetArguments,
                  kMaxShortcutArgumentsLength, &arguments)) {
    link->SetArguments(arguments.c_str());
  }
}

bool ApplyLinkFields(const ShortcutProperties& properties,
                     IShellLinkW* old_link,
                     IShellLinkW* link) {
  const uint32_t options = properties.options;
  if ((options & Options::PROPERTIES_TARGET) &&
      FAILED(link->SetPath(properties.target.value().c_str()))) {
    return false;
  }
  if ((options & Options::PROPERTIES_WORKING_DIR) &&
      FAILED(
          link->SetWorkingDirectory(properties.working_dir.value().c_str()))) {
    return false;
  }
  if (options & Options::PROPERTIES_ARGUMENTS) {
    if (FAILED(link->SetArguments(properties.arguments.c_str())))
      return false;
  } else if (old_link) {
    CarryOverArguments(old_link, link);
  }
  if ((options & Options::PROPERTIES_DESCRIPTION) &&
      FAILED(link->SetDescription(properties.description.c_str()))) {
    return false;
  }
  if ((options & Options::PROPERTIES_ICON) &&
      FAILED(link->SetIconLocation(properties.icon.value().c_str(),
                                   properties.icon_index))) {
    return false;
  }
  return true;
}

bool ApplyAppUserModelProperties(const ShortcutProperties& properties,
                                 IShellLinkW* link) {
  const uint32_t options = properties.options;
  if (!(options & kPropertyStoreOptions) || !HasAppUserModelProperties())
    return true;
  ScopedComPtr<IPropertyStore> store;
  if (FAILED(ShortcutShell::Get()->GetPropertyStore(link, store.Receive())) ||
      !store) {
    return false;
  }
  if ((options & Options::PROPERTIES_APP_ID) &&
      !StoreAppUserModelId(store.get(), properties.app_id.c_str())) {
    return false;
  }
  if ((options & Options::PROPERTIES_DUAL_MODE) &&
      !StoreBooleanProperty(store.get(), kAppUserModelIsDualModeKey,
                            properties.dual_mode)) {
    return false;
  }
  return true;
}

void NotifyShortcutSaved(const FilePath& shortcut_path, bool replaced_file) {
  ShortcutShell* shell = ShortcutShell::Get();
  if (replaced_file)
    shell->NotifyChange(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr);
  else
    shell->NotifyChange(SHCNE_CREATE, SHCNF_PATHW,
                        shortcut_path.value().c_str());
}

bool ReadLinkFields(IShellLinkW* link,
                    uint32_t options,
                    ShortcutProperties* properties) {
  if (options & Options::PROPERTIES_TARGET) {
    wchar_t target[MAX_PATH] = {};
    if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_UNCPRIORITY)))
      return false;
    target[MAX_PATH - 1] = L'\0';
    properties->target = FilePath(target);
    properties->options |= Options::PROPERTIES_TARGET;
  }
  if (options & Options::PROPERTIES_WORKING_DIR) {
    string16 working_dir;
    if (!GetLinkText(link, &IShellLinkW::GetWorkingDirectory, MAX_PATH,
                     &working_dir)) {
      return false;
    }
    properties->working_dir = FilePath(working_dir);
    properties->options |= Options::PROPERTIES_WORKING_DIR;
  }
  if (options & Options::PROPERTIES_ARGUMENTS) {
    if (!GetLinkText(link, &IShellLinkW::GetArguments,
                     kMaxShortcutArgumentsLength, &properties->arguments)) {
      return false;
    }
    properties->options |= Options::PROPERTIES_ARGUMENTS;
  }
  if (options & Options::PROPERTIES_DESCRIPTION) {
    if (!GetLinkText(link, &IShellLinkW::GetDescription,
                     kMaxShortcutDescriptionLength, &properties->description)) {
      return false;
    }
    properties->options |= Options::PROPERTIES_DESCRIPTION;
  }
  if (options & Options::PROPERTIES_ICON) {
    wchar_t icon[MAX_PATH] = {};
    int index = 0;
    if (FAILED(link->GetIconLocation(icon, MAX_PATH, &index)))
      return false;
    icon[MAX_PATH - 1] = L'\0';
    properties->SetIcon(FilePath(icon), index);
  }
  return true;
}

bool ReadAppId(IPropertyStore* store, string16* app_id) {
  ScopedPropVariant value;
  if (FAILED(store->GetValue(kAppUserModelIdKey, value.Receive())))
    return false;
  switch (value.type()) {
    case VT_EMPTY:
      app_id->clear();
      return true;
    case VT_LPWSTR:
      // A malformed store may hand out a string type without a string.
      if (value.get().pwszVal)
        app_id->assign(value.get().pwszVal);
      else
        app_id->clear();
      return true;
    default:
      return false;
  }
}

bool ReadDualMode(IPropertyStore* store, bool* dual_mode) {
  ScopedPropVariant value;
  if (FAILED(store->GetValue(kAppUserModelIsDualModeKey, value.Receive())))
    return false;
  switch (value.type()) {
    case VT_EMPTY:
      *dual_mode = false;
      return true;
    case VT_BOOL:
      *dual_mode = value.get().boolVal == VARIANT_TRUE;
      return true;
    default:
      return false;
  }
}

bool ReadAppUserModelProperties(IShellLinkW* link,
                                uint32_t options,
                                ShortcutProperties* properties) {
  if (!(options & kPropertyStoreOptions) || !HasAppUserModelProperties())
    return true;
  ScopedComPtr<IPropertyStore> store;
  if (FAILED(ShortcutShell::Get()->GetPropertyStore(link, store.Receive())) ||
      !store) {
    return false;
  }
  if (options & Options::PROPERTIES_APP_ID) {
    if (!ReadAppId(store.get(), &properties->app_id))
      return false;
    properties->options |= Options::PROPERTIES_APP_ID;
  }
  if (options & Options::PROPERTIES_DUAL_MODE) {
    if (!ReadDualMode(store.get(), &properties->dual_mode))
      return false;
    properties->options |= Options::PROPERTIES_DUAL_MODE;
  }
  return true;
}

}  // namespace

ShortcutProperties::ShortcutProperties()
    : icon_index(-1), dual_mode(false), options(0) {}

ShortcutProperties::~ShortcutProperties() = default;

void ShortcutProperties::SetIcon(const FilePath& icon_path, int32_t index) {
  icon = icon_path;
  icon_index = index;
  options |= PROPERTIES_ICON;
}

bool CreateOrUpdateShortcutLink(const FilePath& shortcut_path,
                                const ShortcutProperties& properties,
                                ShortcutOperation operation) {
  if (operation != SHORTCUT_UPDATE_EXISTING &&
      !(properties.options & ShortcutProperties::PROPERTIES_TARGET)) {
    return false;
  }
  const bool shortcut_existed = PathExists(shortcut_path);

  // The shortcut being replaced, kept only to carry its arguments over.
  ScopedComPtr<IShellLinkW> old_link;
  ScopedComPtr<IPersistFile> old_persist_file;
  ScopedComPtr<IShellLinkW> link;
  ScopedComPtr<IPersistFile> persist_file;
  switch (operation) {
    case SHORTCUT_CREATE_ALWAYS:
      CreateShellLinkObjects(nullptr, &link, &persist_file);
      break;
    case SHORTCUT_UPDATE_EXISTING:
      CreateShellLinkObjects(&shortcut_path, &link, &persist_file);
      break;
    case SHORTCUT_REPLACE_EXISTING:
      if (CreateShellLinkObjects(&shortcut_path, &old_link,
                                 &old_persist_file)) {
        CreateShellLinkObjects(nullptr, &link, &persist_file);
      }
      break;
    default:
      return false;
  }
  if (!persist_file)
    return false;

  if (!ApplyLinkFields(properties, old_link.get(), link.get()) ||
      !ApplyAppUserModelProperties(properties, link.get())) {
    return false;
  }

  // The old link must not hold the file while it is written.
  old_link.Reset();
  old_persist_file.Reset();
  const bool saved =
      SUCCEEDED(persist_file->Save(shortcut_path.value().c_str(), TRUE));
  link.Reset();
  persist_file.Reset();

  if (saved)
    NotifyShortcutSaved(shortcut_path, shortcut_existed);
  return saved;
}

bool ReadShortcutProperties(const FilePath& shortcut_path,
                            uint32_t options,
                            ShortcutProperties* properties) {
  ScopedComPtr<IShellLinkW> link;
  ScopedComPtr<IPersistFile> persist_file;
  if (!CreateShellLinkObjects(nullptr, &link, &persist_file) ||
      FAILED(persist_file->Load(shortcut_path.value().c_str(), STGM_READ))) {
    return false;
  }
  // Members that are not read keep their values; the output changes only
  // when everything wanted could be read.
  ShortcutProperties read = *properties;
  read.options = 0;
  if (!ReadLinkFields(link.get(), options, &read) ||
      !ReadAppUserModelProperties(link.get(), options, &read)) {
    return false;
  }
  *properties = read;
  return true;
}

bool ResolveShortcut(const FilePath& shortcut_path,
                     FilePath* target_path,
                     string16* arguments) {
  uint32_t options = 0;
  if (target_path)
    options |= ShortcutProperties::PROPERTIES_TARGET;
  if (arguments)
    options |= ShortcutProperties::PROPERTIES_ARGUMENTS;
  ShortcutProperties properties;
  if (!ReadShortcutProperties(shortcut_path, options, &properties))
    return false;
  if (target_path)
    *target_path = properties.target;
  if (arguments)
    *arguments = properties.arguments;
  return true;
}

bool TaskbarPinShortcutLink(const FilePath& shortcut_path) {
  return ShortcutShell::Get()->ExecuteVerb(L"taskbarpin", shortcut_path) > 32;
}

bool TaskbarUnpinShortcutLink(const FilePath& shortcut_path) {
  if (GetVersion() < VERSION_WIN7)
    return false;
  return ShortcutShell::Get()->ExecuteVerb(L"taskbarunpin", shortcut_path) > 32;
}

bool CreateShellLinkObjects(const FilePath* shortcut_path,
                            ScopedComPtr<IShellLinkW>* link,
                            ScopedComPtr<IPersistFile>* persist_file) {
  persist_file->Reset();
  const bool created =
      SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IShellLinkW, link->ReceiveVoid())) &&
      *link && SUCCEEDED(persist_file->QueryFrom(link->get())) &&
      *persist_file &&
      (!shortcut_path ||
       SUCCEEDED((*persist_file)
                     ->Load(shortcut_path->value().c_str(), STGM_READWRITE)));
  if (!created) {
    link->Reset();
    persist_file->Reset();
  }
  return created;
}

}  // namespace win
}  // namespace base
