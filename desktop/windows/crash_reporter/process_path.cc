#include "desktop/windows/crash_reporter/process_path.h"

#include <psapi.h>

#include "base/logging.h"

namespace vexlo {
namespace crash_reporter {

namespace {

bool IsDriveRoot(const base::string16& root) {
  return root.size() == 3 &&
         ((root[0] >= L'A' && root[0] <= L'Z') ||
          (root[0] >= L'a' && root[0] <= L'z')) &&
         root[1] == L':' && root[2] == L'\\';
}

// True when |path| lies under the folder |device|.
bool IsUnderDevice(const base::string16& device, const base::string16& path) {
  return !device.empty() && path.size() > device.size() &&
         path[device.size()] == L'\\' &&
         ::CompareStringOrdinal(path.data(), static_cast<int>(device.size()),
                                device.data(), static_cast<int>(device.size()),
                                TRUE) == CSTR_EQUAL;
}

}  // namespace

base::string16 GetDeviceName(const base::string16& drive_root) {
  if (!IsDriveRoot(drive_root)) {
    LOG(ERROR) << "GetDeviceName: '" << drive_root.c_str() << "'";
    return base::string16();
  }
  const base::string16 drive = drive_root.substr(0, 2);
  wchar_t device[MAX_PATH] = {};
  if (!::QueryDosDeviceW(drive.c_str(), device, MAX_PATH)) {
    PLOG(ERROR) << "QueryDosDevice failed for '" << drive.c_str() << "' (from '"
                << drive_root.c_str() << "'";
    return base::string16();
  }
  return device;
}

std::vector<base::string16> GetLogicalDrives() {
  std::vector<base::string16> drives;
  const DWORD length = ::GetLogicalDriveStringsW(0, nullptr);
  std::vector<wchar_t> buffer(length + 1);
  const DWORD result =
      length ? ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()),
                                         buffer.data())
             : 0;
  if (result == 0 || result > buffer.size()) {
    PLOG(ERROR) << "GetLogicalDriveStrings failed, result=" << result
                << ", length=" << length;
    return drives;
  }
  for (const wchar_t* root = buffer.data(); *root; root += wcslen(root) + 1)
    drives.push_back(root);
  return drives;
}

base::string16 GetProcessPath(HANDLE process) {
  wchar_t image[MAX_PATH] = {};
  if (!::GetProcessImageFileNameW(process, image, MAX_PATH)) {
    PLOG(ERROR) << "GetProcessImageFileName failed";
    return base::string16();
  }
  const base::string16 image_path(image);
  const std::vector<base::string16> drives = GetLogicalDrives();
  for (const base::string16& drive : drives) {
    const base::string16 device = GetDeviceName(drive);
    if (IsUnderDevice(device, image_path))
      return drive + image_path.substr(device.size() + 1);
  }
  LOG(WARNING) << "Could not convert process image file name '"
               << image_path.c_str() << "'";
  for (const base::string16& drive : drives) {
    LOG(INFO) << "Logical drive: " << drive.c_str();
    LOG(INFO) << "Device name: " << GetDeviceName(drive).c_str();
  }
  return base::string16();
}

}  // namespace crash_reporter
}  // namespace vexlo
