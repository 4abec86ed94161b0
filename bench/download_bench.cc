// Downloads one URL into a file through the installer's WinINet client, the
// way the installer downloads a package, and reports how long it took.
//   download_bench.exe URL TARGET [PASSES]
// Prints one line per pass, "seconds: S", from the start of the download to
// its end; exits non-zero when a pass fails.

#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include <memory>

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "bench/bench_clock.h"
#include "bench/no_window_runner.h"
#include "desktop/launcher/installer/package_fetcher/ui_callback_runner.h"
#include "desktop/launcher/installer/wininet/wininet.h"
#include "desktop/launcher/installer/wininet/wininet_delegate.h"
#include "desktop/launcher/installer/wininet/wininet_response_writer.h"

using bench::Now;
using bench::NoWindowRunner;

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: download_bench URL TARGET [PASSES]\n");
    return 2;
  }
  const base::FilePath target(argv[2]);
  const int passes = argc > 3 ? _wtoi(argv[3]) : 1;
  base::MessageLoop loop;
  NoWindowRunner ui_runner;
  vexlo::installer::Wininet client(&ui_runner, nullptr);
  for (int pass = 0; pass < passes; ++pass) {
    auto writer = std::make_unique<vexlo::installer::FileResponseWriter>();
    if (!writer->Open(target))
      return 1;
    base::RunLoop run_loop;
    const double start = Now();
    if (!client.Start(argv[1], std::string(), run_loop.QuitClosure(),
                      std::move(writer),
                      std::make_unique<vexlo::installer::WininetDelegate>())) {
      fprintf(stderr, "download_bench: the download did not start\n");
      return 1;
    }
    run_loop.Run();
    const double seconds = Now() - start;
    if (client.state() != vexlo::installer::Wininet::STATE_COMPLETED) {
      fprintf(stderr, "download_bench: the download failed\n");
      return 1;
    }
    printf("seconds: %.6f\n", seconds);
    fflush(stdout);
  }
  return 0;
}
