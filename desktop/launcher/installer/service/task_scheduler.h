#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TASK_SCHEDULER_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TASK_SCHEDULER_H_

#include <stdint.h>

#include <memory>
#include <vector>

#include "base/command_line.h"
#include "base/strings/string16.h"
#include "base/time/time.h"

struct _SYSTEMTIME;

namespace vexlo {
namespace installer {

// A task to register with the system's scheduler.
struct ScheduledTaskInfo {
  enum ScheduleKind : uint32_t {
    // Runs once, right after registering, and is gone afterwards.
    SCHEDULE_ONCE = 0,
    SCHEDULE_DAILY = 1,
    // No time trigger; only the logon trigger, if any, starts it.
    SCHEDULE_NONE = 2,
  };

  ScheduledTaskInfo();
  ScheduledTaskInfo(const ScheduledTaskInfo& other);
  ScheduledTaskInfo& operator=(const ScheduledTaskInfo& other);
  ~ScheduledTaskInfo();

  base::CommandLine command;
  // The short name; the service adds the product's prefix.
  base::string16 name;
  base::string16 description;
  // 1: under the system account; 0: under the current user.
  uint32_t system = 0;
  // Seconds; 0 is no limit.
  uint32_t execution_time_limit = 0;
  uint32_t schedule_kind = SCHEDULE_NONE;
  // At logon, or at boot for a system task.
  bool logon_trigger = false;
  // Only the newer scheduler can wait for a network.
  bool network_only = false;
};

// The product's scheduled tasks, named by their short names. COM must be
// initialised on the calling thread.
class TaskScheduler {
 public:
  enum State {
    STATE_NO_SUCH_TASK = 0,
    STATE_DISABLED = 1,
    STATE_UNKNOWN = 2,
    STATE_READY = 3,
    STATE_RUNNING = 4,
    STATE_WILL_NOT_RUN = 5,
  };

  // The scheduler of this Windows version. Use it only after Init succeeded.
  static std::unique_ptr<TaskScheduler> Create();

  virtual ~TaskScheduler();

  virtual bool Init() = 0;
  // Replaces any task of the same name.
  virtual bool RegisterTask(const ScheduledTaskInfo& info) = 0;
  // Removes the product's enabled tasks whose program no longer exists.
  virtual void DeleteOrphanedTasks() = 0;
  virtual void DeleteTask(const base::string16& name) = 0;
  // Changes the interval of the task's first daily trigger.
  virtual void SetTaskDaysInterval(const base::string16& name,
                                   int32_t days) = 0;
  virtual void SetTaskEnabled(const base::string16& name, bool enabled) = 0;
  virtual bool RunTask(const base::string16& name,
                       const std::vector<base::string16>& arguments) = 0;
  virtual State GetTaskState(const base::string16& name) = 0;
  // The null time when the task never ran or the time cannot be read.
  virtual base::Time GetTaskLastRunTime(const base::string16& name) = 0;
};

// The product name, " scheduled " and |short_name|.
base::string16 GetScheduledTaskFullName(const base::string16& short_name);

// Whether |full_name| is one that GetScheduledTaskFullName gives for some
// short name (the product's prefix, ASCII case ignored).
bool IsProductScheduledTaskName(const base::string16& full_name);

// "PT<seconds>S".
base::string16 GetTaskExecutionTimeLimitText(uint32_t seconds);

// Milliseconds, or INFINITE for no limit (0) and for limits too long to
// count in milliseconds.
uint32_t GetTaskMaxRunTimeMilliseconds(uint32_t seconds);

// "YYYY-MM-DDThh:mm:ss" of the local date |time|.
base::string16 FormatTaskBoundary(const base::Time::Exploded& time);

// The local date |time|, its milliseconds dropped.
base::Time TimeFromLocalSystemTime(const _SYSTEMTIME& time);

namespace internal {

base::string16 MakeScheduledTaskFullName(const base::string16& product_name,
                                         const base::string16& short_name);
bool IsScheduledTaskNameOf(const base::string16& product_name,
                           const base::string16& full_name);

}  // namespace internal

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TASK_SCHEDULER_H_
