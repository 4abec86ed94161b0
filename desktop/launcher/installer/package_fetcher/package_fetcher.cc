#include "desktop/launcher/installer/package_fetcher/package_fetcher.h"

#include <windows.h>

#include <atomic>
#include <set>
#include <utility>
#include <vector>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/path_service.h"
#include "base/process/app_output_process.h"
#include "base/strings/string_piece.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/time/time.h"
#include "base/values.h"
#include "base/version.h"
#include "base/win/scoped_handle.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/installer.h"
#include "desktop/launcher/installer/package_fetcher/checksum_checker.h"
#include "desktop/launcher/installer/package_fetcher/installer_domains.h"
#include "desktop/launcher/installer/package_fetcher/lzma_util.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher_delegate.h"
#include "desktop/launcher/installer/package_fetcher/payload_reader.h"
#include "desktop/launcher/installer/package_fetcher/signature_checker.h"
#include "desktop/launcher/installer/package_fetcher/tree_deleter.h"
#include "desktop/launcher/installer/package_fetcher/ui_callback_runner.h"
#include "desktop/launcher/installer/service/prefs_task_pool.h"
#include "desktop/launcher/installer/stats_dictionary.h"
#include "desktop/launcher/installer/wininet/chunk_stats_delegate.h"
#include "desktop/launcher/installer/wininet/fetch_stats_delegate.h"
#include "desktop/launcher/installer/wininet/wininet.h"
#include "desktop/launcher/installer/wininet/wininet_response_writer.h"

namespace vexlo {
namespace installer {

namespace {

const char kInternalPackageServerRoot[] = "http://localhost:3002/";
const char kNetInstallerPath[] = "netinstaller/";
const wchar_t kTrackingDataFileName[] = L"server_tracking_data";
const wchar_t kPrefsIncludeFileName[] = L"installer_prefs_include.json";
const wchar_t kFilesListName[] = L"files_list";
const char kWelcomeUrlKey[] = "welcome-url";
// A partner file is tried this many times over before the next try is the
// last one.
const int32_t kPartnerRetries = 3;

const wchar_t kDownloadPrefix[] = L"vexlo_installer_";
// The digits of the time in the download's name.
const size_t kStampLength = 14;
const wchar_t kLockExtension[] = L"lock";
// The partner file being downloaded lies beside the package, under the
// run's name, so that runs side by side never share it.
const wchar_t kPartnerExtension[] = L"partner";
// Runs started in one second take the names of the seconds after it; a
// minute of names is more than any number of runs started at once.
const int kNameTries = 60;
// A browser package is a few hundred megabytes: 2 GiB leaves it room to
// grow several times over, and still bounds what a broken or hostile
// server can fill the volume with.
const uint64_t kMaxPackageSize = 2ull * 1024 * 1024 * 1024;
// What a download leaves free on its volume: the archive and the unpacked
// package follow it there, and the system and the user's programs need
// room too.
const uint64_t kFreeSpaceReserve = 512ull * 1024 * 1024;
const char kChecksumIncorrect[] =
    "Checksum incorrect for the downloaded package";

// A verified package answers at once; one that hangs, or whose answer never
// ends, must not hold the run for good. Its answer then counts as empty.
const int64_t kPackageAnswerLimitSeconds = 60;

base::FilePath MakeDownloadPath(const base::FilePath& temp_folder,
                                base::Time time) {
  base::Time::Exploded now;
  time.Explode(true, &now);
  return temp_folder.Append(base::StringPrintfWide(
      L"vexlo_installer_%02d%02d%02d%02d%02d%02d.exe", now.year, now.month,
      now.day_of_month, now.hour, now.minute, now.second));
}

// Closes a run's lock; with |remove| the lock goes with it, else it stays
// for the next run, which then knows that what is left under its name is
// free to remove.
void ReleaseLock(base::win::ScopedHandle* lock, bool remove) {
  if (remove) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (!SetFileInformationByHandle(lock->Get(), FileDispositionInfo,
                                    &disposition, sizeof(disposition))) {
      PLOG(WARNING) << "Could not remove a download lock";
    }
  }
  lock->Close();
}

// Whether anything that the run of |download_path| makes beside its lock
// is there: the package, its archive, its partner file or the unpacked
// package.
bool AnyRunFileLeft(const base::FilePath& download_path) {
  for (const base::FilePath& path :
       {download_path, download_path.RemoveExtension(),
        download_path.ReplaceExtension(L"7z"),
        download_path.ReplaceExtension(kPartnerExtension)}) {
    if (base::PathExists(path))
      return true;
  }
  return false;
}

// Takes the lock of |download_path| unless another run holds it or left
// something under its name; the last error is then ERROR_FILE_EXISTS.
bool TakeLock(const base::FilePath& download_path,
              base::win::ScopedHandle* lock) {
  const base::FilePath lock_path =
      download_path.ReplaceExtension(kLockExtension);
  lock->Set(CreateFileW(lock_path.value().c_str(), GENERIC_WRITE | DELETE, 0,
                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!lock->IsValid())
    return false;
  if (AnyRunFileLeft(download_path)) {
    ReleaseLock(lock, true);
    SetLastError(ERROR_FILE_EXISTS);
    return false;
  }
  return true;
}

// The download path of a new run: the name of |time|, or of the first
// second after it whose lock this run could take. Runs started in the same
// second so keep to their own files, and every name keeps the form that
// the clean-up of killed runs knows. |lock| stays invalid when no name
// could be locked: the run then touches nothing.
base::FilePath TakeDownloadPath(const base::FilePath& temp_folder,
                                base::Time time,
                                base::win::ScopedHandle* lock) {
  for (int second = 0; second < kNameTries; ++second) {
    const base::FilePath path = MakeDownloadPath(
        temp_folder, time + base::TimeDelta::FromSeconds(second));
    if (TakeLock(path, lock))
      return path;
    if (GetLastError() != ERROR_FILE_EXISTS)
      break;
    LOG(INFO) << "The download name " << path.AsUTF8() << " is taken";
  }
  PLOG(WARNING) << "Could not lock a download name in " << temp_folder.AsUTF8();
  return MakeDownloadPath(temp_folder, time);
}

// Deletes what the run of |download_path| makes; true when nothing of it
// is left.
bool DeleteRunFiles(const base::FilePath& download_path) {
  bool deleted = base::DeleteFile(download_path, false);
  deleted &= base::DeleteFile(download_path.ReplaceExtension(L"7z"), false);
  deleted &= base::DeleteFile(download_path.ReplaceExtension(kPartnerExtension),
                              false);
  deleted &= TreeDeleter(download_path.RemoveExtension()).Delete();
  return deleted;
}

// How many bytes the package may have: no more than a package can need,
// and none that would leave |folder|'s volume nearly full.
uint64_t PackageSizeLimit(const base::FilePath& folder, uint64_t max_size) {
  ULARGE_INTEGER available = {};
  if (!GetDiskFreeSpaceExW(folder.value().c_str(), &available, nullptr,
                           nullptr)) {
    PLOG(WARNING) << "Could not learn the free space of " << folder.AsUTF8();
    return max_size;
  }
  const uint64_t usable = available.QuadPart > kFreeSpaceReserve
                              ? available.QuadPart - kFreeSpaceReserve
                              : 0;
  return std::min(max_size, usable);
}

// The download path of the fetcher whose file or folder |name| is, or
// empty: the fetcher's prefix and stamp, then nothing or one of the
// extensions it uses.
base::FilePath DownloadPathOf(const base::FilePath& folder,
                              const base::string16& name) {
  const base::string16 prefix = kDownloadPrefix;
  const size_t stamp_end = prefix.size() + kStampLength;
  if (name.compare(0, prefix.size(), prefix) != 0 || name.size() < stamp_end)
    return base::FilePath();
  for (size_t i = prefix.size(); i < stamp_end; ++i) {
    if (name[i] < L'0' || name[i] > L'9')
      return base::FilePath();
  }
  const base::string16 rest = name.substr(stamp_end);
  if (!rest.empty() && rest != L".exe" && rest != L".7z" && rest != L".lock" &&
      rest != L".partner") {
    return base::FilePath();
  }
  return folder.Append(name.substr(0, stamp_end) + L".exe");
}

// Deletes what the fetcher of |download_path| left, when its lock shows
// that its process is gone: the lock is there, and is no longer held. The
// lock is held meanwhile, so that no other run takes the name or removes
// the same files, and stays while anything is left.
void RemoveLeftoversOf(const base::FilePath& download_path) {
  const base::FilePath lock_path =
      download_path.ReplaceExtension(kLockExtension);
  base::win::ScopedHandle lock(
      CreateFileW(lock_path.value().c_str(), GENERIC_READ | DELETE, 0, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!lock.IsValid())
    return;
  LOG(INFO) << "Removing what a killed installer left: "
            << download_path.AsUTF8();
  ReleaseLock(&lock, DeleteRunFiles(download_path));
}

void DoNothing() {}

// Makes |folder| new; one that is there already, planted perhaps with files
// or links that the unpacking would write through, is refused.
bool CreateNewFolder(const base::FilePath& folder) {
  if (!CreateDirectoryW(folder.value().c_str(), nullptr)) {
    PLOG(ERROR) << "Could not make a new folder " << folder.AsUTF8();
    return false;
  }
  return true;
}

// Writes |bytes| into a file made new at |path|.
bool WriteNewFile(const base::FilePath& path, const std::string& bytes) {
  base::win::ScopedHandle file(CreateFileW(path.value().c_str(), GENERIC_WRITE,
                                           0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file.IsValid() ||
      !WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                 &written, nullptr) ||
      written != bytes.size()) {
    PLOG(ERROR) << "Could not write " << path.AsUTF8();
    return false;
  }
  return true;
}

// A second handle to what |file| opens, with the same access; null when
// |file| is.
HANDLE DuplicateHandleOf(HANDLE file) {
  HANDLE copy = nullptr;
  if (!file || file == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &copy, 0,
                       FALSE, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

void RunWithClient(const base::Callback<void(Wininet*)>& body,
                   Wininet* client) {
  body.Run(client);
}

}  // namespace

// Carries the worker's calls to the delegate and the UI callback runner over
// to the owner's thread, where both live. The worker clears the pointers at
// teardown, so that what is still queued for the owner does nothing.
class PackageFetcher::PackageFetcherDelegateProxy
    : public base::RefCountedThreadSafe<PackageFetcherDelegateProxy>,
      public PackageFetcherDelegate,
      public UICallbackRunner {
 public:
  PackageFetcherDelegateProxy(
      base::scoped_refptr<base::SingleThreadTaskRunner> owner,
      PackageFetcherDelegate* delegate,
      UICallbackRunner* ui_callback_runner)
      : owner_(std::move(owner)),
        delegate_(delegate),
        ui_callback_runner_(ui_callback_runner) {}

  void Clear() {
    delegate_ = nullptr;
    ui_callback_runner_ = nullptr;
  }

  void SetTotalProgress(int32_t total) override {
    owner_->PostTask(
        LOCATION_FROM_HERE("vexlo::installer::PackageFetcher::"
                           "PackageFetcherDelegateProxy::SetTotalProgress"),
        base::Bind(&PackageFetcherDelegateProxy::DoSetTotalProgress, Self(),
                   total));
  }
  void SetCurrentProgress(int32_t current) override {
    owner_->PostTask(
        LOCATION_FROM_HERE("vexlo::installer::PackageFetcher::"
                           "PackageFetcherDelegateProxy::SetCurrentProgress"),
        base::Bind(&PackageFetcherDelegateProxy::DoSetCurrentProgress, Self(),
                   current));
  }
  void NotifyStalled() override {
    owner_->PostTask(
        LOCATION_FROM_HERE("vexlo::installer::PackageFetcher::"
                           "PackageFetcherDelegateProxy::NotifyStalled"),
        base::Bind(&PackageFetcherDelegateProxy::DoNotifyStalled, Self()));
  }
  void NotifyStatusChanged(PackageFetcher::Status status) override {
    owner_->PostTask(
        LOCATION_FROM_HERE("vexlo::installer::PackageFetcher::"
                           "PackageFetcherDelegateProxy::NotifyStatusChanged"),
        base::Bind(&PackageFetcherDelegateProxy::DoNotifyStatusChanged, Self(),
                   status));
  }
  void NotifyTrackingDataObtained(const std::string& tracking_data) override {
    owner_->PostTask(
        LOCATION_FROM_HERE(
            "vexlo::installer::PackageFetcher::PackageFetcherDelegateProxy::"
            "NotifyTrackingDataObtained"),
        base::Bind(&PackageFetcherDelegateProxy::DoNotifyTrackingDataObtained,
                   Self(), tracking_data));
  }
  void RunUICallbackAndPostReply(
      const UICallback& ui_callback,
      const base::scoped_refptr<base::SingleThreadTaskRunner>&
          reply_task_runner,
      const Reply& reply) override {
    owner_->PostTask(
        LOCATION_FROM_HERE(
            "vexlo::installer::PackageFetcher::PackageFetcherDelegateProxy::"
            "RunUICallbackAndPostReply"),
        base::Bind(&PackageFetcherDelegateProxy::DoRunUICallbackAndPostReply,
                   Self(), ui_callback, reply_task_runner, reply));
  }

 private:
  friend class base::RefCountedThreadSafe<PackageFetcherDelegateProxy>;
  ~PackageFetcherDelegateProxy() override = default;

  base::scoped_refptr<PackageFetcherDelegateProxy> Self() {
    return base::scoped_refptr<PackageFetcherDelegateProxy>(this);
  }

  void DoSetTotalProgress(int32_t total) {
    if (PackageFetcherDelegate* delegate = delegate_.load())
      delegate->SetTotalProgress(total);
  }
  void DoSetCurrentProgress(int32_t current) {
    if (PackageFetcherDelegate* delegate = delegate_.load())
      delegate->SetCurrentProgress(current);
  }
  void DoNotifyStalled() {
    if (PackageFetcherDelegate* delegate = delegate_.load())
      delegate->NotifyStalled();
  }
  void DoNotifyStatusChanged(PackageFetcher::Status status) {
    if (PackageFetcherDelegate* delegate = delegate_.load())
      delegate->NotifyStatusChanged(status);
  }
  void DoNotifyTrackingDataObtained(const std::string& tracking_data) {
    if (PackageFetcherDelegate* delegate = delegate_.load())
      delegate->NotifyTrackingDataObtained(tracking_data);
  }
  void DoRunUICallbackAndPostReply(
      const UICallback& ui_callback,
      const base::scoped_refptr<base::SingleThreadTaskRunner>&
          reply_task_runner,
      const Reply& reply) {
    if (UICallbackRunner* runner = ui_callback_runner_.load())
      runner->RunUICallbackAndPostReply(ui_callback, reply_task_runner, reply);
  }

  const base::scoped_refptr<base::SingleThreadTaskRunner> owner_;
  std::atomic<PackageFetcherDelegate*> delegate_;
  std::atomic<UICallbackRunner*> ui_callback_runner_;
};

// One fetch attempt after another, on the worker thread.
class PackageFetcher::ThreadedFetcher {
 public:
  // |run_lock| is the lock of |download_path|, or null when none could be
  // taken; the fetcher owns it.
  ThreadedFetcher(base::scoped_refptr<PackageFetcherDelegateProxy> proxy,
                  const base::FilePath& temp_folder,
                  const base::FilePath& download_path,
                  HANDLE run_lock,
                  const StatsDictionary& stats);
  ThreadedFetcher(const ThreadedFetcher&) = delete;
  ThreadedFetcher& operator=(const ThreadedFetcher&) = delete;
  ~ThreadedFetcher();

  // Removes what the fetchers of killed runs left in the temporary folder.
  void RemoveLeftovers();
  void Start();

  void set_own_executable(const base::FilePath& path) {
    own_executable_ = path;
  }
  void set_step_callback(const StepCallback& callback) {
    step_callback_ = callback;
  }
  void set_max_package_size(uint64_t size) { max_package_size_ = size; }
  void set_answer_limit(base::TimeDelta limit) { answer_limit_ = limit; }
  Wininet* client() { return &client_; }

 private:
  void FetchDownloadUrl();
  void OnDownloadUrlFetched();
  void ExtractArchive(const std::string& checksum);
  const char* CheckPackage(PayloadReader* package, const std::string& checksum);
  const char* WriteOutPackage(PayloadReader* package, Status* status);
  void StartPackage(const char* switch_name, base::AppOutputProcess* run);
  const char* JudgeAnswers(base::AppOutputProcess* version_run,
                           base::AppOutputProcess* stream_run);
  bool WriteArchive(const PayloadReader& reader);
  void UnpackArchive();
  void OnUnpacked(bool success);
  void FinishUnpacking(bool success);
  void StartPartnerContent();
  void DownloadPartnerContent();
  void OnPartnerContentDownloaded(const std::string& file_name,
                                  const std::string& checksum);
  void PlacePartnerContent(const std::string& file_name);

  void Fail(Status status, const char* message);
  void Report(Status status);
  void ReportPackageReady();
  void NotifyStatus(Status status) { proxy_->NotifyStatusChanged(status); }

  bool HoldPackage(const base::FilePath& path);
  void ReleasePackage() { package_hold_.Close(); }
  // Closing the archive's only handle deletes it.
  void ReleaseArchive() { archive_hold_.Close(); }
  void ReachedStep(const char* step);

  const base::scoped_refptr<PackageFetcherDelegateProxy> proxy_;
  int32_t try_count_ = 0;
  const base::FilePath temp_folder_;
  const base::FilePath download_path_;
  const base::FilePath package_folder_;
  const base::FilePath archive_path_;
  const base::FilePath partner_temporary_;
  base::FilePath own_executable_;
  uint64_t max_package_size_ = kMaxPackageSize;
  base::TimeDelta answer_limit_ =
      base::TimeDelta::FromSeconds(kPackageAnswerLimitSeconds);
  std::unique_ptr<PayloadReader> payload_reader_;
  Wininet client_;
  std::string reply_text_;
  std::unique_ptr<base::Value> reply_;
  const base::ListValue* partner_content_ = nullptr;
  size_t partner_index_ = 0;
  int32_t partner_tries_ = 0;
  std::vector<std::string> placed_partner_files_;
  StatsDictionary stats_;
  std::unique_ptr<StatsDictionary> attempt_stats_;
  std::unique_ptr<StatsDictionary> partner_stats_;
  std::unique_ptr<StatsDictionary> partner_try_stats_;
  // Kept until its write behind has landed.
  base::scoped_refptr<JsonPrefStore> welcome_store_;
  // Every step of a package's road opens it again by its path, in a folder
  // that any process of the user may write, while the package may then run
  // with more rights than that process has. From before the checksum until
  // the unpacking has ended this handle keeps the file as it was checked:
  // it shares reading only, so the checks, the package's runs and the
  // extraction still open it beside it, but nobody can write, rename or
  // delete it.
  base::win::ScopedHandle package_hold_;
  // The archive written out of the package lies in the same folder, as
  // open to others: it is made new, written and read through this one
  // handle, which shares reading only and deletes the file when it closes.
  base::win::ScopedHandle archive_hold_;
  // Held, unshared, for the fetcher's life: the next run that finds this
  // lock no longer held knows that this one was killed, and removes what
  // it left. A fetcher without it deletes nothing: the name is another
  // run's.
  base::win::ScopedHandle run_lock_;
  StepCallback step_callback_;
  base::WeakPtrFactory<ThreadedFetcher> weak_factory_{this};
};

PackageFetcher::ThreadedFetcher::ThreadedFetcher(
    base::scoped_refptr<PackageFetcherDelegateProxy> proxy,
    const base::FilePath& temp_folder,
    const base::FilePath& download_path,
    HANDLE run_lock,
    const StatsDictionary& stats)
    : proxy_(std::move(proxy)),
      temp_folder_(temp_folder),
      download_path_(download_path),
      package_folder_(download_path.RemoveExtension()),
      archive_path_(download_path.ReplaceExtension(L"7z")),
      partner_temporary_(download_path.ReplaceExtension(kPartnerExtension)),
      client_(proxy_.get(), proxy_.get()),
      stats_(stats),
      run_lock_(run_lock) {
  base::PathService::Get(base::FILE_EXE, &own_executable_);
}

PackageFetcher::ThreadedFetcher::~ThreadedFetcher() {
  LOG(INFO) << "Terminating the package fetcher";
  proxy_->Clear();
  if (client_.state() != Wininet::STATE_FAILED)
    client_.Stop();
  ReleasePackage();
  ReleaseArchive();
  // Whatever this fetcher still writes through is closed by now; what
  // another process holds open stays, and so does the lock that lets the
  // next run remove it.
  if (run_lock_.IsValid())
    ReleaseLock(&run_lock_, DeleteRunFiles(download_path_));
}

void PackageFetcher::ThreadedFetcher::RemoveLeftovers() {
  std::set<base::string16> others;
  base::FileEnumerator entries(
      temp_folder_, false,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES,
      base::string16(kDownloadPrefix) + L"*");
  for (base::FilePath entry = entries.Next(); !entry.empty();
       entry = entries.Next()) {
    const base::FilePath of =
        DownloadPathOf(temp_folder_, entry.BaseName().value());
    if (!of.empty() && of.value() != download_path_.value())
      others.insert(of.value());
  }
  for (const base::string16& other : others)
    RemoveLeftoversOf(base::FilePath(other));
}

void PackageFetcher::ThreadedFetcher::Start() {
  attempt_stats_ =
      std::make_unique<StatsDictionary>(stats_.AppendDictionary("fetches"));
  attempt_stats_->SetInteger("try_number", try_count_);
  attempt_stats_->RecordTime("start_time");
  partner_content_ = nullptr;
  reply_.reset();
  NotifyStatus(STARTED);

  ReleasePackage();
  ReleaseArchive();
  if (!run_lock_.IsValid() || !base::DeleteFile(download_path_, false) ||
      !base::DeleteFile(package_folder_, true)) {
    Fail(INITIALIZATION_FAILED,
         "Unable to obtain or clean the download/extraction path");
    return;
  }
  NotifyStatus(FOLDER_READY);

  // A package inside this executable is held as a downloaded one is, from
  // the first read; the hold is dropped again when it turns out a blob.
  const bool held = HoldPackage(own_executable_);
  payload_reader_ = std::make_unique<PayloadReader>(own_executable_);
  const bool read = payload_reader_->Init();
  if (read && payload_reader_->IsFullPackage()) {
    if (!held) {
      Fail(UNPACKING_FAILED, "Could not hold the package");
      return;
    }
    ReachedStep("payload");
    NotifyStatus(EXTRACTING);
    // A failure here fails the unpacking.
    WriteArchive(*payload_reader_);
    ReachedStep("archive");
    base::ThreadTaskRunnerHandle::Get()->PostTask(
        LOCATION_FROM_HERE(
            "vexlo::installer::PackageFetcher::ThreadedFetcher::Start"),
        base::Bind(&ThreadedFetcher::UnpackArchive,
                   weak_factory_.GetWeakPtr()));
    return;
  }
  ReleasePackage();
  if (!read) {
    LOG(WARNING) << "Failed reading payload";
    if (payload_reader_->IsCorrupted()) {
      Fail(UNPACKING_FAILED, "Corrupted payload");
      return;
    }
    const base::CommandLine* command_line =
        base::CommandLine::ForCurrentProcess();
    if (command_line->HasSwitch(kTrackingBlobSwitch)) {
      payload_reader_->SetOverridePayload(
          command_line->GetSwitchValueASCII(kTrackingBlobSwitch));
    }
  }
  const std::string tracking_data = payload_reader_->GetPayload();
  if (!tracking_data.empty())
    proxy_->NotifyTrackingDataObtained(tracking_data);
  base::ThreadTaskRunnerHandle::Get()->PostTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::PackageFetcher::ThreadedFetcher::Start"),
      base::Bind(&ThreadedFetcher::FetchDownloadUrl,
                 weak_factory_.GetWeakPtr()));
}

void PackageFetcher::ThreadedFetcher::FetchDownloadUrl() {
  LOG(INFO) << "Preparing to fetch the download URL";
  NotifyStatus(FETCHING_DOWNLOAD_URL);
  client_.SetAllowedDomains(GetInstallerServerDomains());
  // The reply is held in memory and parsed whole.
  client_.SetMaxBodySize(Wininet::kMaxHeldBodySize);
  const base::string16 url = GetNetInstallerUrl();
  LOG(INFO) << "Fetching the download URL";
  attempt_stats_->RecordTime("fetch_download_url_start_time");
  reply_text_.clear();
  if (!client_.Start(url, payload_reader_->GetPayload(),
                     base::Bind(&ThreadedFetcher::OnDownloadUrlFetched,
                                weak_factory_.GetWeakPtr()),
                     std::make_unique<StringResponseWriter>(&reply_text_),
                     std::make_unique<FetchStatsDelegate>(
                         *attempt_stats_, "fetch_download_url_"))) {
    Fail(DOWNLOAD_FAILED, "Failed fetching the download URL");
  }
}

void PackageFetcher::ThreadedFetcher::OnDownloadUrlFetched() {
  if (client_.state() != Wininet::STATE_COMPLETED) {
    Fail(DOWNLOAD_FAILED, "Failed fetching the download URL");
    return;
  }
  NotifyStatus(DOWNLOADING_PACKAGE);
  VLOG(1) << "Parsing the fetched URL";
  reply_ = base::JSONReader::Read(reply_text_);
  const base::DictionaryValue* reply = nullptr;
  std::string url;
  std::string checksum;
  if (!reply_ || !reply_->GetAsDictionary(&reply) ||
      !reply->GetString("installer", &url) ||
      !reply->GetString("installer_checksum", &checksum)) {
    Fail(DOWNLOAD_FAILED, "Failed parsing json reply");
    return;
  }
  attempt_stats_->SetString("download_url", url);
  stats_.SetString("download_url", url);
  LOG(INFO) << "Preparing to fetch the installer";

  auto writer = std::make_unique<FileResponseWriter>();
  if (!writer->Open(download_path_)) {
    Fail(DOWNLOAD_FAILED,
         "Failed initializing the file to use as download destination");
    return;
  }
  const base::ListValue* partner_content = nullptr;
  if (reply->GetList("partner_content", &partner_content))
    partner_content_ = partner_content;
  attempt_stats_->RecordTime("download_start_time");
  stats_.SetCurrentTime("installation_start_download_time");

  client_.SetAllowedDomains(std::vector<base::string16>());
  client_.SetMaxBodySize(PackageSizeLimit(temp_folder_, max_package_size_));
  if (!client_.Start(base::UTF8ToUTF16(url), std::string(),
                     base::Bind(&ThreadedFetcher::ExtractArchive,
                                weak_factory_.GetWeakPtr(), checksum),
                     std::move(writer),
                     std::make_unique<ChunkStatsDelegate>(*attempt_stats_,
                                                          "download_chunks"))) {
    Fail(DOWNLOAD_FAILED, "Failed downloading the Vexlo package");
  }
}

void PackageFetcher::ThreadedFetcher::ExtractArchive(
    const std::string& checksum) {
  attempt_stats_->RecordTime("download_end_time");
  if (client_.state() != Wininet::STATE_COMPLETED) {
    // What came may be gigabytes, and is of no use to a restart.
    base::DeleteFile(download_path_, false);
    Fail(DOWNLOAD_FAILED, "Failed downloading the Vexlo package");
    return;
  }
  ReachedStep("downloaded");
  if (!HoldPackage(download_path_)) {
    Fail(DOWNLOAD_FAILED, "Could not hold the downloaded package");
    return;
  }
  ReachedStep("hold");
  Status status = DOWNLOAD_FAILED;
  const char* failure = nullptr;
  {
    // Mapped once, under the hold: the checksum reads the very view that
    // the payload is then written out of. The mapping is gone before
    // anyone hears of the result.
    PayloadReader package(download_path_);
    failure = CheckPackage(&package, checksum);
    if (!failure)
      failure = WriteOutPackage(&package, &status);
  }
  if (failure) {
    Fail(status, failure);
    return;
  }
  ReachedStep("archive");
  base::ThreadTaskRunnerHandle::Get()->PostTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::PackageFetcher::ThreadedFetcher::ExtractArchive"),
      base::Bind(&ThreadedFetcher::UnpackArchive, weak_factory_.GetWeakPtr()));
}

// Checksum, signer, internal version and stream, in that order: the message
// of the first that fails, or null when the package passed them all.
const char* PackageFetcher::ThreadedFetcher::CheckPackage(
    PayloadReader* package,
    const std::string& checksum) {
  if (!package->Map()) {
    LOG(ERROR) << "Unable to read " << download_path_.AsUTF8();
    return kChecksumIncorrect;
  }
  if (!ChecksumMatches(package->file().data(), package->file().length(),
                       checksum)) {
    return kChecksumIncorrect;
  }
  ReachedStep("checksum");

  bool own_signed = true;
  if ((!IsFileSigned(own_executable_, &own_signed) || own_signed) &&
      !VerifySigner(download_path_)) {
    return "Signature incorrect for the downloaded package";
  }
  ReachedStep("signer");

  // Both questions go to the package at once: each is a process start, and
  // neither waits on the other. The answers are judged in the order they
  // were asked, so the first failure, its statistics and its message are
  // what one run after the other gave.
  base::AppOutputProcess version_run;
  base::AppOutputProcess stream_run;
  StartPackage("internal-version", &version_run);
  StartPackage("stream", &stream_run);
  const char* failure = JudgeAnswers(&version_run, &stream_run);
  // The package may not be deleted while a run of it goes on.
  std::string unjudged;
  stream_run.Finish(&unjudged, answer_limit_);
  return failure;
}

// The package's internal version, then its stream: the message of the
// first that is refused, or null when both are accepted.
const char* PackageFetcher::ThreadedFetcher::JudgeAnswers(
    base::AppOutputProcess* version_run,
    base::AppOutputProcess* stream_run) {
  std::string internal_version;
  version_run->Finish(&internal_version, answer_limit_);
  attempt_stats_->SetString("internal_version", internal_version);
  const base::Version version(internal_version);
  if (!version.IsValid() ||
      version.CompareTo(base::Version(ProductInfo::GetInternalVersion())) < 0) {
    return "Downloaded package is older than the installer";
  }
  ReachedStep("internal_version");

  std::string stream;
  stream_run->Finish(&stream, answer_limit_);
  attempt_stats_->SetString("stream", stream);
  if (stream != ProductInfo::GetChannel())
    return "Downloaded package is of a different stream than the installer";
  ReachedStep("stream");
  return nullptr;
}

// The archive out of a package that passed its checks: the message of the
// failure, with |status| set to its status, or null once it is written.
const char* PackageFetcher::ThreadedFetcher::WriteOutPackage(
    PayloadReader* package,
    Status* status) {
  attempt_stats_->RecordTime("extract_start_time");
  NotifyStatus(EXTRACTING);
  *status = DOWNLOAD_FAILED;
  if (!package->Init() || !package->IsFullPackage())
    return "Could not find 7z payload in full package";
  ReachedStep("payload");
  if (!WriteArchive(*package)) {
    *status = UNPACKING_FAILED;
    return "Could not write out 7z archive from full package";
  }
  return nullptr;
}

void PackageFetcher::ThreadedFetcher::StartPackage(
    const char* switch_name,
    base::AppOutputProcess* run) {
  base::CommandLine command_line(download_path_);
  command_line.AppendSwitch(switch_name);
  // Held only while the run's pipe is inheritable: once started, no handle
  // of it is left for another child to inherit.
  base::AutoLock hold(GetProcessLaunchLock());
  run->Start(command_line.GetCommandLineString(false), false);
}

bool PackageFetcher::ThreadedFetcher::WriteArchive(
    const PayloadReader& reader) {
  archive_hold_.Set(CreateFileW(
      archive_path_.value().c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
      FILE_SHARE_READ, nullptr, CREATE_NEW,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!archive_hold_.IsValid()) {
    PLOG(ERROR) << "Could not create " << archive_path_.AsUTF8();
    return false;
  }
  return reader.WritePayload(archive_hold_.Get());
}

void PackageFetcher::ThreadedFetcher::UnpackArchive() {
  LOG(INFO) << "Unpacking files from archive";
  attempt_stats_->RecordTime("unpack_start_time");
  stats_.SetCurrentTime("installation_start_unpacking_time");
  bool success = false;
  const bool folder_made = CreateNewFolder(package_folder_);
  if (folder_made) {
    LzmaExtractor extractor;
    extractor.set_delegate(proxy_.get());
    base::win::ScopedHandle archive(DuplicateHandleOf(archive_hold_.Get()));
    success = extractor.Open(&archive) == 0 &&
              extractor.Extract(package_folder_) == 0;
  }
  ReachedStep("unpack");
  const std::string tracking_data = payload_reader_->GetPayload();
  if (folder_made && !payload_reader_->IsFullPackage() &&
      !tracking_data.empty()) {
    WriteNewFile(package_folder_.Append(kTrackingDataFileName), tracking_data);
  }
  base::ThreadTaskRunnerHandle::Get()->PostTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::PackageFetcher::ThreadedFetcher::UnpackArchive"),
      base::Bind(&ThreadedFetcher::OnUnpacked, weak_factory_.GetWeakPtr(),
                 success));
  ReleaseArchive();
}

void PackageFetcher::ThreadedFetcher::OnUnpacked(bool success) {
  ReleasePackage();
  attempt_stats_->RecordTime("unpack_end_time");
  stats_.SetCurrentTime("installation_unpack_complete_time");

  const base::DictionaryValue* reply = nullptr;
  std::string welcome_url;
  if (!reply_ || !reply_->GetAsDictionary(&reply) ||
      !reply->GetString("url_welcome", &welcome_url)) {
    FinishUnpacking(success);
    return;
  }
  // The store writes behind on the preferences pool; the backend reads the
  // file once the package is ready, so the write must have landed by then.
  const base::FilePath prefs_file =
      package_folder_.Append(kPrefsIncludeFileName);
  PrefsTaskPool* pool = PrefsTaskPool::GetInstance();
  welcome_store_ = pool->OpenPrefStore(prefs_file);
  welcome_store_->SetValue(kWelcomeUrlKey,
                           std::make_unique<base::StringValue>(welcome_url), 0);
  welcome_store_->CommitPendingWrite();
  pool->GetTaskRunnerForFile(prefs_file)
      ->PostTaskAndReply(
          LOCATION_FROM_HERE(
              "vexlo::installer::PackageFetcher::ThreadedFetcher::OnUnpacked"),
          base::Bind(&DoNothing),
          base::Bind(&ThreadedFetcher::FinishUnpacking,
                     weak_factory_.GetWeakPtr(), success));
}

void PackageFetcher::ThreadedFetcher::FinishUnpacking(bool success) {
  welcome_store_ = nullptr;
  if (!success) {
    Fail(UNPACKING_FAILED, "Archive unpacking failed");
    return;
  }
  if (!partner_content_ || partner_content_->empty()) {
    ReportPackageReady();
    return;
  }
  LOG(INFO) << "We have extra partner content";
  partner_index_ = 0;
  partner_tries_ = 0;
  placed_partner_files_.clear();
  StartPartnerContent();
  NotifyStatus(DOWNLOADING_PARTNER_CONTENT);
  DownloadPartnerContent();
}

void PackageFetcher::ThreadedFetcher::StartPartnerContent() {
  partner_stats_ = std::make_unique<StatsDictionary>(
      attempt_stats_->AppendDictionary("addtional_files"));
}

void PackageFetcher::ThreadedFetcher::DownloadPartnerContent() {
  LOG(INFO) << "Preparing to download a partner content file";
  const base::Value* item_value = nullptr;
  const base::DictionaryValue* item = nullptr;
  std::string href;
  std::string file_name;
  std::string checksum;
  if (!partner_content_->Get(partner_index_, &item_value) ||
      !item_value->GetAsDictionary(&item) || !item->GetString("href", &href) ||
      !item->GetString("filename", &file_name) ||
      !item->GetStringASCII("checksum", &checksum) ||
      !IsPlainFileName(file_name)) {
    LOG(ERROR) << "Failed parsing partner content part of JSON reply";
    ReportPackageReady();
    return;
  }
  partner_stats_->SetString("download_url", href);
  partner_stats_->SetInteger("download_succeeded", 0);
  partner_try_stats_ = std::make_unique<StatsDictionary>(
      partner_stats_->AppendDictionary("download_tries"));
  partner_try_stats_->RecordTime("download_start_time");
  partner_try_stats_->SetInteger("try_number", partner_tries_);

  auto writer = std::make_unique<FileResponseWriter>();
  if (!writer->Open(partner_temporary_)) {
    LOG(ERROR) << "Failed initializing the file to use as download destination";
    ReportPackageReady();
    return;
  }
  if (!client_.Start(
          base::UTF8ToUTF16(href), std::string(),
          base::Bind(&ThreadedFetcher::OnPartnerContentDownloaded,
                     weak_factory_.GetWeakPtr(), file_name, checksum),
          std::move(writer),
          std::make_unique<FetchStatsDelegate>(*partner_try_stats_,
                                               std::string()))) {
    LOG(ERROR) << "Failed downloading partner content";
    // The writer made the file before the client refused the request.
    base::DeleteFile(partner_temporary_, false);
    ReportPackageReady();
  }
}

void PackageFetcher::ThreadedFetcher::OnPartnerContentDownloaded(
    const std::string& file_name,
    const std::string& checksum) {
  partner_try_stats_->RecordTime("download_end_time");
  if (client_.state() == Wininet::STATE_COMPLETED &&
      ChecksumMatches(partner_temporary_, checksum)) {
    PlacePartnerContent(file_name);
    return;
  }
  LOG(ERROR) << "Failed downloading partner content";
  base::DeleteFile(partner_temporary_, false);
  if (partner_tries_++ >= kPartnerRetries || client_.retry_count() != 0) {
    LOG(INFO) << "Giving up on partner content download";
    NotifyStatus(PACKAGE_READY);
    return;
  }
  LOG(INFO) << "Retrying partner content download";
  DownloadPartnerContent();
}

void PackageFetcher::ThreadedFetcher::PlacePartnerContent(
    const std::string& file_name) {
  // The package's own files passed the signer check; a partner file never
  // takes the place of one of them, nor of an earlier partner file, whatever
  // case its name is in: a rename that does not replace is refused by the
  // file system for a name that is taken.
  if (!MoveFileExW(
          partner_temporary_.value().c_str(),
          package_folder_.Append(base::UTF8ToUTF16(file_name)).value().c_str(),
          0)) {
    PLOG(ERROR) << "Failed moving partner content into place";
    base::DeleteFile(partner_temporary_, false);
    ReportPackageReady();
    return;
  }
  partner_stats_->SetInteger("download_succeeded", 1);
  partner_tries_ = 0;
  placed_partner_files_.push_back(file_name);
  if (++partner_index_ < partner_content_->GetSize()) {
    StartPartnerContent();
    DownloadPartnerContent();
    return;
  }
  std::string names;
  for (const std::string& name : placed_partner_files_)
    names += name + "\r\n";
  base::AppendToFile(package_folder_.Append(kFilesListName), names.data(),
                     static_cast<int>(names.size()));
  ReportPackageReady();
}

void PackageFetcher::ThreadedFetcher::Fail(Status status, const char* message) {
  LOG(ERROR) << message;
  attempt_stats_->SetString("failure_reason", message);
  Report(status);
}

void PackageFetcher::ThreadedFetcher::Report(Status status) {
  ReleasePackage();
  ++try_count_;
  stats_.SetInteger("fetcher_restarts", try_count_);
  attempt_stats_->SetString("result", GetStatusName(status));
  NotifyStatus(status);
}

void PackageFetcher::ThreadedFetcher::ReportPackageReady() {
  attempt_stats_->RecordTime("package_ready_time");
  stats_.SetCurrentTime("package_ready_time");
  attempt_stats_->SetString("result", GetStatusName(PACKAGE_READY));
  NotifyStatus(PACKAGE_READY);
}

bool PackageFetcher::ThreadedFetcher::HoldPackage(const base::FilePath& path) {
  package_hold_.Set(CreateFileW(path.value().c_str(), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!package_hold_.IsValid()) {
    PLOG(ERROR) << "Could not hold " << path.AsUTF8();
    return false;
  }
  return true;
}

void PackageFetcher::ThreadedFetcher::ReachedStep(const char* step) {
  if (!step_callback_.is_null())
    step_callback_.Run(step);
}

// static
const char PackageFetcher::kPackageServerSwitch[] = "internal-package-server";
// static
const char PackageFetcher::kTrackingBlobSwitch[] = "server-tracking-blob";

// static
const char* PackageFetcher::GetStatusName(Status status) {
  switch (status) {
    case PACKAGE_READY:
      return "package_ready";
    case INITIALIZATION_FAILED:
      return "initialization_failed";
    case DOWNLOAD_FAILED:
      return "download_failed";
    case UNPACKING_FAILED:
      return "unpacking_failed";
    default:
      return "invalid";
  }
}

// static
base::string16 PackageFetcher::GetNetInstallerUrl() {
  const base::CommandLine* command_line =
      base::CommandLine::ForCurrentProcess();
  if (command_line->HasSwitch(kPackageServerSwitch)) {
    const base::string16 value =
        command_line->GetSwitchValueNative(kPackageServerSwitch);
    if (!value.empty())
      return value;
  }
  const std::string base_url = command_line->HasSwitch(kPackageServerSwitch)
                                   ? std::string(kInternalPackageServerRoot)
                                   : ProductConfiguration::GetUrl("autoupdate");
  return base::UTF8ToUTF16(base_url + kNetInstallerPath +
                           ProductInfo::GetChannel());
}

// static
bool PackageFetcher::IsPlainFileName(const std::string& name) {
  // Windows drops trailing dots and spaces from a name, so such a name
  // stands for another one; "." and ".." are among them.
  if (name.empty() || name.back() == '.' || name.back() == ' ')
    return false;
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F ||
        base::StringPiece("\\/:*?\"<>|").find(c) != base::StringPiece::npos) {
      return false;
    }
  }
  // Malformed UTF-8 comes back as U+FFFD; device names are refused there.
  const base::string16 wide = base::UTF8ToUTF16(name);
  base::string16 relative;
  if (wide.find(L'\uFFFD') != base::string16::npos ||
      !LzmaExtractor::GetSafeRelativePath(wide, &relative) ||
      relative != wide) {
    return false;
  }
  // The files the fetcher itself writes into the package folder.
  for (const wchar_t* own :
       {kTrackingDataFileName, kPrefsIncludeFileName, kFilesListName}) {
    if (base::LowerCaseEqualsASCII(wide, base::UTF16ToASCII(own)))
      return false;
  }
  return true;
}

// static
void PackageFetcher::RemoveAbandonedLocks(const base::FilePath& folder) {
  std::vector<base::FilePath> locks;
  base::FileEnumerator found(
      folder, false, base::FileEnumerator::FILES,
      base::string16(kDownloadPrefix) + L"*." + kLockExtension);
  for (base::FilePath lock = found.Next(); !lock.empty(); lock = found.Next())
    locks.push_back(lock);
  for (const base::FilePath& lock : locks) {
    // A held lock refuses deletion: its run goes on.
    if (!AnyRunFileLeft(lock.ReplaceExtension(L"exe")) &&
        ::DeleteFileW(lock.value().c_str())) {
      LOG(INFO) << "Removed the lock that a killed installer left: "
                << lock.AsUTF8();
    }
  }
}

PackageFetcher::PackageFetcher(const base::FilePath& temp_folder,
                               const StatsDictionary& stats,
                               UICallbackRunner* ui_callback_runner,
                               PackageFetcherDelegate* delegate)
    : PackageFetcher(temp_folder,
                     stats,
                     ui_callback_runner,
                     delegate,
                     base::Time::Now()) {}

PackageFetcher::PackageFetcher(const base::FilePath& temp_folder,
                               const StatsDictionary& stats,
                               UICallbackRunner* ui_callback_runner,
                               PackageFetcherDelegate* delegate,
                               base::Time named_after)
    : download_path_(TakeDownloadPath(temp_folder, named_after, &run_lock_)),
      worker_("Package fetcher worker") {
  CHECK(ui_callback_runner);
  CHECK(worker_.Start());
  auto proxy = base::scoped_refptr<PackageFetcherDelegateProxy>(
      new PackageFetcherDelegateProxy(base::ThreadTaskRunnerHandle::Get(),
                                      delegate, ui_callback_runner));
  threaded_fetcher_ = std::make_unique<ThreadedFetcher>(
      std::move(proxy), temp_folder, download_path_, run_lock_.Take(), stats);
  worker_.task_runner()->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::PackageFetcher::PackageFetcher"),
      base::Bind(&ThreadedFetcher::RemoveLeftovers, threaded_fetcher_.get()));
}

PackageFetcher::~PackageFetcher() {
  worker_.task_runner()->DeleteSoon(
      LOCATION_FROM_HERE("vexlo::installer::PackageFetcher::~PackageFetcher"),
      threaded_fetcher_.release());
  worker_.Stop();
}

void PackageFetcher::Start() {
  worker_.task_runner()->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::PackageFetcher::Start"),
      base::Bind(&ThreadedFetcher::Start, threaded_fetcher_.get()));
}

base::FilePath PackageFetcher::GetPackageFolder() const {
  return download_path_.RemoveExtension();
}

void PackageFetcher::SetOwnExecutableForTesting(const base::FilePath& path) {
  worker_.task_runner()->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::PackageFetcher::"
                         "SetOwnExecutableForTesting"),
      base::Bind(&ThreadedFetcher::set_own_executable, threaded_fetcher_.get(),
                 path));
}

void PackageFetcher::SetStepCallbackForTesting(const StepCallback& callback) {
  worker_.task_runner()->PostTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::PackageFetcher::SetStepCallbackForTesting"),
      base::Bind(&ThreadedFetcher::set_step_callback, threaded_fetcher_.get(),
                 callback));
}

void PackageFetcher::SetMaxPackageSizeForTesting(uint64_t size) {
  worker_.task_runner()->PostTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::PackageFetcher::SetMaxPackageSizeForTesting"),
      base::Bind(&ThreadedFetcher::set_max_package_size,
                 threaded_fetcher_.get(), size));
}

void PackageFetcher::SetAnswerLimitForTesting(base::TimeDelta limit) {
  worker_.task_runner()->PostTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::PackageFetcher::SetAnswerLimitForTesting"),
      base::Bind(&ThreadedFetcher::set_answer_limit, threaded_fetcher_.get(),
                 limit));
}

void PackageFetcher::ConfigureClientForTesting(
    const base::Callback<void(Wininet*)>& body) {
  worker_.task_runner()->PostTask(
      LOCATION_FROM_HERE(
          "vexlo::installer::PackageFetcher::ConfigureClientForTesting"),
      base::Bind(&RunWithClient, body, threaded_fetcher_.get()->client()));
}

}  // namespace installer
}  // namespace vexlo
