#include "desktop/launcher/installer/stats_dictionary.h"

#include <memory>
#include <utility>

#include "base/strings/stringprintf.h"
#include "base/synchronization/lock.h"
#include "base/values.h"

namespace vexlo {
namespace installer {

StatsDictionary::StatsDictionary(base::DictionaryValue* dictionary,
                                 base::Lock* lock,
                                 base::TimeTicks start)
    : dictionary_(dictionary), lock_(lock), start_(start) {}

void StatsDictionary::SetString(base::StringPiece path,
                                base::StringPiece value) {
  base::AutoLock hold(*lock_);
  dictionary_->SetString(path, value);
}

void StatsDictionary::SetInteger(base::StringPiece path, int32_t value) {
  base::AutoLock hold(*lock_);
  dictionary_->SetInteger(path, value);
}

void StatsDictionary::IncrementInteger(base::StringPiece path) {
  base::AutoLock hold(*lock_);
  int value = 0;
  dictionary_->GetInteger(path, &value);
  dictionary_->SetInteger(path, value + 1);
}

void StatsDictionary::Remove(base::StringPiece path) {
  base::AutoLock hold(*lock_);
  dictionary_->Remove(path, nullptr);
}

void StatsDictionary::RecordTime(base::StringPiece key) {
  const std::string time = FormatStatsTime(base::Time::Now());
  const int64_t elapsed = (base::TimeTicks::Now() - start_).InMilliseconds();
  const std::string prefix = key.as_string();
  base::AutoLock hold(*lock_);
  dictionary_->SetString(prefix + ".time", time);
  dictionary_->SetInteger(prefix + ".elapsed", static_cast<int>(elapsed));
}

void StatsDictionary::SetCurrentTime(base::StringPiece path) {
  SetString(path, FormatStatsTime(base::Time::Now()));
}

StatsDictionary StatsDictionary::AppendDictionary(base::StringPiece path) {
  base::AutoLock hold(*lock_);
  base::ListValue* list = nullptr;
  if (!dictionary_->GetList(path, &list)) {
    list = new base::ListValue;
    dictionary_->Set(path, list);
  }
  base::DictionaryValue* appended = new base::DictionaryValue;
  list->Append(appended);
  return StatsDictionary(appended, lock_, start_);
}

std::string FormatStatsTime(base::Time time) {
  base::Time::Exploded exploded;
  time.Explode(false, &exploded);
  return base::StringPrintf("%02d-%02d-%02d %02d:%02d:%02d.%03d", exploded.year,
                            exploded.month, exploded.day_of_month,
                            exploded.hour, exploded.minute, exploded.second,
                            exploded.millisecond);
}

}  // namespace installer
}  // namespace vexlo
