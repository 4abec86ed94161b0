// Fetches a package through the installer's package fetcher, the way an
// online installation does: the update server's reply, the download, the
// checks (two runs of the package), the archive written out and unpacked.
//   online_install_bench.exe TEMP_FOLDER PASSES
//       --internal-package-server=URL
// Prints one line per pass: "<total> <reply> <download and checks> <unpack>"
// in seconds; exits non-zero when a pass does not end with the package
// ready.

#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include <string>

#include "base/at_exit.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "base/values.h"
#include "bench/bench_clock.h"
#include "bench/no_window_runner.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher_delegate.h"
#include "desktop/launcher/installer/package_fetcher/ui_callback_runner.h"
#include "desktop/launcher/installer/stats_dictionary.h"

using bench::Now;
using bench::NoWindowRunner;

namespace {

using vexlo::installer::PackageFetcher;

// Notes when each status arrives and ends the pass at the last one.
class TimingDelegate : public vexlo::installer::PackageFetcherDelegate {
 public:
  void SetTotalProgress(int32_t /*total*/) override {}
  void SetCurrentProgress(int32_t /*current*/) override {}
  void NotifyStalled() override {}
  void NotifyTrackingDataObtained(const std::string& /*data*/) override {}
  void NotifyStatusChanged(PackageFetcher::Status status) override {
    at[status] = Now();
    if (status >= PackageFetcher::PACKAGE_READY) {
      last = status;
      quit.Run();
    }
  }

  double at[10] = {};
  int last = -1;
  base::Closure quit;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fprintf(stderr,
            "usage: online_install_bench TEMP_FOLDER PASSES "
            "--internal-package-server=URL\n");
    return 2;
  }
  base::AtExitManager exit_manager;
  base::CommandLine::Init();
  const base::FilePath temp_folder(argv[1]);
  const int passes = _wtoi(argv[2]);
  base::MessageLoop loop;
  NoWindowRunner ui_runner;
  base::DictionaryValue record;
  base::Lock lock;
  vexlo::installer::StatsDictionary stats(&record, &lock,
                                          base::TimeTicks::Now());
  for (int pass = 0; pass < passes; ++pass) {
    TimingDelegate delegate;
    PackageFetcher fetcher(temp_folder, stats, &ui_runner, &delegate);
    base::RunLoop run_loop;
    delegate.quit = run_loop.QuitClosure();
    const double start = Now();
    fetcher.Start();
    run_loop.Run();
    if (delegate.last != PackageFetcher::PACKAGE_READY) {
      fprintf(stderr, "online_install_bench: the fetch ended with %d\n",
              delegate.last);
      return 1;
    }
    const double* at = delegate.at;
    printf("%.6f %.6f %.6f %.6f\n", at[PackageFetcher::PACKAGE_READY] - start,
           at[PackageFetcher::DOWNLOADING_PACKAGE] - start,
           at[PackageFetcher::EXTRACTING] -
               at[PackageFetcher::DOWNLOADING_PACKAGE],
           at[PackageFetcher::PACKAGE_READY] - at[PackageFetcher::EXTRACTING]);
    fflush(stdout);
  }
  return 0;
}
