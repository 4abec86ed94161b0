#include "desktop/launcher/installer/package_fetcher/pref_default_overrides_fetcher.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/package_fetcher/installer_domains.h"
#include "desktop/launcher/installer/wininet/wininet_delegate.h"
#include "desktop/launcher/installer/wininet/wininet_response_writer.h"

namespace vexlo {
namespace installer {

namespace {

const char kOverridesPath[] = "api/prefs/?product=$1&version=$2";
const char kDevelopmentServer[] = "http://localhost:3001/";

// A name beside |target| that no other fetcher uses while this one lives:
// the process id tells the runs apart, the count the fetchers of one
// process.
base::FilePath MakeDownloadFile(const base::FilePath& target) {
  static std::atomic<int> count{0};
  return base::FilePath(target.value() + base::StringPrintfWide(
                                             L".%lu-%d.download",
                                             ::GetCurrentProcessId(), ++count));
}

}  // namespace

const char PrefDefaultOverridesFetcher::kFeatureName[] =
    "installer-pref-default-overrides-support";
const wchar_t PrefDefaultOverridesFetcher::kFileName[] =
    L"pref_default_overrides";
const char PrefDefaultOverridesFetcher::kServerSwitch[] =
    "local-pref-default-overrides-server";

PrefDefaultOverridesFetcher::PrefDefaultOverridesFetcher(
    const base::FilePath& folder,
    UICallbackRunner* ui_callback_runner)
    : target_file_(folder.Append(kFileName)),
      download_file_(MakeDownloadFile(target_file_)),
      client_(ui_callback_runner, nullptr) {}

PrefDefaultOverridesFetcher::~PrefDefaultOverridesFetcher() {
  if (done_.is_null())
    return;
  // The client writes into the unfinished file until it stops.
  client_.Stop();
  DeleteDownload();
}

// static
base::string16 PrefDefaultOverridesFetcher::GetOverridesUrl() {
  const base::CommandLine* command_line =
      base::CommandLine::ForCurrentProcess();
  if (command_line->HasSwitch(kServerSwitch)) {
    const base::string16 value =
        command_line->GetSwitchValueNative(kServerSwitch);
    if (!value.empty())
      return value;
  }
  const std::string base_url = command_line->HasSwitch(kServerSwitch)
                                   ? std::string(kDevelopmentServer)
                                   : ProductConfiguration::GetUrl("autoupdate");
  return base::UTF8ToUTF16(base::ReplaceStringPlaceholders(
      base_url + kOverridesPath,
      {ProductInfo::GetProductName(), ProductInfo::GetVersionString()}));
}

void PrefDefaultOverridesFetcher::Start(const std::string& body,
                                        const base::Closure& done) {
  if (!base::IsFeatureEnabled(kFeatureName)) {
    done.Run();
    return;
  }
  client_.SetAllowedDomains(GetInstallerServerDomains());
  // One counted retry remains: a failed fetch must not hold up the
  // installation.
  client_.SetMaxRetries(0);
  // The installation reads the overrides whole to check them.
  client_.SetMaxBodySize(Wininet::kMaxHeldBodySize);
  auto writer = std::make_unique<FileResponseWriter>();
  // A writer that could not open fails at its first write, and so the fetch.
  download_made_ = writer->Open(download_file_);
  if (!client_.Start(
          GetOverridesUrl(), body,
          base::Bind(&PrefDefaultOverridesFetcher::OnFetchDone, this),
          std::move(writer), std::make_unique<WininetDelegate>())) {
    DropOverrides();
    done.Run();
    return;
  }
  done_ = done;
}

void PrefDefaultOverridesFetcher::OnFetchDone() {
  if (client_.state() != Wininet::STATE_COMPLETED || !PlaceDownload())
    DropOverrides();
  base::Closure done = std::move(done_);
  done_ = base::Closure();
  done.Run();
}

bool PrefDefaultOverridesFetcher::PlaceDownload() {
  if (!download_made_)
    return false;
  if (!base::ReplaceFile(download_file_, target_file_, nullptr)) {
    PLOG(ERROR) << "Could not place the preference overrides";
    return false;
  }
  download_made_ = false;
  return true;
}

void PrefDefaultOverridesFetcher::DropOverrides() {
  DeleteDownload();
  // Overrides that an earlier fetch placed would be installed as this
  // run's answer.
  if (!base::DeleteFile(target_file_, false))
    PLOG(ERROR) << "Could not delete the earlier preference overrides";
}

void PrefDefaultOverridesFetcher::DeleteDownload() {
  if (download_made_)
    base::DeleteFile(download_file_, false);
  download_made_ = false;
}

}  // namespace installer
}  // namespace vexlo
