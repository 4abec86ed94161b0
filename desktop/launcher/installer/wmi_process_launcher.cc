#include "desktop/launcher/installer/wmi_process_launcher.h"

#include <windows.h>

#include <wbemcli.h>

#include "base/logging.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_comptr.h"
#include "base/win/scoped_variant.h"

namespace vexlo {
namespace installer {

namespace {

// A variant that a COM call fills, cleared when it goes.
class OutVariant {
 public:
  OutVariant() { ::VariantInit(&var_); }
  OutVariant(const OutVariant&) = delete;
  OutVariant& operator=(const OutVariant&) = delete;
  ~OutVariant() { ::VariantClear(&var_); }

  VARIANT* Receive() {
    ::VariantClear(&var_);
    return &var_;
  }
  // The value as an unsigned number; false when it is none.
  bool GetUint32(uint32_t* value) {
    VARIANT converted;
    ::VariantInit(&converted);
    if (FAILED(::VariantChangeType(&converted, &var_, 0, VT_UI4)))
      return false;
    *value = converted.ulVal;
    return true;
  }

 private:
  VARIANT var_;
};

bool Check(HRESULT result, const char* what) {
  if (SUCCEEDED(result))
    return true;
  LOG(ERROR) << "Starting a process through WMI: " << what << " failed: 0x"
             << std::hex << result;
  return false;
}

}  // namespace

bool LaunchProcessThroughWmi(const base::string16& command_line,
                             uint32_t* process_id) {
  base::win::ScopedComPtr<IWbemLocator> locator;
  if (!Check(
          ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IWbemLocator, locator.ReceiveVoid()),
          "creating the locator")) {
    return false;
  }
  base::win::ScopedComPtr<IWbemServices> services;
  const base::win::ScopedBstr name_space(L"ROOT\\CIMV2");
  if (!Check(locator->ConnectServer(name_space.Get(), nullptr, nullptr, nullptr,
                                    0, nullptr, nullptr, services.Receive()),
             "connecting") ||
      !Check(
          ::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT,
                              RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                              RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
          "setting the proxy blanket")) {
    return false;
  }
  const base::win::ScopedBstr class_name(L"Win32_Process");
  const base::win::ScopedBstr method_name(L"Create");
  base::win::ScopedComPtr<IWbemClassObject> process_class;
  base::win::ScopedComPtr<IWbemClassObject> parameters_class;
  base::win::ScopedComPtr<IWbemClassObject> parameters;
  if (!Check(services->GetObject(class_name.Get(), 0, nullptr,
                                 process_class.Receive(), nullptr),
             "getting the process class") ||
      !Check(process_class->GetMethod(method_name.Get(), 0,
                                      parameters_class.Receive(), nullptr),
             "getting its method") ||
      !Check(parameters_class->SpawnInstance(0, parameters.Receive()),
             "making the parameters")) {
    return false;
  }
  base::win::ScopedVariant command(command_line.c_str());
  if (!Check(parameters->Put(L"CommandLine", 0,
                             const_cast<VARIANT*>(&command.Get()), 0),
             "setting the command line")) {
    return false;
  }
  base::win::ScopedComPtr<IWbemClassObject> output;
  if (!Check(
          services->ExecMethod(class_name.Get(), method_name.Get(), 0, nullptr,
                               parameters.get(), output.Receive(), nullptr),
          "running the method") ||
      !output) {
    return false;
  }
  OutVariant value;
  uint32_t return_value = 1;
  if (FAILED(
          output->Get(L"ReturnValue", 0, value.Receive(), nullptr, nullptr)) ||
      !value.GetUint32(&return_value) || return_value != 0) {
    LOG(ERROR) << "The process class did not start " << command_line.size()
               << " characters of command line: " << return_value;
    return false;
  }
  uint32_t id = 0;
  if (FAILED(output->Get(L"ProcessId", 0, value.Receive(), nullptr, nullptr)) ||
      !value.GetUint32(&id) || id == 0) {
    LOG(ERROR) << "The process class gave no process id";
    return false;
  }
  if (process_id)
    *process_id = id;
  return true;
}

}  // namespace installer
}  // namespace vexlo
