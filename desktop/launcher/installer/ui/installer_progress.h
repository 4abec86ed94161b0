#ifndef DESKTOP_LAUNCHER_INSTALLER_UI_INSTALLER_PROGRESS_H_
#define DESKTOP_LAUNCHER_INSTALLER_UI_INSTALLER_PROGRESS_H_

#include <stdint.h>

struct HWND__;

namespace vexlo {
namespace installer {

// Where an interactive run stands, as one position on the progress bar:
// six stages, from asking for the package to the backend's steps, each
// with a weight for how long it usually takes, and the count inside the
// current stage.
class InstallerProgress {
 public:
  // The stages in order.
  enum Stage : int32_t {
    kFetchingUrlStage = 0,
    kDownloadingStage = 1,
    kExtractingStage = 2,
    kPartnerContentStage = 3,
    kPackageReadyStage = 4,
    kInstallingStage = 5,
  };
  // The sum of all weights: the bar's top.
  static constexpr int32_t kTop = 1303;

  int32_t stage() const { return stage_; }
  void set_stage(int32_t stage) { stage_ = stage; }

  // A fetch operation of |total| units begins; partner content is too
  // small to count.
  void SetFetchTotal(int32_t total);
  void SetFetchCurrent(int32_t current);
  // The backend has |steps| steps and reports the start of each.
  void SetTotalSteps(int32_t steps);
  void NextStep();
  // The current stage is done.
  void Complete();

  // The weights of the stages before the current one and the done part of
  // its own, truncated.
  int32_t Position() const;

  // Moves |bar| (a progress bar control) forward to Position(): one step at
  // a time for a small advance so that it animates, at once for a large
  // one, never back.
  void MoveBar(HWND__* bar) const;

 private:
  int32_t stage_ = kFetchingUrlStage;
  int32_t total_ = 0;
  int32_t current_ = 0;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_UI_INSTALLER_PROGRESS_H_
