#include "desktop/launcher/installer/ui/installer_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/features/feature_registry.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/win/pe_image.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "desktop/launcher/installer/installer_stats.h"
#include "desktop/launcher/installer/package_fetcher/test/no_ui_callback_runner.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "desktop/launcher/installer/settings.h"
#include "desktop/launcher/installer/ui/test/window_test_util.h"
#include "desktop/launcher/installer/ui/win32_dialog_dispatcher.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

// Stands in for the UI controller: counts what the window tells and moves
// it on as the controller would.
class WindowDriver : public InstallerWindow::Observer {
 public:
  void OnProceed() override {
    ++proceeds;
    window->ShowPage(InstallerWindow::kProgressPage);
    window->SetProgressStage(1);
  }
  void OnCancel() override {
    ++cancels;
    if (!on_cancel.is_null())
      on_cancel.Run();
  }
  void OnDownloadFullPackage() override { ++full_packages; }

  InstallerWindow* window = nullptr;
  base::Closure on_cancel;
  int proceeds = 0;
  int cancels = 0;
  int full_packages = 0;
};

// Ends a run loop when the settings have taken over a folder's status.
class PathWaiter : public Settings::Observer {
 public:
  void OnSettingChanged() override {}
  void OnLanguageChanged() override {}
  void OnPathChanged() override {
    if (run_loop)
      run_loop->Quit();
  }
  base::RunLoop* run_loop = nullptr;
};

// The red of the error badge image.
const COLORREF kBadgeRed = RGB(210, 20, 30);

base::string16 ItemText(HWND dialog, int control) {
  wchar_t text[512] = {};
  ::GetDlgItemTextW(dialog, control, text, 512);
  return text;
}

// The controls of the main dialog on screen, in identifier order.
std::string VisibleControls(HWND dialog) {
  std::string visible;
  for (int id = IDC_LOGO; id <= IDC_UNINSTALL_ERROR_HEADER; ++id) {
    HWND control = ::GetDlgItem(dialog, id);
    if (control && ::IsWindowVisible(control))
      visible += (visible.empty() ? "" : " ") + base::IntToString(id);
  }
  return visible;
}

// Why the text of |control| does not fit it; empty when it fits.
std::string CheckTextFits(HWND control) {
  wchar_t class_name[32] = {};
  ::GetClassNameW(control, class_name, 32);
  const base::string16 kind(class_name);
  RECT client = {};
  ::GetClientRect(control, &client);
  const base::string16 text =
      ItemText(::GetParent(control), ::GetDlgCtrlID(control));
  if (text.empty() || kind == L"ComboBox" || kind == L"Edit")
    return std::string();
  if (kind == L"RICHEDIT50W") {
    // The last character's line must end inside the control.
    const LRESULT last = ::SendMessageW(control, WM_GETTEXTLENGTH, 0, 0) - 1;
    POINTL point = {};
    ::SendMessageW(control, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point),
                   last);
    const LRESULT lines = ::SendMessageW(control, EM_GETLINECOUNT, 0, 0);
    const LONG line_height = lines > 0 ? (point.y + 1) / lines : 0;
    if (point.y + line_height <= client.bottom + line_height / 2)
      return std::string();
    return "rich text runs out below";
  }
  HDC dc = ::GetDC(control);
  HGDIOBJ old = ::SelectObject(
      dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT needed = {0, 0, client.right, 0};
  const LONG style = ::GetWindowLongW(control, GWL_STYLE);
  const bool button = kind == L"Button";
  const bool check_box = button && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
  int room = client.right;
  if (check_box)
    room -= ::GetSystemMetrics(SM_CXMENUCHECK) + 4;
  else if (button)
    room -= 8;
  needed.right = room;
  ::DrawTextW(
      dc, text.c_str(), -1, &needed,
      DT_CALCRECT | (button && !check_box ? DT_SINGLELINE : DT_WORDBREAK));
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  if (needed.right <= room && needed.bottom <= client.bottom)
    return std::string();
  return "needs " + base::IntToString(needed.right) + "x" +
         base::IntToString(needed.bottom) + ", has " + base::IntToString(room) +
         "x" + base::IntToString(client.bottom);
}

class InstallerWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    base::CommandLine::Init();
    ASSERT_TRUE(window_test_lock_.held());
    base::FeatureRegistry::GetInstance()->RegisterFeature("installer-ui-stats",
                                                          true, true);
    ASSERT_TRUE(resources_.loaded());
    ASSERT_TRUE(dir_.IsValid());
  }
  void TearDown() override { window_.reset(); }

  // Settings of a run with |arguments|, once their folder check ended.
  void MakeSettings(const base::string16& arguments, bool uninstall = false) {
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    command_line.ParseFromString(L"installer.exe " + arguments);
    settings_.reset(new Settings(uninstall, false, false,
                                 dir_.path().Append(L"Vexlo"), false,
                                 command_line));
    WaitForPath();
  }

  void WaitForPath() {
    if (!settings_->fetching_status())
      return;
    base::RunLoop run_loop;
    path_waiter_.run_loop = &run_loop;
    settings_->AddObserver(&path_waiter_);
    base::MessageLoop::current()->PostDelayedTask(
        LOCATION_FROM_HERE("InstallerWindowTest::WaitForPath"),
        run_loop.QuitClosure(), base::TimeDelta::FromSeconds(60));
    run_loop.Run();
    settings_->RemoveObserver(&path_waiter_);
    path_waiter_.run_loop = nullptr;
    ASSERT_FALSE(settings_->fetching_status());
  }

  void MakeWindow(bool run_immediately = false) {
    window_ =
        InstallerWindow::Create(settings_.get(), stats_.get(), run_immediately);
    ASSERT_TRUE(window_);
    driver_.window = window_.get();
    window_->AddObserver(&driver_);
    PumpMessages();
  }

  HWND main() const { return window_->window(); }
  HWND options() const { return window_->options_dialog(); }

  void Click(HWND dialog, int control) {
    ::PostMessageW(::GetDlgItem(dialog, control), BM_CLICK, 0, 0);
    PumpMessages();
  }

  // A key pressed and released on the control that has the focus; the
  // dispatcher has to route it.
  void PressKey(WPARAM key) {
    HWND focus = ::GetFocus();
    if (!focus) {
      // A window of another program on the shared display took the
      // activation, and the focus with it; activated again, the dialog
      // gives the focus back to the control that had it.
      HWND active = ::GetLastActivePopup(main());
      ::SetForegroundWindow(active);
      ::SetActiveWindow(active);
      PumpMessages();
      focus = ::GetFocus();
    }
    ::PostMessageW(focus, WM_KEYDOWN, key, 1);
    ::PostMessageW(focus, WM_KEYUP, key, 0xc0000001);
    PumpMessages();
  }

  // Clicks the link of the welcome text, whose label is |label|.
  void ClickLink(const base::string16& label) {
    HWND text = ::GetDlgItem(main(), IDC_WELCOME_TEXT);
    FINDTEXTEXW find = {{0, -1}, label.c_str(), {0, 0}};
    const LRESULT at = ::SendMessageW(text, EM_FINDTEXTEXW, FR_DOWN,
                                      reinterpret_cast<LPARAM>(&find));
    ASSERT_GE(at, 0) << "no link label in the welcome text";
    POINTL point = {};
    ::SendMessageW(text, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point),
                   at + 1);
    const LPARAM position = MAKELPARAM(point.x + 1, point.y + 3);
    ::SendMessageW(text, WM_LBUTTONDOWN, MK_LBUTTON, position);
    ::SendMessageW(text, WM_LBUTTONUP, 0, position);
    PumpMessages();
  }

  // Saves the page as |name| and checks that every text on it fits.
  void Shoot(const std::string& name) {
    ::RedrawWindow(
        main(), nullptr, nullptr,
        RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpMessages();
    EXPECT_TRUE(SaveClientImage(main(), GetScreenshotPath(name))) << name;
    for (HWND dialog : {main(), options()}) {
      for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
           child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::IsWindowVisible(child)) {
          EXPECT_EQ("", CheckTextFits(child))
              << name << ": control " << ::GetDlgCtrlID(child) << " \""
              << ItemText(dialog, ::GetDlgCtrlID(child)) << "\"";
        }
      }
    }
  }

  // The statistics' page records in order, as "TYPE/action" items.
  std::string PageSequence() {
    std::string json;
    EXPECT_TRUE(stats_->SerializeRecord(&json));
    const size_t list = json.find("\"page_sequence\":[");
    const std::string pages = json.substr(list, json.find(']', list) - list);
    const std::regex record("\\{[^{}]*\\}");
    const std::regex action("\"navigation_action\":\"(\\w+)\"");
    const std::regex type("\"page_type\":\"(\\w+)\"");
    std::string sequence;
    for (std::sregex_iterator it(pages.begin(), pages.end(), record), end;
         it != end; ++it) {
      const std::string text = it->str();
      std::smatch found;
      if (std::regex_search(text, found, type))
        sequence += (sequence.empty() ? "" : " ") + found[1].str();
      if (std::regex_search(text, found, action))
        sequence += "/" + found[1].str();
    }
    return sequence;
  }

  void ShowEveryInstallationPage(const std::string& scale);
  void ShowEveryUninstallationPage(const std::string& scale);

  // The width of |text| in the window's normal font.
  LONG TextWidth(const base::string16& text) const {
    HDC dc = ::GetDC(main());
    GdiObject<HFONT> font(::CreateFontW(
        -::MulDiv(8, ::GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, 378, FALSE,
        FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
        DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"MS Shell Dlg"));
    HGDIOBJ old = ::SelectObject(dc, font.get());
    SIZE extent = {};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()),
                            &extent);
    ::SelectObject(dc, old);
    ::ReleaseDC(main(), dc);
    return extent.cx;
  }

  // A control of the main dialog in its client coordinates.
  RECT RectInMain(int control) const {
    RECT rect = {};
    ::GetWindowRect(::GetDlgItem(main(), control), &rect);
    ::MapWindowPoints(HWND_DESKTOP, main(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }

  ScopedWindowTestLock window_test_lock_;
  base::MessageLoop loop_{base::MessageLoop::TYPE_UI};
  ScopedInstallerResources resources_;
  base::UniqueTestDir dir_;
  NoUICallbackRunner no_ui_;
  std::unique_ptr<InstallerStats> stats_{new InstallerStats(&no_ui_)};
  PathWaiter path_waiter_;
  std::unique_ptr<Settings> settings_;
  WindowDriver driver_;
  std::unique_ptr<InstallerWindow> window_;
};

// Shows, drives and saves every page of an installation in each language;
// the screenshots end in |scale|.
void InstallerWindowTest::ShowEveryInstallationPage(const std::string& scale) {
  stats_.reset(new InstallerStats(&no_ui_));
  const struct {
    const wchar_t* language;
    const wchar_t* link_label;
    const wchar_t* accept;
    const wchar_t* downloading;
  } kCases[] = {
      {L"en", L"terms of service", L"Accept and install",
       L"Downloading Vexlo..."},
      {L"de", L"Nutzungsbedingungen", L"Akzeptieren und installieren",
       L"Vexlo wird heruntergeladen..."},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.language);
    const std::string suffix = "_" + base::UTF16ToUTF8(c.language) + scale;
    MakeSettings(base::string16(L"--language=") + c.language);
    MakeWindow();

    EXPECT_EQ(InstallerWindow::kWelcomePage, window_->current_page());
    EXPECT_EQ("1000 1001 1003 1007 1008", VisibleControls(main()));
    EXPECT_EQ(c.accept, ItemText(main(), IDC_ACCEPT_BUTTON));
    EXPECT_EQ(::GetDlgItem(main(), IDC_ACCEPT_BUTTON), ::GetFocus());
    Shoot("welcome" + suffix);
    const RECT title = RectInMain(IDC_TITLE);
    EXPECT_TRUE(ClientAreaHasColor(main(), title, RGB(255, 27, 44)));
    EXPECT_TRUE(ClientAreaHasColor(main(), title, RGB(0, 0, 0)));

    Click(main(), IDC_OPTIONS_BUTTON);
    EXPECT_EQ(InstallerWindow::kOptionsPage, window_->current_page());
    EXPECT_EQ("1003 1013", VisibleControls(main()));
    EXPECT_TRUE(::IsWindowVisible(options()));
    Shoot("options" + suffix);
    // The options line up with the page's margin, on white.
    RECT options_rect = {};
    ::GetWindowRect(options(), &options_rect);
    ::MapWindowPoints(HWND_DESKTOP, main(),
                      reinterpret_cast<POINT*>(&options_rect), 2);
    EXPECT_EQ(RectInMain(IDC_BACK_BUTTON).left, options_rect.left);
    EXPECT_TRUE(
        ClientAreaHasColor(main(),
                           {options_rect.left + 2, options_rect.bottom - 3,
                            options_rect.left + 3, options_rect.bottom - 2},
                           RGB(255, 255, 255)));

    Click(main(), IDC_BACK_BUTTON);
    EXPECT_EQ(InstallerWindow::kWelcomePage, window_->current_page());
    ClickLink(c.link_label);
    EXPECT_EQ(InstallerWindow::kTermsPage, window_->current_page());
    EXPECT_EQ("1003 1012 1013", VisibleControls(main()));
    EXPECT_EQ(0u, ItemText(main(), IDC_TERMS).find(L"VEXLO END-USER"));
    Shoot("terms" + suffix);
    const RECT terms = RectInMain(IDC_TERMS);
    EXPECT_TRUE(ClientAreaHasColor(main(),
                                   {terms.right - 30, terms.bottom - 8,
                                    terms.right - 29, terms.bottom - 7},
                                   ::GetSysColor(COLOR_WINDOW)));

    // Enter on the focused accept button, through the dispatcher.
    PressKey(VK_RETURN);
    EXPECT_EQ(1, driver_.proceeds);
    EXPECT_EQ(InstallerWindow::kProgressPage, window_->current_page());
    EXPECT_EQ("1000 1009 1011 1025", VisibleControls(main()));
    EXPECT_EQ(c.downloading, ItemText(main(), IDC_MESSAGE));
    Shoot("progress" + suffix);

    window_->ShowError(
        l10n::GetLocalizedStringWithArgument(IDS_ERROR_COPY, L"C:\\Vexlo"),
        true, "copy failed");
    EXPECT_EQ(InstallerWindow::kErrorPage, window_->current_page());
    EXPECT_EQ("1000 1004 1005 1010 1011 1013", VisibleControls(main()));
    EXPECT_EQ(::GetDlgItem(main(), IDC_RETRY_BUTTON), ::GetFocus());
    Shoot("error" + suffix);
    // The error badge over the logo's lower right corner.
    EXPECT_TRUE(ClientAreaHasColor(main(), RectInMain(IDC_LOGO), kBadgeRed));
    // And so does the saved picture of the page.
    EXPECT_TRUE(ImageHasColor(GetScreenshotPath("error" + suffix),
                              RectInMain(IDC_LOGO), kBadgeRed));
    EXPECT_FALSE(ImageHasColor(GetScreenshotPath("progress" + suffix),
                               RectInMain(IDC_LOGO), kBadgeRed));

    // The full-package button fits its text, keeping its right edge.
    const RECT full = RectInMain(IDC_FULL_PACKAGE_BUTTON);
    const RECT retry = RectInMain(IDC_RETRY_BUTTON);
    EXPECT_EQ(
        std::max(TextWidth(ItemText(main(), IDC_FULL_PACKAGE_BUTTON)) + 30,
                 retry.right - retry.left),
        full.right - full.left);
    RECT in_template = {125, 200, 110, 16};
    ::MapDialogRect(main(), &in_template);
    EXPECT_EQ(in_template.left + in_template.right, full.right);
    Click(main(), IDC_FULL_PACKAGE_BUTTON);
    EXPECT_EQ(1, driver_.full_packages);
    window_->ShowError(L"again", false, "again");
    EXPECT_EQ("1000 1005 1010 1011 1013", VisibleControls(main()));
    Click(main(), IDC_RETRY_BUTTON);
    EXPECT_EQ(2, driver_.proceeds);
    window_.reset();
    driver_ = WindowDriver();
  }
  EXPECT_EQ(
      "WELCOME/OPTIONS OPTIONS/BACK WELCOME/TOS TOS/ACCEPT PROGRESS "
      "ERROR/RETRY PROGRESS "
      "WELCOME/OPTIONS OPTIONS/BACK WELCOME/TOS TOS/ACCEPT PROGRESS "
      "ERROR/RETRY PROGRESS",
      PageSequence());
  // The error page's record keeps the last failure shown on it.
  std::string json;
  ASSERT_TRUE(stats_->SerializeRecord(&json));
  EXPECT_NE(std::string::npos, json.find("\"failure_reason\":\"again\""))
      << json;
}

TEST_F(InstallerWindowTest, ShowsEveryInstallationPage) {
  ShowEveryInstallationPage("");
}

// Run by ShowsEveryPageAt144Dpi in a process that starts at that scale.
TEST_F(InstallerWindowTest, DISABLED_ShowsEveryPageAtTheSystemScale) {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  ASSERT_EQ(144, dpi);
  ShowEveryInstallationPage("_144dpi");
  ShowEveryUninstallationPage("_144dpi");
}

TEST_F(InstallerWindowTest, ShowsEveryPageAt144Dpi) {
  // The scale is read once, when a process starts.
  base::win::RegKey desktop(HKEY_CURRENT_USER, L"Control Panel\\Desktop",
                            KEY_QUERY_VALUE | KEY_SET_VALUE);
  uint32_t saved = 0;
  const bool had_value =
      desktop.ReadValueDW(L"LogPixels", &saved) == ERROR_SUCCESS;
  ASSERT_EQ(ERROR_SUCCESS, desktop.WriteValueDW(L"LogPixels", 144));
  base::Process child = LaunchTestChild(
      "InstallerWindowTest.DISABLED_ShowsEveryPageAtTheSystemScale");
  const DWORD waited =
      child.IsValid() ? ::WaitForSingleObject(child.Handle(), 100000) : 0;
  if (had_value)
    desktop.WriteValueDW(L"LogPixels", saved);
  else
    desktop.DeleteValue(L"LogPixels");
  ASSERT_TRUE(child.IsValid());
  ASSERT_EQ(WAIT_OBJECT_0, waited);
  DWORD exit_code = 1;
  ::GetExitCodeProcess(child.Handle(), &exit_code);
  EXPECT_EQ(0u, exit_code) << "the pages at 144 dpi failed; see the output";
}

// Shows, drives and saves the pages of an uninstallation.
void InstallerWindowTest::ShowEveryUninstallationPage(
    const std::string& scale) {
  stats_.reset(new InstallerStats(&no_ui_));
  for (const wchar_t* language : {L"en", L"de"}) {
    SCOPED_TRACE(language);
    const std::string suffix = "_" + base::UTF16ToUTF8(language) + scale;
    // An uninstallation speaks the installation's language; this one has
    // none recorded.
    MakeSettings(L"", true);
    settings_->SetLanguage(language);
    MakeWindow();
    EXPECT_EQ(InstallerWindow::kUninstallPage, window_->current_page());
    EXPECT_EQ("1000 1002 1006 1028 1029", VisibleControls(main()));
    EXPECT_EQ(::GetDlgItem(main(), IDC_UNINSTALL_BUTTON), ::GetFocus());
    Shoot("uninstall" + suffix);

    Click(main(), IDC_DELETE_PROFILE);
    EXPECT_TRUE(settings_->delete_profile());
    PressKey(VK_RETURN);
    EXPECT_EQ(1, driver_.proceeds);
    window_->SetProgressStage(5);
    EXPECT_EQ(l10n::GetLocalizedString(IDS_PROGRESS_UNINSTALLING),
              ItemText(main(), IDC_MESSAGE));
    EXPECT_EQ("1000 1011 1025", VisibleControls(main()));

    window_->ShowError(
        l10n::GetLocalizedStringWithArgument(IDS_ERROR_BROWSER_RUNNING, L""),
        false, "running");
    EXPECT_EQ("1000 1005 1011 1036", VisibleControls(main()));
    Shoot("error_uninstall" + suffix);
    window_.reset();
    driver_ = WindowDriver();
  }
  // Enter pressed the uninstall button, not the hidden default one.
  EXPECT_EQ(
      "UNINSTALL/UNINSTALL PROGRESS ERROR UNINSTALL/UNINSTALL PROGRESS "
      "ERROR",
      PageSequence());
}

TEST_F(InstallerWindowTest, ShowsEveryUninstallationPage) {
  ShowEveryUninstallationPage("");
}

TEST_F(InstallerWindowTest, SetsTheProgressTextOfEachStage) {
  const struct {
    int32_t stage;
    int install_text;
    int uninstall_text;
  } kCases[] = {
      {0, IDS_PROGRESS_DOWNLOADING, IDS_PROGRESS_DOWNLOADING},
      {1, IDS_PROGRESS_DOWNLOADING, IDS_PROGRESS_DOWNLOADING},
      {2, IDS_PROGRESS_EXTRACTING, IDS_PROGRESS_EXTRACTING},
      {3, IDS_PROGRESS_INSTALLING, IDS_PROGRESS_UNINSTALLING},
      {5, IDS_PROGRESS_INSTALLING, IDS_PROGRESS_UNINSTALLING},
      {-1, IDS_PROGRESS_INSTALLING, IDS_PROGRESS_UNINSTALLING},
  };
  for (bool uninstall : {false, true}) {
    MakeSettings(L"--language=en", uninstall);
    // A run-immediately window starts on the progress page.
    MakeWindow(true);
    EXPECT_EQ(InstallerWindow::kProgressPage, window_->current_page());
    for (const auto& c : kCases) {
      window_->SetProgressStage(c.stage);
      EXPECT_EQ(l10n::GetLocalizedString(uninstall ? c.uninstall_text
                                                   : c.install_text),
                ItemText(main(), IDC_MESSAGE))
          << c.stage << " " << uninstall;
    }
    window_->ShowPage(InstallerWindow::kNoPage);
    window_.reset();
  }
  EXPECT_EQ("PROGRESS invalid PROGRESS invalid", PageSequence());
}

TEST_F(InstallerWindowTest, AppliesTheOptionsToTheSettings) {
  MakeSettings(L"--language=en");
  MakeWindow();
  Click(main(), IDC_OPTIONS_BUTTON);
  const auto select = [this](int control, int item) {
    ::SendDlgItemMessageW(options(), control, CB_SETCURSEL, item, 0);
    ::SendMessageW(options(), WM_COMMAND, MAKEWPARAM(control, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(::GetDlgItem(options(), control)));
    PumpMessages();
  };

  // The second language, German, changes every text at once.
  select(IDC_LANGUAGE, 1);
  EXPECT_EQ(L"de", settings_->language());
  EXPECT_EQ(L"Optionen", ItemText(main(), IDC_OPTIONS_BUTTON));
  EXPECT_EQ(L"Sprache:", ItemText(options(), IDC_LANGUAGE_LABEL));
  EXPECT_EQ(1,
            ::SendDlgItemMessageW(options(), IDC_LANGUAGE, CB_GETCURSEL, 0, 0));

  select(IDC_INSTALL_MODE, 2);
  EXPECT_TRUE(settings_->copy_only());
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(options(), IDC_DEFAULT_BROWSER)));
  select(IDC_INSTALL_MODE, 1);
  EXPECT_FALSE(settings_->copy_only());
  EXPECT_FALSE(settings_->all_users());

  Click(options(), IDC_STATISTICS);
  EXPECT_EQ(::IsDlgButtonChecked(options(), IDC_STATISTICS) == BST_CHECKED,
            settings_->enable_vexlo_stats());
  EXPECT_EQ(settings_->enable_vexlo_stats(),
            settings_->enable_installer_stats());

  // A typed folder, then one chosen from the list while the edit field
  // still shows the typed one.
  WaitForPath();
  HWND folder = ::GetDlgItem(options(), IDC_INSTALL_FOLDER);
  const base::FilePath typed = dir_.path().Append(L"typed");
  ::SetWindowTextW(folder, typed.value().c_str());
  ::SendMessageW(options(), WM_COMMAND,
                 MAKEWPARAM(IDC_INSTALL_FOLDER, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(folder));
  WaitForPath();
  EXPECT_EQ(typed, settings_->status().requested_path());
  const base::FilePath listed =
      settings_->GetDefaultInstallFolder(false, false);
  ::SendMessageW(folder, CB_SETCURSEL, 0, 0);
  ::SetWindowTextW(::FindWindowExW(folder, nullptr, L"Edit", nullptr),
                   typed.value().c_str());
  ::SendMessageW(options(), WM_COMMAND,
                 MAKEWPARAM(IDC_INSTALL_FOLDER, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(folder));
  WaitForPath();
  EXPECT_EQ(listed, settings_->status().requested_path());
  EXPECT_EQ(listed.value(), ItemText(options(), IDC_INSTALL_FOLDER));

  // The mode's tooltip explains all three modes. A pop-up belongs to the
  // top-level window of the dialog that made it.
  HWND tooltip = nullptr;
  for (HWND top = ::GetWindow(::GetDesktopWindow(), GW_CHILD); top;
       top = ::GetWindow(top, GW_HWNDNEXT)) {
    wchar_t class_name[64] = {};
    ::GetClassNameW(top, class_name, 64);
    if (::GetWindow(top, GW_OWNER) == main() &&
        base::string16(class_name) == TOOLTIPS_CLASSW) {
      tooltip = top;
    }
  }
  ASSERT_TRUE(tooltip);
  wchar_t tip[1024] = {};
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.hwnd = options();
  tool.uId =
      reinterpret_cast<UINT_PTR>(::GetDlgItem(options(), IDC_INSTALL_MODE));
  tool.lpszText = tip;
  ::SendMessageW(tooltip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
  EXPECT_EQ(
      l10n::GetLocalizedString(IDS_MODE_TIP_ALL_USERS) + L"\n\t" +
          l10n::GetLocalizedString(IDS_MODE_TIP_ALL_USERS_TEXT) + L"\n\n" +
          l10n::GetLocalizedString(IDS_MODE_TIP_CURRENT_USER) + L"\n\t" +
          l10n::GetLocalizedString(IDS_MODE_TIP_CURRENT_USER_TEXT) + L"\n\n" +
          l10n::GetLocalizedString(IDS_MODE_TIP_STANDALONE) + L"\n\t" +
          l10n::GetLocalizedString(IDS_MODE_TIP_STANDALONE_TEXT),
      tip);

  {
    // The folder picker (a COM dialog, as on the installer's main thread),
    // closed without a choice, changes nothing.
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    MessageBoxAnswer answer(main(), IDCANCEL);
    Click(options(), IDC_BROWSE_BUTTON);
    EXPECT_TRUE(answer.answered());
    ::CoUninitialize();
  }
  EXPECT_EQ(listed, settings_->status().requested_path());

  // While the installer runs, a choice snaps back to the settings.
  settings_->set_editable(false);
  select(IDC_LANGUAGE, 0);
  EXPECT_EQ(L"de", settings_->language());
  EXPECT_EQ(1,
            ::SendDlgItemMessageW(options(), IDC_LANGUAGE, CB_GETCURSEL, 0, 0));
  select(IDC_INSTALL_MODE, 2);
  EXPECT_FALSE(settings_->copy_only());
  EXPECT_EQ(1, ::SendDlgItemMessageW(options(), IDC_INSTALL_MODE, CB_GETCURSEL,
                                     0, 0));
  const bool import = settings_->import_browser_data();
  Click(options(), IDC_IMPORT_DATA);
  EXPECT_EQ(import, settings_->import_browser_data());
  EXPECT_EQ(import,
            ::IsDlgButtonChecked(options(), IDC_IMPORT_DATA) == BST_CHECKED);

  std::string json;
  ASSERT_TRUE(stats_->SerializeRecord(&json));
  for (const char* counted :
       {"\"changed_language\":2", "\"changed_install_mode\":3",
        "\"changed_enable_stats\":1", "\"edited_install_path\":1",
        "\"changed_install_path\":1"}) {
    EXPECT_NE(std::string::npos, json.find(counted)) << counted << json;
  }
  EXPECT_EQ(std::string::npos, json.find("changed_import_data")) << json;
}

TEST_F(InstallerWindowTest, AsksBeforeCancelling) {
  for (const wchar_t* language : {L"en", L"de"}) {
    SCOPED_TRACE(language);
    MakeSettings(L"", true);
    settings_->SetLanguage(language);
    MakeWindow();
    {
      MessageBoxAnswer answer(main(), IDNO);
      Click(main(), IDC_CANCEL_BUTTON);
      EXPECT_TRUE(answer.answered());
      EXPECT_EQ(l10n::GetLocalizedString(IDS_CANCEL_QUESTION), answer.text());
      EXPECT_EQ(l10n::GetLocalizedString(IDS_YES), answer.yes());
      EXPECT_EQ(l10n::GetLocalizedString(IDS_NO), answer.no());
    }
    EXPECT_EQ(0, driver_.cancels);
    EXPECT_EQ(InstallerWindow::kUninstallPage, window_->current_page());
    {
      // Escape, through the dispatcher, asks the same.
      MessageBoxAnswer answer(main(), IDYES);
      PressKey(VK_ESCAPE);
      EXPECT_TRUE(answer.answered());
    }
    EXPECT_EQ(1, driver_.cancels);
    {
      MessageBoxAnswer answer(main(), IDOK);
      window_->ShowErrorMessage(l10n::GetLocalizedString(IDS_ERROR_NO_SSE2));
      EXPECT_EQ(l10n::GetLocalizedString(IDS_OK), answer.ok());
    }
    EXPECT_EQ(2, driver_.cancels);
    for (int button : {IDOK, IDCANCEL}) {
      MessageBoxAnswer answer(main(), button);
      EXPECT_EQ(button == IDOK, window_->AskSwitchToCurrentUser());
    }
    window_.reset();
    driver_ = WindowDriver();
  }
  std::string json;
  ASSERT_TRUE(stats_->SerializeRecord(&json));
  EXPECT_NE(std::string::npos, json.find("\"error_displayed\":\"Vexlo needs"))
      << json;
  EXPECT_NE(std::string::npos, json.find("\"auto_switch_to_current_user\":1"))
      << json;
}

TEST_F(InstallerWindowTest, MovesTheFocusWithTheKeyboard) {
  MakeSettings(L"--language=en");
  MakeWindow();
  HWND options_button = ::GetDlgItem(main(), IDC_OPTIONS_BUTTON);
  for (int i = 0; i < 6 && ::GetFocus() != options_button; ++i)
    PressKey(VK_TAB);
  ASSERT_EQ(options_button, ::GetFocus());
  PressKey(VK_RETURN);
  EXPECT_EQ(InstallerWindow::kOptionsPage, window_->current_page());
  EXPECT_EQ(0, driver_.proceeds);
  // Into the options dialog and on through its controls.
  HWND language = ::GetDlgItem(options(), IDC_LANGUAGE);
  for (int i = 0; i < 12 && ::GetFocus() != language; ++i)
    PressKey(VK_TAB);
  EXPECT_EQ(language, ::GetFocus());
}

// Run by InstallerWindowDriverTest in a process of its own: a window for
// the driver there, until it is cancelled.
TEST_F(InstallerWindowTest, DISABLED_WaitsToBeCancelled) {
  MakeSettings(L"--language=en");
  MakeWindow();
  base::RunLoop run_loop(Win32DialogDispatcher::GetInstance());
  driver_.on_cancel = run_loop.QuitClosure();
  loop_.PostDelayedTask(LOCATION_FROM_HERE("DISABLED_WaitsToBeCancelled"),
                        run_loop.QuitClosure(),
                        base::TimeDelta::FromSeconds(100));
  run_loop.Run();
  EXPECT_EQ(1, driver_.cancels);
}

TEST_F(InstallerWindowTest, FailsWithoutItsDialogs) {
  MakeSettings(L"--language=en");
  // This test executable carries no dialog templates.
  ScopedWindowResourceModuleForTesting no_dialogs(::GetModuleHandleW(nullptr));
  ScopedLogCapture log;
  EXPECT_FALSE(InstallerWindow::Create(settings_.get(), stats_.get(), false));
  EXPECT_TRUE(log.Saw("Window creation failed."));
  // Nothing is left behind to hear of the settings.
  EXPECT_TRUE(settings_->SetImportBrowserData(false));
}

// The window loads the common controls and the visual styles itself, and
// they work: the dialogs, which are made of common controls, come up
// without a complaint.
TEST_F(InstallerWindowTest, LoadsTheCommonControlsItself) {
  MakeSettings(L"--language=en");
  ScopedLogCapture log;
  MakeWindow();
  EXPECT_FALSE(log.Saw("InitCommonControlsEx failed."));
  EXPECT_TRUE(::GetModuleHandleW(L"comctl32.dll"));
}

// The names of the libraries that the module at |path| imports, in upper
// case.
std::set<std::string> ImportedLibraries(const base::FilePath& path) {
  std::set<std::string> names;
  const HMODULE module = ::LoadLibraryExW(path.value().c_str(), nullptr,
                                          LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module)
    return names;
  // The flag marks the handle; the image starts at the page below it.
  const uintptr_t base = reinterpret_cast<uintptr_t>(module) & ~uintptr_t{3};
  base::win::PEImage image(reinterpret_cast<const void*>(base));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry = static_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
           image.RVAToAddr(imports.VirtualAddress));
       entry && entry->Name; ++entry) {
    names.insert(base::ToUpperASCII(
        static_cast<const char*>(image.RVAToAddr(entry->Name))));
  }
  ::FreeLibrary(module);
  return names;
}

// Neither the executable nor the library of the installer imports the
// libraries whose start-up brings up the desktop window: every process of
// an installation would pay for it, while only the window needs them.
TEST(InstallerModulesTest, ImportNothingThatOnlyTheWindowNeeds) {
  base::FilePath build;
  ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
  for (const wchar_t* name : {L"installer.exe", L"vexlo_installer.dll"}) {
    SCOPED_TRACE(name);
    const std::set<std::string> imported =
        ImportedLibraries(build.Append(name));
    ASSERT_TRUE(imported.count("KERNEL32.DLL"));
    EXPECT_FALSE(imported.count("COMCTL32.DLL"));
    EXPECT_FALSE(imported.count("UXTHEME.DLL"));
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
