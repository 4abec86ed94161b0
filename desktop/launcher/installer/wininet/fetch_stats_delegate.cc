#include "desktop/launcher/installer/wininet/fetch_stats_delegate.h"

namespace vexlo {
namespace installer {

FetchStatsDelegate::FetchStatsDelegate(const StatsDictionary& record,
                                       const std::string& prefix)
    : record_(record), prefix_(prefix) {}

void FetchStatsDelegate::OnWininetError(int32_t error) {
  record_.SetInteger(prefix_ + "wininet_error", error);
}

void FetchStatsDelegate::OnHttpStatus(int32_t status) {
  record_.SetInteger(prefix_ + "http_status", status);
}

}  // namespace installer
}  // namespace vexlo
