#include "desktop/launcher/installer/service/default_app_services.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/logging.h"
#include "base/win/scoped_comptr.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kSettingsApplicationId[] =
    L"windows.immersivecontrolpanel_cw5n1h2txyewy"
    L"!microsoft.windows.immersivecontrolpanel";
constexpr wchar_t kDefaultAppsPage[] = L"page=SettingsPageAppsDefaults";
// Register the target's association, even when it is registered already,
// and let the target be a protocol.
constexpr int kOpenWithFlags =
    OAIF_REGISTER_EXT | OAIF_FORCE_REGISTRATION | OAIF_URL_PROTOCOL;

ASSOCIATIONTYPE ToAssociationType(DefaultAppServices::Association type) {
  switch (type) {
    case DefaultAppServices::kFileExtension:
      return AT_FILEEXTENSION;
    case DefaultAppServices::kUrlProtocol:
      return AT_URLPROTOCOL;
    case DefaultAppServices::kStartMenuClient:
      break;
  }
  return AT_STARTMENUCLIENT;
}

bool CreateAssociationRegistration(
    base::win::ScopedComPtr<IApplicationAssociationRegistration>* service) {
  const HRESULT result = CoCreateInstance(
      CLSID_ApplicationAssociationRegistration, nullptr, CLSCTX_INPROC_SERVER,
      __uuidof(IApplicationAssociationRegistration), service->ReceiveVoid());
  if (FAILED(result)) {
    LOG(ERROR) << "Cannot create the association registration service: 0x"
               << std::hex << result;
    return false;
  }
  return true;
}

// The system's services.
class SystemDefaultAppServices : public DefaultAppServices {
 public:
  bool SetAppAsDefault(const base::string16& app_name,
                       const base::string16& target,
                       Association association) override {
    base::win::ScopedComPtr<IApplicationAssociationRegistration> service;
    if (!CreateAssociationRegistration(&service))
      return false;
    const HRESULT result = service->SetAppAsDefault(
        app_name.c_str(), target.c_str(), ToAssociationType(association));
    if (FAILED(result)) {
      LOG(ERROR) << "SetAppAsDefault failed: 0x" << std::hex << result;
      return false;
    }
    return true;
  }

  bool QueryAppIsDefault(const base::string16& target,
                         Association association,
                         const base::string16& app_name) override {
    base::win::ScopedComPtr<IApplicationAssociationRegistration> service;
    if (!CreateAssociationRegistration(&service))
      return false;
    BOOL is_default = FALSE;
    const HRESULT result = service->QueryAppIsDefault(
        target.c_str(), ToAssociationType(association), AL_EFFECTIVE,
        app_name.c_str(), &is_default);
    if (FAILED(result)) {
      LOG(ERROR) << "QueryAppIsDefault failed: 0x" << std::hex << result;
      return false;
    }
    return is_default != FALSE;
  }

  bool ShowOpenWithDialog(const base::string16& target) override {
    OPENASINFO info = {};
    info.pcszFile = target.c_str();
    info.oaifInFlags = static_cast<OPEN_AS_INFO_FLAGS>(kOpenWithFlags);
    const HRESULT result = SHOpenWithDialog(nullptr, &info);
    if (FAILED(result)) {
      LOG(ERROR) << "The open-with dialog failed: 0x" << std::hex << result;
      return false;
    }
    return true;
  }

  void NotifyAssociationsChanged() override {
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  }

  bool OpenDefaultAppsSettings() override {
    base::win::ScopedComPtr<IApplicationActivationManager> manager;
    HRESULT result = CoCreateInstance(
        CLSID_ApplicationActivationManager, nullptr, CLSCTX_LOCAL_SERVER,
        __uuidof(IApplicationActivationManager), manager.ReceiveVoid());
    if (FAILED(result)) {
      LOG(ERROR) << "Cannot create the activation manager: 0x" << std::hex
                 << result;
      return false;
    }
    // The settings application comes to the front only when allowed to.
    CoAllowSetForegroundWindow(manager.get(), nullptr);
    DWORD process_id = 0;
    result = manager->ActivateApplication(
        kSettingsApplicationId, kDefaultAppsPage, AO_NONE, &process_id);
    if (FAILED(result)) {
      LOG(ERROR) << "Cannot open the default-apps settings: 0x" << std::hex
                 << result;
      return false;
    }
    return true;
  }
};

DefaultAppServices* g_services_for_testing = nullptr;

}  // namespace

// static
DefaultAppServices* DefaultAppServices::Get() {
  if (g_services_for_testing)
    return g_services_for_testing;
  static SystemDefaultAppServices* const system_services =
      new SystemDefaultAppServices();
  return system_services;
}

// static
DefaultAppServices* DefaultAppServices::SetForTesting(
    DefaultAppServices* services) {
  DefaultAppServices* const previous = g_services_for_testing;
  g_services_for_testing = services;
  return previous;
}

}  // namespace installer
}  // namespace vexlo
