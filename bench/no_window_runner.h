#ifndef BENCH_NO_WINDOW_RUNNER_H_
#define BENCH_NO_WINDOW_RUNNER_H_

#include "base/bind.h"
#include "base/location.h"
#include "desktop/launcher/installer/package_fetcher/ui_callback_runner.h"

namespace bench {

// The benchmarks have no window: whatever would ask the user (a proxy
// prompt) is answered as cancelled.
class NoWindowRunner : public vexlo::installer::UICallbackRunner {
 public:
  void RunUICallbackAndPostReply(
      const UICallback& /*ui_callback*/,
      const base::scoped_refptr<base::SingleThreadTaskRunner>& runner,
      const Reply& reply) override {
    runner->PostTask(LOCATION_FROM_HERE("NoWindowRunner"),
                     base::Bind(&RunReply, reply));
  }

 private:
  static void RunReply(const Reply& reply) { reply.Run(0); }
};

}  // namespace bench

#endif  // BENCH_NO_WINDOW_RUNNER_H_
