#include "desktop/launcher/installer/ui/installer_progress.h"

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <vector>

#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

// A real progress bar over the whole range, as the window's.
class InstallerProgressTest : public testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    ASSERT_TRUE(::InitCommonControlsEx(&controls));
    bar_ = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_POPUP, 0, 0, 200, 20,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(bar_);
    ::SendMessageW(bar_, PBM_SETRANGE32, 0, InstallerProgress::kTop);
    ::SendMessageW(bar_, PBM_SETSTEP, 1, 0);
  }
  void TearDown() override { ::DestroyWindow(bar_); }

  // Moves the bar after |change| and answers where the bar stands.
  int Move(const std::function<void()>& change) {
    change();
    progress_.MoveBar(bar_);
    return static_cast<int>(::SendMessageW(bar_, PBM_GETPOS, 0, 0));
  }

  InstallerProgress progress_;
  HWND bar_ = nullptr;
};

// The backend's five steps fill the last stage's hundred in fifths from
// 1203, the weights of the stages before; the last step reaches the top
// and a step more goes no further.
TEST_F(InstallerProgressTest, TheBackendsStepsEndAtTheTop) {
  progress_.set_stage(InstallerProgress::kInstallingStage);
  EXPECT_EQ(1203, Move([&] { progress_.SetTotalSteps(5); }));
  std::vector<int> shown;
  for (int i = 0; i < 6; ++i)
    shown.push_back(Move([&] { progress_.NextStep(); }));
  EXPECT_EQ(std::vector<int>({1223, 1243, 1263, 1283, 1303, 1303}), shown);
  EXPECT_EQ(1303, Move([&] { progress_.Complete(); }));
}

// Each stage starts after the weights of those before it; partner content
// does not count; the bar never goes back, not even when a fetch starts
// over from the first stage.
TEST_F(InstallerProgressTest, StagesAddUpAndTheBarNeverGoesBack) {
  const struct {
    int32_t stage;
    int32_t total;
    int32_t current;
    int position;
    int bar;
  } kCases[] = {
      {InstallerProgress::kFetchingUrlStage, 0, 0, 0, 0},
      {InstallerProgress::kDownloadingStage, 4000, 1000, 251, 251},
      {InstallerProgress::kDownloadingStage, 4000, 1004, 252, 252},
      {InstallerProgress::kDownloadingStage, 4000, 4000, 1001, 1001},
      {InstallerProgress::kExtractingStage, 10, 5, 1101, 1101},
      {InstallerProgress::kFetchingUrlStage, 10, 5, 0, 1101},
      {InstallerProgress::kPartnerContentStage, 10, 5, 1201, 1201},
      {InstallerProgress::kPackageReadyStage, 0, 0, 1202, 1202},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.stage << " " << c.current);
    progress_.set_stage(c.stage);
    progress_.SetFetchTotal(c.total);
    EXPECT_EQ(c.bar, Move([&] { progress_.SetFetchCurrent(c.current); }));
    EXPECT_EQ(c.position, progress_.Position());
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
