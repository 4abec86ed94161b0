#include "desktop/launcher/installer/wininet/chunk_stats_delegate.h"

#include "base/strings/utf_string_conversions.h"

namespace vexlo {
namespace installer {

ChunkStatsDelegate::ChunkStatsDelegate(const StatsDictionary& record,
                                       const std::string& list_key)
    : record_(record), list_key_(list_key) {}

ChunkStatsDelegate::~ChunkStatsDelegate() = default;

void ChunkStatsDelegate::OnChunkStart(int32_t offset) {
  chunk_ =
      std::make_unique<StatsDictionary>(record_.AppendDictionary(list_key_));
  chunk_->SetInteger("chunk_start", offset);
  chunk_->SetInteger("chunk_number", chunk_number_);
  chunk_->RecordTime("chunk_start_time");
}

void ChunkStatsDelegate::OnServerAddress(const std::string& address) {
  if (chunk_)
    chunk_->SetString("ip", address);
}

void ChunkStatsDelegate::OnRedirected(const base::string16& url) {
  if (chunk_)
    chunk_->SetString("redirected_url", base::UTF16ToUTF8(url));
}

void ChunkStatsDelegate::OnResponseHeader(const base::string16& name,
                                          const base::string16& value) {
  if (chunk_) {
    chunk_->SetString("headers." + base::UTF16ToUTF8(name),
                      base::UTF16ToUTF8(value));
  }
}

void ChunkStatsDelegate::OnWininetError(int32_t error) {
  if (chunk_)
    chunk_->SetInteger("wininet_error", error);
}

void ChunkStatsDelegate::OnHttpStatus(int32_t status) {
  if (chunk_)
    chunk_->SetInteger("http_status", status);
}

void ChunkStatsDelegate::OnRetry(int32_t retry_count) {
  if (chunk_)
    chunk_->SetInteger("retry_count", retry_count);
}

void ChunkStatsDelegate::OnChunkEnd(int32_t offset) {
  if (!chunk_)
    return;
  chunk_->SetInteger("chunk_end", offset);
  chunk_->RecordTime("chunk_end_time");
  ++chunk_number_;
}

}  // namespace installer
}  // namespace vexlo
