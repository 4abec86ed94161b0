#include "desktop/launcher/installer/ui/installer_progress.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>

namespace vexlo {
namespace installer {

namespace {

const int32_t kStageWeights[] = {1, 1000, 200, 1, 1, 100};
// Larger advances jump; smaller ones step so the bar's animation shows.
constexpr int32_t kLargestStepwiseAdvance = 10;

}  // namespace

void InstallerProgress::SetFetchTotal(int32_t total) {
  current_ = 0;
  total_ = stage_ == kPartnerContentStage ? 0 : total;
}

void InstallerProgress::SetFetchCurrent(int32_t current) {
  if (total_ != 0)
    current_ = current;
}

void InstallerProgress::SetTotalSteps(int32_t steps) {
  // The backend reports each step as it begins, the first one included, so
  // the count starts before it: after the last step the bar is at its top.
  total_ = steps;
  current_ = 0;
}

void InstallerProgress::NextStep() {
  ++current_;
}

void InstallerProgress::Complete() {
  current_ = total_;
}

int32_t InstallerProgress::Position() const {
  const int32_t stage =
      std::max(0, std::min<int32_t>(stage_, kInstallingStage));
  int32_t before = 0;
  for (int32_t i = 0; i < stage; ++i)
    before += kStageWeights[i];
  if (total_ <= 0)
    return before;
  // A peer that reports more than it announced must not push the bar past
  // the stage's share.
  const double done =
      static_cast<double>(std::max(0, std::min(current_, total_))) / total_;
  return before + static_cast<int32_t>(kStageWeights[stage] * done);
}

void InstallerProgress::MoveBar(HWND__* bar) const {
  const int32_t shown =
      static_cast<int32_t>(::SendMessageW(bar, PBM_GETPOS, 0, 0));
  const int32_t target = Position();
  if (target - shown > kLargestStepwiseAdvance) {
    ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(target), 0);
    return;
  }
  for (int32_t position = shown; position < target; ++position)
    ::SendMessageW(bar, PBM_STEPIT, 0, 0);
}

}  // namespace installer
}  // namespace vexlo
