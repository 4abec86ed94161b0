#include "base/debug/profiler.h"

#include <windows.h>

#include <atomic>

#include "base/win/pe_image.h"

// The image of the module this code is linked into.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace base {
namespace debug {

namespace {

enum InstrumentedState {
  kUndecided = 0,
  kInstrumented = 1,
  kNotInstrumented = 2
};

std::atomic<int> g_instrumented{kUndecided};

}  // namespace

bool IsBinaryInstrumented() {
  int state = g_instrumented.load(std::memory_order_relaxed);
  if (state == kUndecided) {
    const win::PEImage image(&__ImageBase);
    state = image.GetImageSectionHeaderByName(".thunks") &&
                    image.GetImageSectionHeaderByName(".instrumented")
                ? kInstrumented
                : kNotInstrumented;
    g_instrumented.store(state, std::memory_order_relaxed);
  }
  return state == kInstrumented;
}

}  // namespace debug
}  // namespace base
