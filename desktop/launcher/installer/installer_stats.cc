#include "desktop/launcher/installer/installer_stats.h"

#include <memory>
#include <vector>

#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/package_fetcher/installer_domains.h"
#include "desktop/launcher/installer/wininet/wininet_delegate.h"
#include "desktop/launcher/installer/wininet/wininet_response_writer.h"

namespace vexlo {
namespace installer {

namespace {

const char kUploadPath[] = "netinstaller/feedback";
const char kLocalServer[] = "http://localhost:3000/";

// What the package fetches recorded of their downloads.
struct FetchSummary {
  int chunks = 0;
  std::vector<std::string> addresses;
};

// False when the record holds no fetches.
bool SummarizeFetches(const base::DictionaryValue& root,
                      FetchSummary* summary) {
  const base::ListValue* fetches = nullptr;
  if (!root.GetList("fetches", &fetches))
    return false;
  for (size_t i = 0; i < fetches->GetSize(); ++i) {
    const base::Value* fetch_value = nullptr;
    const base::DictionaryValue* fetch = nullptr;
    const base::ListValue* chunks = nullptr;
    if (!fetches->Get(i, &fetch_value) ||
        !fetch_value->GetAsDictionary(&fetch) ||
        !fetch->GetList("download_chunks", &chunks)) {
      continue;
    }
    summary->chunks += static_cast<int>(chunks->GetSize());
    for (size_t j = 0; j < chunks->GetSize(); ++j) {
      const base::Value* chunk_value = nullptr;
      const base::DictionaryValue* chunk = nullptr;
      std::string address;
      if (chunks->Get(j, &chunk_value) &&
          chunk_value->GetAsDictionary(&chunk) &&
          chunk->GetString("ip", &address)) {
        summary->addresses.push_back(address);
      }
    }
  }
  return true;
}

}  // namespace

const char InstallerStats::kLocalServerSwitch[] = "local-stats-server";

InstallerStats::InstallerStats(UICallbackRunner* ui_callback_runner)
    : start_(base::TimeTicks::Now()),
      top_level_(&root_, &lock_, start_),
      client_(ui_callback_runner, nullptr) {
  WriteInitialRecord();
}

InstallerStats::~InstallerStats() = default;

void InstallerStats::WriteFetchSummary() {
  FetchSummary summary;
  bool fetched = false;
  {
    base::AutoLock hold(lock_);
    fetched = SummarizeFetches(root_, &summary);
  }
  if (!fetched)
    return;
  top_level_.SetInteger("wininet_retries", summary.chunks);
  top_level_.SetString("download_ips",
                       base::JoinString(summary.addresses, "; "));
}

bool InstallerStats::SerializeRecord(std::string* json) {
  base::AutoLock hold(lock_);
  return base::JSONWriter::Write(root_, json);
}

bool InstallerStats::Upload(const base::Closure& completion, bool online) {
  WriteFetchSummary();
  client_.SetAllowedDomains(GetInstallerServerDomains());
  if (!online)
    client_.SetMaxRetries(kOfflineMaxRetries);
  std::string json;
  if (!SerializeRecord(&json)) {
    LOG(ERROR) << "Could not serialize the installer statistics";
    completion.Run();
    return false;
  }
  if (!client_.Start(GetUploadUrl(), json, completion,
                     std::make_unique<DiscardingResponseWriter>(),
                     std::make_unique<WininetDelegate>())) {
    LOG(ERROR) << "Could not start the installer statistics upload";
    completion.Run();
    return false;
  }
  return true;
}

// static
base::string16 InstallerStats::GetUploadUrl() {
  const std::string base_url =
      base::CommandLine::ForCurrentProcess()->HasSwitch(kLocalServerSwitch)
          ? std::string(kLocalServer)
          : ProductConfiguration::GetUrl("autoupdate");
  return base::UTF8ToUTF16(base_url + kUploadPath);
}

void InstallerStats::WriteInitialRecord() {
  top_level_.RecordTime("installer_start_time");
  top_level_.SetCurrentTime("installation_start_time");
  top_level_.SetString("version", ProductInfo::GetVersionString());
  top_level_.SetString("stream", ProductInfo::GetChannel());
  top_level_.SetString("product", ProductInfo::GetProductName());
  top_level_.SetString("os.name", "windows");
  const base::win::OSInfo* os_info = base::win::OSInfo::GetInstance();
  top_level_.SetInteger("os.version.major", os_info->version_number().major);
  top_level_.SetInteger("os.version.minor", os_info->version_number().minor);
  top_level_.SetInteger("os.version.build", os_info->version_number().build);
  top_level_.SetInteger("os.service_pack.major", os_info->service_pack().major);
  top_level_.SetInteger("os.service_pack.minor", os_info->service_pack().minor);
  if (base::IsFeatureEnabled("installer-ui-stats")) {
    top_level_.SetString(
        "command_line_args",
        base::UTF16ToUTF8(
            base::CommandLine::ForCurrentProcess()->GetArgumentsString(false)));
  }
}

}  // namespace installer
}  // namespace vexlo
