#include "desktop/windows/crash_reporter/crash_upload_task.h"

#include "base/files/file_util.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr wchar_t kLogPartName[] = L"file";
constexpr wchar_t kMinidumpPartName[] = L"upload_file_minidump";

}  // namespace

CrashUploadTask::CrashUploadTask(const base::FilePath& path, bool delete_file)
    : path_(path), delete_file_(delete_file) {}

CrashUploadTask::~CrashUploadTask() {
  if (delete_file_)
    base::DeleteFile(path_, false);
}

CrashLogUploadTask::CrashLogUploadTask(const base::FilePath& path,
                                       bool delete_file,
                                       const UploadFields& fields,
                                       bool zip)
    : CrashUploadTask(path, delete_file), fields_(fields), zip_(zip) {}

CrashLogUploadTask::~CrashLogUploadTask() = default;

bool CrashLogUploadTask::Run() {
  if (!zip_) {
    return SendMultipartRequest(GetCrashUploadUserAgentSuffix(),
                                GetCrashServerUrl(), fields_,
                                {{kLogPartName, path()}}, 0, nullptr, nullptr);
  }
  const base::FilePath zip_path = path().ReplaceExtension(L".zip");
  if (!ZipCrashLog(path(), zip_path))
    return false;
  const bool sent = SendMultipartRequest(
      GetCrashUploadUserAgentSuffix(), GetCrashServerUrl(), fields_,
      {{kLogPartName, zip_path}}, 0, nullptr, nullptr);
  base::DeleteFile(zip_path, false);
  return sent;
}

MinidumpUploadTask::MinidumpUploadTask(const base::FilePath& path,
                                       bool delete_file,
                                       const UploadFields& fields)
    : CrashUploadTask(path, delete_file), fields_(fields) {}

MinidumpUploadTask::~MinidumpUploadTask() = default;

bool MinidumpUploadTask::Run() {
  return SendMultipartRequestNoSuffix(GetCrashCollectorUrl(), fields_,
                                      {{kMinidumpPartName, path()}}, 0, nullptr,
                                      nullptr);
}

}  // namespace crash_reporter
}  // namespace vexlo
