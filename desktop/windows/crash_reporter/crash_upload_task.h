#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UPLOAD_TASK_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UPLOAD_TASK_H_

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/crash_upload.h"

namespace vexlo {
namespace crash_reporter {

// One upload of one crash file; destroying it deletes the file when asked.
class CrashUploadTask {
 public:
  CrashUploadTask(const base::FilePath& path, bool delete_file);
  CrashUploadTask(const CrashUploadTask&) = delete;
  CrashUploadTask& operator=(const CrashUploadTask&) = delete;
  virtual ~CrashUploadTask();

  virtual bool Run() = 0;

 protected:
  const base::FilePath& path() const { return path_; }

 private:
  const base::FilePath path_;
  const bool delete_file_;
};

// A text crash log with its form fields, zipped on the way when asked, to
// the crash server.
class CrashLogUploadTask : public CrashUploadTask {
 public:
  CrashLogUploadTask(const base::FilePath& path,
                     bool delete_file,
                     const UploadFields& fields,
                     bool zip);
  ~CrashLogUploadTask() override;

  bool Run() override;

 private:
  const UploadFields fields_;
  const bool zip_;
};

// A minidump with its form fields, to the crash collector.
class MinidumpUploadTask : public CrashUploadTask {
 public:
  MinidumpUploadTask(const base::FilePath& path,
                     bool delete_file,
                     const UploadFields& fields);
  ~MinidumpUploadTask() override;

  bool Run() override;

 private:
  const UploadFields fields_;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UPLOAD_TASK_H_
