#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_FAKE_TASK_SCHEDULER_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_FAKE_TASK_SCHEDULER_H_

#include <map>
#include <string>
#include <vector>

#include "desktop/launcher/installer/service/task_scheduler.h"

namespace vexlo {
namespace installer {

// Keeps tasks in memory, for steps whose tasks the test platform cannot
// register or run, and records every call in order as one line each, such as
// "RegisterTask Autoupdate 1" or "SetTaskEnabled Autoupdate 1 0".
class FakeTaskScheduler : public TaskScheduler {
 public:
  struct Task {
    ScheduledTaskInfo info;
    bool enabled = true;
    int32_t days_interval = 1;
    std::vector<std::vector<base::string16>> runs;
  };

  FakeTaskScheduler();
  FakeTaskScheduler(const FakeTaskScheduler&) = delete;
  FakeTaskScheduler& operator=(const FakeTaskScheduler&) = delete;
  ~FakeTaskScheduler() override;

  // Makes Init, RegisterTask and RunTask fail.
  void set_failing(bool failing) { failing_ = failing; }
  const std::vector<std::string>& calls() const { return calls_; }
  // The registered tasks by short name.
  const std::map<base::string16, Task>& tasks() const { return tasks_; }

  bool Init() override;
  bool RegisterTask(const ScheduledTaskInfo& info) override;
  void DeleteOrphanedTasks() override;
  void DeleteTask(const base::string16& name) override;
  void SetTaskDaysInterval(const base::string16& name, int32_t days) override;
  void SetTaskEnabled(const base::string16& name, bool enabled) override;
  bool RunTask(const base::string16& name,
               const std::vector<base::string16>& arguments) override;
  State GetTaskState(const base::string16& name) override;
  base::Time GetTaskLastRunTime(const base::string16& name) override;

 private:
  void Record(const char* call, const base::string16& name, int value = -1);

  bool failing_ = false;
  std::vector<std::string> calls_;
  std::map<base::string16, Task> tasks_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_FAKE_TASK_SCHEDULER_H_
