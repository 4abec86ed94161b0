#ifndef DESKTOP_LAUNCHER_INSTALLER_INSTALLER_STATS_H_
#define DESKTOP_LAUNCHER_INSTALLER_INSTALLER_STATS_H_

#include <string>

#include "base/callback.h"
#include "base/strings/string16.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/launcher/installer/stats_dictionary.h"
#include "desktop/launcher/installer/wininet/wininet.h"

namespace vexlo {
namespace installer {

// The statistics record of one front-end run, "installer-ui-stats": when it
// started, the product and the system, the settings, the downloads and the
// result. Threads write into it through StatsDictionary views, all under
// one lock. Owned by the front end's controller, which posts the record to
// the update server at the end of the run.
class InstallerStats {
 public:
  // Sends the record to the development server on this machine instead.
  static const char kLocalServerSwitch[];
  // An upload after an offline installation tries once and retries twice:
  // the client gives up when its retry count passes this maximum.
  static const int32_t kOfflineMaxRetries = 1;

  // Starts the record with the start time, the product and the system.
  // |ui_callback_runner| answers the upload's proxy prompts; it must not be
  // null and must outlive the record.
  explicit InstallerStats(UICallbackRunner* ui_callback_runner);
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

  // Posts the record, with its fetch summary, as JSON to the update server;
  // |online| tells whether the package came from there. True when the post
  // is on its way: |completion| then runs on this thread when it ends,
  // whatever the outcome. False (after running |completion|) when it could
  // not begin.
  bool Upload(const base::Closure& completion, bool online);

  // Where Upload posts the record.
  static base::string16 GetUploadUrl();

  Wininet* client_for_testing() { return &client_; }

 private:
  void WriteInitialRecord();

  base::Lock lock_;
  base::DictionaryValue root_;
  const base::TimeTicks start_;
  StatsDictionary top_level_;
  Wininet client_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_INSTALLER_STATS_H_
