#include "desktop/launcher/installer/package_fetcher/test/no_ui_callback_runner.h"

#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

void NoUICallbackRunner::RunUICallbackAndPostReply(
    const UICallback& /*ui_callback*/,
    const base::scoped_refptr<base::SingleThreadTaskRunner>& /*runner*/,
    const Reply& /*reply*/) {
  ADD_FAILURE() << "no prompt expected";
}

}  // namespace installer
}  // namespace vexlo
