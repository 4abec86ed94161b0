#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_

#include "base/win/scoped_comptr.h"
#include "desktop/launcher/installer/service/task_scheduler.h"

struct IRegisteredTask;
struct ITaskDefinition;
struct ITaskFolder;
struct ITaskService;

namespace vexlo {
namespace installer {

// The tasks through the Task Scheduler 2.0 service, in its root folder.
class TaskSchedulerV2 : public TaskScheduler {
 public:
  TaskSchedulerV2();
  TaskSchedulerV2(const TaskSchedulerV2&) = delete;
  TaskSchedulerV2& operator=(const TaskSchedulerV2&) = delete;
  ~TaskSchedulerV2() override;

  // The service's task state as this interface's state.
  static State StateFromTaskState(int task_state);

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
  bool FillDefinition(const ScheduledTaskInfo& info,
                      const base::string16& user_name,
                      ITaskDefinition* definition);
  bool AddTriggers(const ScheduledTaskInfo& info,
                   const base::string16& user_name,
                   ITaskDefinition* definition);
  bool Register(const ScheduledTaskInfo& info,
                const base::string16& user_name,
                ITaskDefinition* definition);
  bool GetTask(const base::string16& name,
               base::win::ScopedComPtr<IRegisteredTask>* task);
  bool IsOrphaned(IRegisteredTask* task);

  base::win::ScopedComPtr<ITaskService> service_;
  base::win::ScopedComPtr<ITaskFolder> root_folder_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_
