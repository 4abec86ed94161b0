#include "desktop/launcher/installer/service/task_scheduler.h"

#include <windows.h>

#include <stdio.h>

#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/service/task_scheduler_v1.h"
#include "desktop/launcher/installer/service/task_scheduler_v2.h"

namespace vexlo {
namespace installer {

namespace {

const wchar_t kScheduledInfix[] = L" scheduled ";

}  // namespace

ScheduledTaskInfo::ScheduledTaskInfo()
    : command(base::CommandLine::NO_PROGRAM) {}

ScheduledTaskInfo::ScheduledTaskInfo(const ScheduledTaskInfo& other) = default;

ScheduledTaskInfo& ScheduledTaskInfo::operator=(
    const ScheduledTaskInfo& other) = default;

ScheduledTaskInfo::~ScheduledTaskInfo() = default;

// static
std::unique_ptr<TaskScheduler> TaskScheduler::Create() {
  if (base::win::GetVersion() >= base::win::VERSION_VISTA)
    return std::make_unique<TaskSchedulerV2>();
  return std::make_unique<TaskSchedulerV1>();
}

TaskScheduler::~TaskScheduler() = default;

base::string16 GetScheduledTaskFullName(const base::string16& short_name) {
  return internal::MakeScheduledTaskFullName(
      base::UTF8ToUTF16(ProductInfo::GetProductName()), short_name);
}

bool IsProductScheduledTaskName(const base::string16& full_name) {
  return internal::IsScheduledTaskNameOf(
      base::UTF8ToUTF16(ProductInfo::GetProductName()), full_name);
}

base::string16 GetTaskExecutionTimeLimitText(uint32_t seconds) {
  return L"PT" + std::to_wstring(seconds) + L"S";
}

uint32_t GetTaskMaxRunTimeMilliseconds(uint32_t seconds) {
  if (seconds == 0 || seconds > (INFINITE - 1) / 1000)
    return INFINITE;
  return seconds * 1000;
}

base::string16 FormatTaskBoundary(const base::Time::Exploded& time) {
  wchar_t text[64];
  swprintf(text, sizeof(text) / sizeof(text[0]),
           L"%02d-%02d-%02dT%02d:%02d:%02d", time.year, time.month,
           time.day_of_month, time.hour, time.minute, time.second);
  return text;
}

base::Time TimeFromLocalSystemTime(const SYSTEMTIME& time) {
  base::Time::Exploded exploded = {
      time.wYear, time.wMonth,  time.wDayOfWeek, time.wDay,
      time.wHour, time.wMinute, time.wSecond,    0};
  return base::Time::FromExploded(true, exploded);
}

namespace internal {

base::string16 MakeScheduledTaskFullName(const base::string16& product_name,
                                         const base::string16& short_name) {
  return product_name + kScheduledInfix + short_name;
}

bool IsScheduledTaskNameOf(const base::string16& product_name,
                           const base::string16& full_name) {
  return base::StartsWith16(full_name,
                            MakeScheduledTaskFullName(product_name, L""),
                            base::CompareCase::INSENSITIVE_ASCII);
}

}  // namespace internal

}  // namespace installer
}  // namespace vexlo
