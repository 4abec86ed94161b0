#ifndef DESKTOP_LAUNCHER_INSTALLER_UI_INSTALLER_WINDOW_H_
#define DESKTOP_LAUNCHER_INSTALLER_UI_INSTALLER_WINDOW_H_

#include <windows.h>

#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/observer_list.h"
#include "base/strings/string16.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/stats_dictionary.h"
#include "desktop/launcher/installer/ui/rich_text_links.h"
#include "desktop/launcher/installer/ui/window_resources.h"

namespace vexlo {
namespace installer {

class InstallerStats;

// The installer's one window: a main dialog with six pages and an options
// dialog inside it, both from the host executable's dialog templates. It
// shows the settings, writes the user's choices back into them, paints its
// own background and logo, and tells its observers (the UI controller) when
// the user proceeds, cancels or asks for the full package. Every text is a
// localised string by number. Main thread only.
class InstallerWindow : public Settings::Observer {
 public:
  enum Page : int32_t {
    kWelcomePage = 0,
    kUninstallPage = 1,
    kTermsPage = 2,
    kOptionsPage = 3,
    kProgressPage = 4,
    kErrorPage = 5,
    // The page before the first is shown.
    kNoPage = 6,
  };

  class Observer {
   public:
    virtual ~Observer() = default;
    // The user accepted, retried or chose to uninstall.
    virtual void OnProceed() = 0;
    virtual void OnCancel() = 0;
    virtual void OnDownloadFullPackage() = 0;
  };

  // The window, shown on its first page; null, with an error in the log,
  // when a dialog cannot be made. |settings| and |stats| must outlive it.
  static std::unique_ptr<InstallerWindow> Create(Settings* settings,
                                                 InstallerStats* stats,
                                                 bool run_immediately);

  InstallerWindow(const InstallerWindow&) = delete;
  InstallerWindow& operator=(const InstallerWindow&) = delete;
  ~InstallerWindow() override;

  // An observer removed while the window notifies is not told afterwards.
  void AddObserver(Observer* observer) { observers_.AddObserver(observer); }
  void RemoveObserver(Observer* observer) {
    observers_.RemoveObserver(observer);
  }

  void ShowPage(int32_t page);
  // The progress message of the controller's |stage| (0 to 5).
  void SetProgressStage(int32_t stage);
  // The error page with |message|; |detail| goes into the statistics.
  void ShowError(const base::string16& message,
                 bool offer_full_package,
                 const std::string& detail);
  // An error message box; once it is closed the observers hear "cancel".
  void ShowErrorMessage(const base::string16& message);
  // Asks whether to install for the current user only; true for yes.
  bool AskSwitchToCurrentUser();

  // Settings::Observer:
  void OnSettingChanged() override;
  void OnLanguageChanged() override;
  void OnPathChanged() override;

  HWND window() const { return main_dialog_; }
  HWND options_dialog() const { return options_dialog_; }
  int32_t current_page() const { return current_page_; }
  bool error_page() const { return error_page_; }

 private:
  InstallerWindow(Settings* settings,
                  InstallerStats* stats,
                  bool run_immediately);

  bool CreateDialogs();
  // The procedure of a dialog that belongs to this window.
  template <void (InstallerWindow::*Initialize)(HWND),
            INT_PTR (InstallerWindow::*Handle)(UINT, WPARAM, LPARAM)>
  static INT_PTR CALLBACK
  DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR OnMainMessage(UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR OnOptionsMessage(UINT message, WPARAM wparam, LPARAM lparam);

  void InitializeMainDialog(HWND dialog);
  void CreateFonts();
  void InitializeOptionsDialog(HWND dialog);
  void PlaceOptionsDialog();

  // User actions.
  void OnMainCommand(int control, int code);
  void OnOptionsCommand(int control, int code);
  void OnLinkClicked(const NMHDR& notification);
  void RecordNavigation(const char* action);
  void CountChange(const char* counter);
  void AskToCancel();
  void ApplyFolderFromCombo(bool take_selected_item);
  void BrowseForFolder();

  // Texts and controls.
  void SetText(HWND dialog, int control, const base::string16& text);
  void ApplyTitle();
  void FillLanguages();
  void FillInstallModes();
  void UpdateTooltip();
  void WidenFullPackageButton();
  void RefreshShields();
  void RefreshFolderCombo();
  void SetWelcomeText(const base::string16& text);
  void MarkLinkLabels(HWND control,
                      const base::string16& labels,
                      const std::vector<TextLink>& links);
  void ShowControls();
  int MessageBoxWithOwnTexts(const base::string16& text, UINT type);

  // Painting.
  void RebuildBackground();
  void MakeControlBrush(int control);
  HBRUSH OnMainControlColor(HDC dc, HWND control);
  HBRUSH OnOptionsControlColor(HDC dc, HWND control);
  void DrawLogo(const DRAWITEMSTRUCT& item);

  template <typename Method>
  void NotifyObservers(Method method) {
    base::ObserverList<Observer>::Iterator it(&observers_);
    while (Observer* observer = it.GetNext())
      (observer->*method)();
  }

  Settings* const settings_;
  InstallerStats* const stats_;
  const bool run_immediately_;
  HMODULE resources_;
  HWND main_dialog_;
  HWND options_dialog_;
  HWND tooltip_;
  GdiObject<HFONT> normal_font_;
  GdiObject<HFONT> bold_font_;
  GdiObject<HFONT> header_font_;
  GdiObject<HFONT> title_font_;
  GdiObject<HBITMAP> logo_;
  GdiObject<HBITMAP> error_badge_;
  GdiObject<HBITMAP> background_image_;
  GdiObject<HBITMAP> background_;
  HICON small_icon_;
  HICON large_icon_;
  HMODULE rich_edit_library_;
  std::vector<base::string16> locales_;
  base::ObserverList<Observer> observers_;
  int32_t current_page_;
  bool error_page_;
  // Set while the window itself changes controls, whose notifications are
  // then not the user's.
  bool updating_controls_;
  bool offer_full_package_;
  // The pattern brush of a control, cut from the background under it.
  struct ControlBrush {
    GdiObject<HBITMAP> bitmap;
    GdiObject<HBRUSH> brush;
  };
  std::map<int, ControlBrush> control_brushes_;
  std::unique_ptr<StatsDictionary> page_record_;
  base::string16 tooltip_text_;
  // The links of the welcome text when the control shows them as marked
  // labels rather than as hyperlink fields.
  std::vector<TextLink> welcome_links_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_UI_INSTALLER_WINDOW_H_
