#include "desktop/launcher/installer/package_fetcher/pref_default_overrides_fetcher.h"

#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/files/file_util.h"
#include "base/strings/string_util.h"
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
      client_(ui_callback_runner, nullptr) {}

PrefDefaultOverridesFetcher::~PrefDefaultOverridesFetcher() = default;

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
  writer->Open(target_file_);
  if (!client_.Start(
          GetOverridesUrl(), body,
          base::Bind(&PrefDefaultOverridesFetcher::OnFetchDone, this),
          std::move(writer), std::make_unique<WininetDelegate>())) {
    // The writer has made the file already; a fetch that never began must
    // not leave it behind as if the server had sent nothing.
    base::DeleteFile(target_file_, false);
    done.Run();
    return;
  }
  done_ = done;
}

void PrefDefaultOverridesFetcher::OnFetchDone() {
  if (client_.state() != Wininet::STATE_COMPLETED)
    base::DeleteFile(target_file_, false);
  base::Closure done = std::move(done_);
  done_ = base::Closure();
  done.Run();
}

}  // namespace installer
}  // namespace vexlo
