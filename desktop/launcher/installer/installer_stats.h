#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_STATS_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_STATS_H_

#include <string>

#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/launcher/installer/stats_dictionary.h"

namespace vexlo {
namespace installer {

// The statistics record of one front-end run, "installer-ui-stats": when it
// started, the product and the system, the settings, the downloads and the
// result. Threads write into it through StatsDictionary views, all under
// one lock. Owned by the front end's controller.
class InstallerStats {
 public:
  // Starts the record with the start time, the product and the system.
  InstallerStats();
  InstallerStats(const InstallerStats&) = delete;
  InstallerStats& operator=(const InstallerStats&) = delete;
  ~InstallerStats();

  // The view on the whole record.
  StatsDictionary* stats() { return &top_level_; }

  // Sums up the downloads that the package fetches recorded under
  // "fetches": "wininet_retries", the number of download chunks, and
  // "download_ips", the chunks' addresses in order joined by "; ". Writes
  // nothing when there was no fetch.
  void WriteFetchSummary();

  // The record as compact JSON; false when it cannot be written.
  bool SerializeRecord(std::string* json);

 private:
  void WriteInitialRecord();

  base::Lock lock_;
  base::DictionaryValue root_;
  const base::TimeTicks start_;
  StatsDictionary top_level_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_STATS_H_
