#ifndef DESKTOP_LAUNCHER_INSTALLER_STATS_DICTIONARY_H_
#define DESKTOP_LAUNCHER_INSTALLER_STATS_DICTIONARY_H_

#include <stdint.h>

#include <string>

#include "base/strings/string_piece.h"
#include "base/time/time.h"

namespace base {
class DictionaryValue;
class Lock;
}  // namespace base

namespace vexlo {
namespace installer {

// A view on one dictionary of the installer's statistics record, usable from
// any thread: every operation holds the record's lock for its whole
// duration. Paths are dotted and create the dictionaries they pass through.
// Copies are cheap and see the same dictionary; the record must outlive
// them.
class StatsDictionary {
 public:
  StatsDictionary(base::DictionaryValue* dictionary,
                  base::Lock* lock,
                  base::TimeTicks start);

  void SetString(base::StringPiece path, base::StringPiece value);
  void SetInteger(base::StringPiece path, int32_t value);
  // Adds one to the integer at |path|; a missing one counts as 0.
  void IncrementInteger(base::StringPiece path);
  // Removes the value at |path| when there is one.
  void Remove(base::StringPiece path);
  // |key|.time: the current UTC time; |key|.elapsed: whole milliseconds
  // since the record began.
  void RecordTime(base::StringPiece key);
  // The current UTC time as "YYYY-MM-DD hh:mm:ss.mmm".
  void SetCurrentTime(base::StringPiece path);
  // A view on a new, empty dictionary appended to the list at |path|, which
  // is created when missing (and replaces what is there when that is not a
  // list).
  StatsDictionary AppendDictionary(base::StringPiece path);

 private:
  base::DictionaryValue* dictionary_;
  base::Lock* lock_;
  base::TimeTicks start_;
};

// The UTC time |time| as the statistics record writes times.
std::string FormatStatsTime(base::Time time);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_STATS_DICTIONARY_H_
