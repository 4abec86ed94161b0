#include "desktop/launcher/installer/service/test/fake_task_scheduler.h"

#include "base/strings/utf_string_conversions.h"

namespace vexlo {
namespace installer {

FakeTaskScheduler::FakeTaskScheduler() = default;

FakeTaskScheduler::~FakeTaskScheduler() = default;

bool FakeTaskScheduler::Init() {
  Record("Init", L"");
  return !failing_;
}

bool FakeTaskScheduler::RegisterTask(const ScheduledTaskInfo& info) {
  Record("RegisterTask", info.name);
  if (failing_)
    return false;
  tasks_.erase(info.name);
  // A task that runs once is gone as soon as it started.
  if (info.schedule_kind != ScheduledTaskInfo::SCHEDULE_ONCE)
    tasks_[info.name].info = info;
  return true;
}

void FakeTaskScheduler::DeleteOrphanedTasks() {
  Record("DeleteOrphanedTasks", L"");
}

void FakeTaskScheduler::DeleteTask(const base::string16& name) {
  Record("DeleteTask", name);
  tasks_.erase(name);
}

void FakeTaskScheduler::SetTaskDaysInterval(const base::string16& name,
                                            int32_t days) {
  Record("SetTaskDaysInterval", name, days);
  auto task = tasks_.find(name);
  if (task != tasks_.end())
    task->second.days_interval = days;
}

void FakeTaskScheduler::SetTaskEnabled(const base::string16& name,
                                       bool enabled) {
  Record("SetTaskEnabled", name, enabled);
  auto task = tasks_.find(name);
  if (task != tasks_.end())
    task->second.enabled = enabled;
}

bool FakeTaskScheduler::RunTask(const base::string16& name,
                                const std::vector<base::string16>& arguments) {
  Record("RunTask", name);
  auto task = tasks_.find(name);
  if (failing_ || task == tasks_.end())
    return false;
  task->second.runs.push_back(arguments);
  return true;
}

TaskScheduler::State FakeTaskScheduler::GetTaskState(
    const base::string16& name) {
  Record("GetTaskState", name);
  auto task = tasks_.find(name);
  if (task == tasks_.end())
    return STATE_NO_SUCH_TASK;
  return task->second.enabled ? STATE_READY : STATE_DISABLED;
}

base::Time FakeTaskScheduler::GetTaskLastRunTime(const base::string16& name) {
  Record("GetTaskLastRunTime", name);
  return base::Time();
}

void FakeTaskScheduler::Record(const char* call,
                               const base::string16& name,
                               int value) {
  std::string line = call;
  if (!name.empty())
    line += " " + base::UTF16ToUTF8(name);
  if (value >= 0)
    line += " " + std::to_string(value);
  calls_.push_back(line);
}

}  // namespace installer
}  // namespace vexlo
