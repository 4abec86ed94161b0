#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TASK_SCHEDULER_V1_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TASK_SCHEDULER_V1_H_

#include "base/win/scoped_comptr.h"
#include "desktop/launcher/installer/service/task_scheduler.h"

struct ITask;
struct ITaskScheduler;

namespace vexlo {
namespace installer {

// The tasks as work items of the Task Scheduler 1.0, saved as job files.
class TaskSchedulerV1 : public TaskScheduler {
 public:
  TaskSchedulerV1();
  TaskSchedulerV1(const TaskSchedulerV1&) = delete;
  TaskSchedulerV1& operator=(const TaskSchedulerV1&) = delete;
  ~TaskSchedulerV1() override;

  // A work item's status code as this interface's state.
  static State StateFromStatus(long status);

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
  bool Activate(const base::string16& full_name,
                base::win::ScopedComPtr<ITask>* task);
  void DeleteWorkItem(const base::string16& full_name);
  std::vector<base::string16> GetWorkItemNames();
  bool IsOrphaned(const base::string16& full_name);

  base::win::ScopedComPtr<ITaskScheduler> scheduler_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TASK_SCHEDULER_V1_H_
