#ifndef DESKTOP_LAUNCHER_INSTALLER_WININET_CHUNK_STATS_DELEGATE_H_
#define DESKTOP_LAUNCHER_INSTALLER_WININET_CHUNK_STATS_DELEGATE_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "desktop/launcher/installer/stats_dictionary.h"
#include "desktop/launcher/installer/wininet/wininet_delegate.h"

namespace vexlo {
namespace installer {

// Keeps one record per request of a long download (the first one and each
// resume) in a list of the statistics record: where the chunk began and
// ended, when, the server's address, its answer and the retries so far.
class ChunkStatsDelegate : public WininetDelegate {
 public:
  ChunkStatsDelegate(const StatsDictionary& record,
                     const std::string& list_key);
  ~ChunkStatsDelegate() override;

  void OnChunkStart(int32_t offset) override;
  void OnServerAddress(const std::string& address) override;
  void OnRedirected(const base::string16& url) override;
  void OnResponseHeader(const base::string16& name,
                        const base::string16& value) override;
  void OnWininetError(int32_t error) override;
  void OnHttpStatus(int32_t status) override;
  void OnRetry(int32_t retry_count) override;
  void OnChunkEnd(int32_t offset) override;

 private:
  StatsDictionary record_;
  const std::string list_key_;
  // Null until the first chunk starts: what comes before has no record.
  std::unique_ptr<StatsDictionary> chunk_;
  int32_t chunk_number_ = 0;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_WININET_CHUNK_STATS_DELEGATE_H_
