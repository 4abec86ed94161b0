#include "desktop/launcher/installer/ui/installer_window.h"

#include <commctrl.h>
#include <richedit.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <utility>

#include "base/features/feature_registry.h"
#include "base/logging.h"
#include "base/native_library.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_comptr.h"
#include "base/win/windows_version.h"
#include "desktop/common/l10n/l10n_util.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "desktop/launcher/installer/installer_stats.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/ui/rich_text_links.h"
#include "desktop/launcher/installer/ui/win32_dialog_dispatcher.h"

namespace vexlo {
namespace installer {
namespace {

using l10n::GetLocalizedString;
using l10n::GetLocalizedStringWithArgument;

const char kUIStatsFeature[] = "installer-ui-stats";
const COLORREF kTitleColor = RGB(255, 27, 44);
const COLORREF kLinkColor = RGB(104, 104, 104);
const COLORREF kWarningColor = RGB(255, 0, 0);

// The common controls and the visual styles are loaded here, for the
// window, rather than imported: their start-up brings up the desktop window,
// which under Wine means starting a desktop process, and every role of the
// executable would pay for loading and unloading them. Once loaded a
// library stays, as an import would.
template <typename Function>
Function LookUpOnDemand(const wchar_t* library_name, const char* name) {
  const base::NativeLibrary library =
      base::LoadNativeLibrary(base::FilePath(library_name), /*error=*/nullptr);
  return library ? reinterpret_cast<Function>(
                       base::GetFunctionPointerFromNativeLibrary(library, name))
                 : nullptr;
}

bool InitCommonControlsOnDemand(const INITCOMMONCONTROLSEX& controls) {
  using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init =
      LookUpOnDemand<InitFunction>(L"comctl32.dll", "InitCommonControlsEx");
  return init && init(&controls);
}

bool IsAppThemedOnDemand() {
  using IsThemedFunction = BOOL(WINAPI*)();
  static const auto is_themed =
      LookUpOnDemand<IsThemedFunction>(L"uxtheme.dll", "IsAppThemed");
  return is_themed && is_themed();
}

// Which pages show a control of the main dialog: bit N for page N.
struct PageControl {
  int control;
  uint8_t pages;
};
constexpr uint8_t On(int page) {
  return static_cast<uint8_t>(1u << page);
}
const PageControl kPageControls[] = {
    {IDC_LOGO,
     On(InstallerWindow::kWelcomePage) | On(InstallerWindow::kUninstallPage) |
         On(InstallerWindow::kProgressPage) | On(InstallerWindow::kErrorPage)},
    {IDC_TERMS, On(InstallerWindow::kTermsPage)},
    {IDC_BACK_BUTTON, On(InstallerWindow::kTermsPage) |
                          On(InstallerWindow::kOptionsPage) |
                          On(InstallerWindow::kErrorPage)},
    {IDC_TITLE, On(InstallerWindow::kWelcomePage)},
    {IDC_WELCOME_TEXT, On(InstallerWindow::kWelcomePage)},
    {IDC_OPTIONS_BUTTON, On(InstallerWindow::kWelcomePage)},
    {IDC_ACCEPT_BUTTON, On(InstallerWindow::kWelcomePage) |
                            On(InstallerWindow::kTermsPage) |
                            On(InstallerWindow::kOptionsPage)},
    {IDC_PROGRESS_HEADER, On(InstallerWindow::kProgressPage)},
    {IDC_MESSAGE,
     On(InstallerWindow::kProgressPage) | On(InstallerWindow::kErrorPage)},
    {IDC_PROGRESS_BAR, On(InstallerWindow::kProgressPage)},
    {IDC_INSTALL_ERROR_HEADER, On(InstallerWindow::kErrorPage)},
    {IDC_UNINSTALL_ERROR_HEADER, On(InstallerWindow::kErrorPage)},
    {IDC_RETRY_BUTTON, On(InstallerWindow::kErrorPage)},
    {IDC_FULL_PACKAGE_BUTTON, On(InstallerWindow::kErrorPage)},
    {IDC_CANCEL_BUTTON, On(InstallerWindow::kUninstallPage)},
    {IDC_UNINSTALL_BUTTON, On(InstallerWindow::kUninstallPage)},
    {IDC_DELETE_PROFILE, On(InstallerWindow::kUninstallPage)},
    {IDC_UNINSTALL_LABEL, On(InstallerWindow::kUninstallPage)},
};

// The control that takes the focus on each page; 0 for none.
const int kPageFocus[] = {IDC_ACCEPT_BUTTON,
                          IDC_UNINSTALL_BUTTON,
                          IDC_ACCEPT_BUTTON,
                          IDC_ACCEPT_BUTTON,
                          0,
                          IDC_RETRY_BUTTON};

const char* const kPageNames[] = {"WELCOME", "UNINSTALL", "TOS",
                                  "OPTIONS", "PROGRESS",  "ERROR"};

// The texts applied on every language change.
struct ControlText {
  bool in_options;
  int control;
  int string_id;
};
const ControlText kControlTexts[] = {
    {false, IDC_OPTIONS_BUTTON, IDS_OPTIONS},
    {false, IDC_BACK_BUTTON, IDS_BACK},
    {true, IDC_LANGUAGE_LABEL, IDS_LANGUAGE_LABEL},
    {true, IDC_INSTALL_MODE_LABEL, IDS_INSTALL_MODE_LABEL},
    {true, IDC_INSTALL_FOLDER_LABEL, IDS_INSTALL_FOLDER_LABEL},
    {true, IDC_BROWSE_BUTTON, IDS_BROWSE},
    {true, IDC_FOLDER_WARNING, IDS_FOLDER_WARNING},
    {true, IDC_DEFAULT_BROWSER, IDS_DEFAULT_BROWSER},
    {true, IDC_IMPORT_DATA, IDS_IMPORT_DATA},
    {true, IDC_STATISTICS, IDS_STATISTICS},
    {false, IDC_PROGRESS_HEADER, IDS_PROGRESS_HEADER},
    {false, IDC_INSTALL_ERROR_HEADER, IDS_INSTALL_ERROR_HEADER},
    {false, IDC_UNINSTALL_ERROR_HEADER, IDS_UNINSTALL_ERROR_HEADER},
    {false, IDC_RETRY_BUTTON, IDS_RETRY},
    {false, IDC_FULL_PACKAGE_BUTTON, IDS_FULL_PACKAGE},
    {false, IDC_CANCEL_BUTTON, IDS_CANCEL},
    {false, IDC_UNINSTALL_BUTTON, IDS_UNINSTALL},
    {false, IDC_UNINSTALL_LABEL, IDS_UNINSTALL_LABEL},
    {false, IDC_DELETE_PROFILE, IDS_DELETE_PROFILE},
};

// The message box buttons that get the installer's own texts.
const struct {
  int button;
  int string_id;
} kMessageBoxTexts[] = {
    {IDYES, IDS_YES},
    {IDNO, IDS_NO},
    {IDOK, IDS_OK},
};

// The CBT hook of the message box on screen; main thread only.
HHOOK g_message_box_hook = nullptr;

LRESULT CALLBACK RenameMessageBoxButtons(int code,
                                         WPARAM wparam,
                                         LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wparam);
    for (const auto& entry : kMessageBoxTexts) {
      const base::string16 text = GetLocalizedString(entry.string_id);
      if (::GetDlgItem(box, entry.button) && !text.empty())
        ::SetDlgItemTextW(box, entry.button, text.c_str());
    }
  }
  return ::CallNextHookEx(g_message_box_hook, code, wparam, lparam);
}

int GetScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

bool UIStatsEnabled() {
  return base::IsFeatureEnabled(kUIStatsFeature);
}

base::string16 GetWindowString(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  base::string16 text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(
      ::GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
  return text;
}

// |control|'s rectangle in its parent's client coordinates.
RECT GetRectInParent(HWND control) {
  RECT rect = {};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control),
                    reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void ShowControl(HWND dialog, int control, bool show) {
  ::ShowWindow(::GetDlgItem(dialog, control), show ? SW_SHOWNA : SW_HIDE);
}

void SetCharColor(HWND rich_edit, LONG start, LONG end, COLORREF color) {
  CHARFORMAT2W format = {};
  format.cbSize = sizeof(format);
  format.dwMask = CFM_COLOR;
  format.crTextColor = color;
  CHARRANGE range = {start, end};
  ::SendMessageW(rich_edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  ::SendMessageW(rich_edit, EM_SETCHARFORMAT, SCF_SELECTION,
                 reinterpret_cast<LPARAM>(&format));
}

DWORD CALLBACK AppendStreamedOut(DWORD_PTR cookie,
                                 BYTE* buffer,
                                 LONG size,
                                 LONG* written) {
  reinterpret_cast<std::string*>(cookie)->append(
      reinterpret_cast<const char*>(buffer), static_cast<size_t>(size));
  *written = size;
  return 0;
}

// The text still to be streamed in, consumed from the front.
struct StreamSource {
  const std::string* text;
  size_t offset;
};

DWORD CALLBACK ReadStreamedIn(DWORD_PTR cookie,
                              BYTE* buffer,
                              LONG size,
                              LONG* read) {
  StreamSource* source = reinterpret_cast<StreamSource*>(cookie);
  const size_t count = std::min(static_cast<size_t>(size),
                                source->text->size() - source->offset);
  std::copy_n(source->text->data() + source->offset, count, buffer);
  source->offset += count;
  *read = static_cast<LONG>(count);
  return 0;
}

std::string StreamOutRtf(HWND rich_edit) {
  std::string rtf;
  EDITSTREAM stream = {};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&rtf);
  stream.pfnCallback = &AppendStreamedOut;
  ::SendMessageW(rich_edit, EM_STREAMOUT, SF_RTF,
                 reinterpret_cast<LPARAM>(&stream));
  return rtf;
}

void StreamInRtf(HWND rich_edit, const std::string& rtf) {
  StreamSource source = {&rtf, 0};
  EDITSTREAM stream = {};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = &ReadStreamedIn;
  ::SendMessageW(rich_edit, EM_STREAMIN, SF_RTF,
                 reinterpret_cast<LPARAM>(&stream));
}

base::string16 GetFirstLine(HWND rich_edit) {
  const LRESULT start = ::SendMessageW(rich_edit, EM_LINEINDEX, 0, 0);
  const LRESULT length = ::SendMessageW(rich_edit, EM_LINELENGTH, start, 0);
  if (length <= 0)
    return base::string16();
  // EM_GETLINE takes the buffer's size in its first word.
  base::string16 line(std::max<size_t>(static_cast<size_t>(length), 2), L'\0');
  line[0] = static_cast<wchar_t>(line.size());
  const LRESULT copied = ::SendMessageW(rich_edit, EM_GETLINE, 0,
                                        reinterpret_cast<LPARAM>(&line[0]));
  line.resize(static_cast<size_t>(std::max<LRESULT>(copied, 0)));
  return line;
}

base::string16 GetTextRange(HWND rich_edit, const CHARRANGE& range) {
  if (range.cpMax <= range.cpMin)
    return base::string16();
  base::string16 text(static_cast<size_t>(range.cpMax - range.cpMin) + 1,
                      L'\0');
  TEXTRANGEW request = {range, &text[0]};
  text.resize(static_cast<size_t>(::SendMessageW(
      rich_edit, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&request))));
  return text;
}

int CALLBACK StartBrowsingAt(HWND browser,
                             UINT message,
                             LPARAM /*param*/,
                             LPARAM data) {
  if (message == BFFM_INITIALIZED && data)
    ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

// The parsing name of |item| seen from the desktop, else its file-system
// path; empty when it has neither.
base::string16 GetFolderName(LPCITEMIDLIST item) {
  base::win::ScopedComPtr<IShellFolder> desktop;
  if (SUCCEEDED(::SHGetDesktopFolder(desktop.Receive()))) {
    STRRET name = {};
    wchar_t buffer[MAX_PATH] = {};
    if (SUCCEEDED(desktop->GetDisplayNameOf(item, SHGDN_FORPARSING, &name)) &&
        SUCCEEDED(::StrRetToBufW(&name, item, buffer, MAX_PATH))) {
      return buffer;
    }
  }
  wchar_t path[MAX_PATH] = {};
  return ::SHGetPathFromIDListW(item, path) ? path : L"";
}

}  // namespace

// static
std::unique_ptr<InstallerWindow> InstallerWindow::Create(Settings* settings,
                                                         InstallerStats* stats,
                                                         bool run_immediately) {
  std::unique_ptr<InstallerWindow> window(
      new InstallerWindow(settings, stats, run_immediately));
  if (!window->CreateDialogs())
    return nullptr;
  return window;
}

InstallerWindow::InstallerWindow(Settings* settings,
                                 InstallerStats* stats,
                                 bool run_immediately)
    : settings_(settings),
      stats_(stats),
      run_immediately_(run_immediately),
      resources_(GetWindowResourceModule()),
      main_dialog_(nullptr),
      options_dialog_(nullptr),
      tooltip_(nullptr),
      small_icon_(nullptr),
      large_icon_(nullptr),
      rich_edit_library_(nullptr),
      current_page_(kNoPage),
      error_page_(false),
      updating_controls_(false),
      offer_full_package_(false) {}

InstallerWindow::~InstallerWindow() {
  settings_->RemoveObserver(this);
  if (main_dialog_) {
    Win32DialogDispatcher::GetInstance()->ClearActiveDialog(main_dialog_);
    // The dialogs must not call into this object while they go.
    if (options_dialog_)
      ::SetWindowLongPtrW(options_dialog_, GWLP_USERDATA, 0);
    ::SetWindowLongPtrW(main_dialog_, GWLP_USERDATA, 0);
    ::DestroyWindow(main_dialog_);
  }
  if (small_icon_)
    ::DestroyIcon(small_icon_);
  if (large_icon_)
    ::DestroyIcon(large_icon_);
  if (rich_edit_library_)
    ::FreeLibrary(rich_edit_library_);
}

bool InstallerWindow::CreateDialogs() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls),
                                   ICC_WIN95_CLASSES | ICC_USEREX_CLASSES |
                                       ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
  if (!InitCommonControlsOnDemand(controls))
    PLOG(ERROR) << "InitCommonControlsEx failed.";
  rich_edit_library_ =
      base::LoadNativeLibrary(base::FilePath(L"Msftedit.dll"), nullptr);
  if (!rich_edit_library_)
    PLOG(ERROR) << "Loading library Msftedit.dll failed.";
  locales_ = l10n::GetAvailableLocales();
  if (!run_immediately_)
    settings_->AddObserver(this);

  const base::StringPiece main_template =
      LoadResourceBytes(resources_, IDD_INSTALLER_WINDOW, RT_DIALOG);
  const base::StringPiece options_template =
      LoadResourceBytes(resources_, IDD_INSTALLER_OPTIONS, RT_DIALOG);
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  if (!main_template.empty()) {
    ::CreateDialogIndirectParamW(
        instance, reinterpret_cast<LPCDLGTEMPLATEW>(main_template.data()),
        nullptr,
        &DialogProc<&InstallerWindow::InitializeMainDialog,
                    &InstallerWindow::OnMainMessage>,
        reinterpret_cast<LPARAM>(this));
  }
  if (main_dialog_ && !options_template.empty()) {
    ::CreateDialogIndirectParamW(
        instance, reinterpret_cast<LPCDLGTEMPLATEW>(options_template.data()),
        main_dialog_,
        &DialogProc<&InstallerWindow::InitializeOptionsDialog,
                    &InstallerWindow::OnOptionsMessage>,
        reinterpret_cast<LPARAM>(this));
  }
  if (!main_dialog_ || !options_dialog_) {
    PLOG(ERROR) << "Window creation failed.";
    return false;
  }
  PlaceOptionsDialog();
  if (!run_immediately_)
    ShowPage(settings_->uninstall() ? kUninstallPage : kWelcomePage);
  ::ShowWindow(main_dialog_, SW_SHOW);
  OnLanguageChanged();
  if (!settings_->fetching_status())
    OnPathChanged();
  return true;
}

// static
template <void (InstallerWindow::*Initialize)(HWND),
          INT_PTR (InstallerWindow::*Handle)(UINT, WPARAM, LPARAM)>
INT_PTR CALLBACK InstallerWindow::DialogProc(HWND dialog,
                                             UINT message,
                                             WPARAM wparam,
                                             LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, GWLP_USERDATA, lparam);
    (reinterpret_cast<InstallerWindow*>(lparam)->*Initialize)(dialog);
    return FALSE;
  }
  InstallerWindow* window = reinterpret_cast<InstallerWindow*>(
      ::GetWindowLongPtrW(dialog, GWLP_USERDATA));
  return window ? (window->*Handle)(message, wparam, lparam) : FALSE;
}

void InstallerWindow::InitializeMainDialog(HWND dialog) {
  main_dialog_ = dialog;
  // The logo and the badge keep their size on the screen; the background
  // is stretched over the window anyway.
  const int dpi = GetScreenDpi();
  logo_.reset(
      DecodeImage(LoadResourceBytes(resources_, IDR_LOGO_IMAGE, L"PNG"), dpi));
  error_badge_.reset(DecodeImage(
      LoadResourceBytes(resources_, IDR_ERROR_BADGE_IMAGE, L"PNG"), dpi));
  background_image_.reset(DecodeImage(
      LoadResourceBytes(resources_, IDR_BACKGROUND_IMAGE, L"JPG"), 96));
  CreateFonts();

  small_icon_ = static_cast<HICON>(::LoadImageW(
      resources_, MAKEINTRESOURCEW(IDI_INSTALLER), IMAGE_ICON,
      ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
  large_icon_ = static_cast<HICON>(::LoadImageW(
      resources_, MAKEINTRESOURCEW(IDI_INSTALLER), IMAGE_ICON,
      ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
  ::SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(small_icon_));
  ::SendMessageW(dialog, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(large_icon_));

  const struct {
    int control;
    HFONT font;
  } kFonts[] = {
      {IDC_UNINSTALL_LABEL, bold_font_.get()},
      {IDC_PROGRESS_HEADER, header_font_.get()},
      {IDC_INSTALL_ERROR_HEADER, header_font_.get()},
      {IDC_UNINSTALL_ERROR_HEADER, header_font_.get()},
      {IDC_TITLE, title_font_.get()},
  };
  for (const auto& entry : kFonts) {
    ::SendDlgItemMessageW(dialog, entry.control, WM_SETFONT,
                          reinterpret_cast<WPARAM>(entry.font), FALSE);
  }
  ::SendDlgItemMessageW(dialog, IDC_WELCOME_TEXT, EM_SETEVENTMASK, 0, ENM_LINK);
  RebuildBackground();

  if (run_immediately_) {
    ShowPage(kProgressPage);
  } else if (!settings_->uninstall()) {
    SetDlgItemTextW(dialog, IDC_TERMS,
                    TermsTextFromResource(
                        LoadResourceBytes(resources_, IDR_TERMS_TEXT, L"TXT"))
                        .c_str());
  }
}

void InstallerWindow::CreateFonts() {
  const int dpi = GetScreenDpi();
  const auto make_font = [dpi](int points, int weight, bool antialiased,
                               const wchar_t* face) {
    return ::CreateFontW(-::MulDiv(points, dpi, 72), 0, 0, 0, weight, FALSE,
                         FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS,
                         antialiased ? ANTIALIASED_QUALITY : DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, face);
  };
  normal_font_.reset(make_font(8, 378, false, L"MS Shell Dlg"));
  bold_font_.reset(make_font(8, FW_BOLD, true, L"MS Shell Dlg"));
  header_font_.reset(make_font(14, FW_MEDIUM, true, L"MS Shell Dlg 2"));
  title_font_.reset(make_font(22, FW_HEAVY, true, L"Segoe UI"));
}

void InstallerWindow::InitializeOptionsDialog(HWND dialog) {
  options_dialog_ = dialog;
  if (run_immediately_)
    return;
  ShowControl(dialog, IDC_DEFAULT_BROWSER,
              base::win::GetVersion() < base::win::VERSION_WIN8);
  ::SendDlgItemMessageW(dialog, IDC_FOLDER_WARNING, WM_SETFONT,
                        reinterpret_cast<WPARAM>(bold_font_.get()), FALSE);
  // The browse button is as high as the folder box's edit field.
  HWND folder = ::GetDlgItem(dialog, IDC_INSTALL_FOLDER);
  HWND browse = ::GetDlgItem(dialog, IDC_BROWSE_BUTTON);
  RECT folder_client = {};
  ::GetClientRect(folder, &folder_client);
  const RECT browse_rect = GetRectInParent(browse);
  ::SetWindowPos(browse, nullptr, 0, 0, browse_rect.right - browse_rect.left,
                 folder_client.bottom - folder_client.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  tooltip_ = ::CreateWindowExW(
      WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
      WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_USEVISUALSTYLE,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog,
      nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (!tooltip_)
    return;
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = dialog;
  tool.uId = reinterpret_cast<UINT_PTR>(::GetDlgItem(dialog, IDC_INSTALL_MODE));
  tool.lpszText = const_cast<wchar_t*>(L"");
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 300);
}

void InstallerWindow::PlaceOptionsDialog() {
  // The options sit in the page's area above the buttons.
  RECT area = {15, 15, 0, 0};
  ::MapDialogRect(main_dialog_, &area);
  ::SetWindowPos(options_dialog_, nullptr, area.left, area.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void InstallerWindow::ShowPage(int32_t page) {
  if (page == current_page_)
    return;
  current_page_ = page;
  if (UIStatsEnabled() && stats_) {
    page_record_.reset(new StatsDictionary(
        stats_->stats()->AppendDictionary("ui.page_sequence")));
    page_record_->SetString("page_type", page >= 0 && page < kNoPage
                                             ? kPageNames[page]
                                             : "invalid");
  }
  ShowControls();
  const int focus = page >= 0 && page < kNoPage ? kPageFocus[page] : 0;
  // Enter presses the page's own button, never a hidden one that the
  // template made the default.
  ::SendMessageW(main_dialog_, DM_SETDEFID, static_cast<WPARAM>(focus), 0);
  if (focus) {
    ::SendMessageW(main_dialog_, WM_NEXTDLGCTL,
                   reinterpret_cast<WPARAM>(::GetDlgItem(main_dialog_, focus)),
                   TRUE);
  } else {
    ::SetFocus(main_dialog_);
  }
  error_page_ = page == kErrorPage;
  ::RedrawWindow(main_dialog_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void InstallerWindow::ShowControls() {
  for (const PageControl& entry : kPageControls) {
    ShowControl(main_dialog_, entry.control,
                current_page_ >= 0 && current_page_ < kNoPage &&
                    (entry.pages & On(current_page_)));
  }
  const bool uninstall = settings_->uninstall();
  if (uninstall) {
    ShowControl(main_dialog_, IDC_PROGRESS_HEADER, false);
    ShowControl(main_dialog_, IDC_INSTALL_ERROR_HEADER, false);
  } else {
    ShowControl(main_dialog_, IDC_UNINSTALL_ERROR_HEADER, false);
  }
  if (current_page_ == kErrorPage) {
    ShowControl(main_dialog_, IDC_FULL_PACKAGE_BUTTON, offer_full_package_);
    ShowControl(main_dialog_, IDC_BACK_BUTTON, !run_immediately_ && !uninstall);
  }
  ::ShowWindow(options_dialog_,
               current_page_ == kOptionsPage ? SW_SHOWNA : SW_HIDE);
}

void InstallerWindow::SetProgressStage(int32_t stage) {
  int string_id = IDS_PROGRESS_INSTALLING;
  if (stage == 0 || stage == 1)
    string_id = IDS_PROGRESS_DOWNLOADING;
  else if (stage == 2)
    string_id = IDS_PROGRESS_EXTRACTING;
  else if (settings_->uninstall())
    string_id = IDS_PROGRESS_UNINSTALLING;
  SetText(main_dialog_, IDC_MESSAGE, GetLocalizedString(string_id));
}

void InstallerWindow::ShowError(const base::string16& message,
                                bool offer_full_package,
                                const std::string& detail) {
  offer_full_package_ = offer_full_package;
  if (current_page_ == kErrorPage)
    ShowControls();
  ShowPage(kErrorPage);
  SetText(main_dialog_, IDC_MESSAGE, message);
  if (page_record_)
    page_record_->SetString("failure_reason", detail);
}

void InstallerWindow::ShowErrorMessage(const base::string16& message) {
  MessageBoxWithOwnTexts(message, MB_OK | MB_ICONERROR);
  if (page_record_)
    page_record_->SetString("error_displayed", base::UTF16ToUTF8(message));
  NotifyObservers(&Observer::OnCancel);
}

bool InstallerWindow::AskSwitchToCurrentUser() {
  const bool agreed =
      MessageBoxWithOwnTexts(GetLocalizedString(IDS_SWITCH_TO_CURRENT_USER),
                             MB_OKCANCEL | MB_ICONWARNING) == IDOK;
  if (page_record_)
    page_record_->SetInteger("auto_switch_to_current_user", agreed ? 0 : 1);
  return agreed;
}

int InstallerWindow::MessageBoxWithOwnTexts(const base::string16& text,
                                            UINT type) {
  HHOOK outer_hook = g_message_box_hook;
  g_message_box_hook = ::SetWindowsHookExW(WH_CBT, &RenameMessageBoxButtons,
                                           nullptr, ::GetCurrentThreadId());
  const int result =
      ::MessageBoxW(main_dialog_, text.c_str(),
                    GetLocalizedString(IDS_CAPTION).c_str(), type);
  if (g_message_box_hook)
    ::UnhookWindowsHookEx(g_message_box_hook);
  g_message_box_hook = outer_hook;
  return result;
}

void InstallerWindow::OnLanguageChanged() {
  updating_controls_ = true;
  for (const ControlText& entry : kControlTexts) {
    SetText(entry.in_options ? options_dialog_ : main_dialog_, entry.control,
            GetLocalizedString(entry.string_id));
  }
  ApplyTitle();
  const base::string16 caption = GetLocalizedString(IDS_CAPTION);
  if (!caption.empty())
    ::SetWindowTextW(main_dialog_, caption.c_str());
  if (!settings_->uninstall()) {
    FillLanguages();
    FillInstallModes();
    UpdateTooltip();
    WidenFullPackageButton();
  }
  updating_controls_ = false;
  OnSettingChanged();
}

void InstallerWindow::SetText(HWND dialog,
                              int control,
                              const base::string16& text) {
  HWND item = ::GetDlgItem(dialog, control);
  if (text.empty() || !item)
    return;
  ::SetWindowTextW(item, text.c_str());
  // Static texts are drawn without a background of their own, so the
  // parent repaints what the old text covered.
  RECT rect = GetRectInParent(item);
  ::RedrawWindow(dialog, &rect, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void InstallerWindow::ApplyTitle() {
  HWND title = ::GetDlgItem(main_dialog_, IDC_TITLE);
  const base::string16 product = GetLocalizedString(IDS_TITLE_PRODUCT);
  const base::string16 text =
      GetLocalizedStringWithArgument(IDS_TITLE, product);
  if (text.empty())
    return;
  ::SetWindowTextW(title, text.c_str());
  SetCharColor(title, 0, -1, kTitleColor);
  const size_t at = product.empty() ? base::string16::npos : text.find(product);
  if (at != base::string16::npos) {
    SetCharColor(title, static_cast<LONG>(at),
                 static_cast<LONG>(at + product.size()), RGB(0, 0, 0));
  }
  ::SendMessageW(title, EM_SETSEL, static_cast<WPARAM>(-1), 0);
}

void InstallerWindow::FillLanguages() {
  HWND combo = ::GetDlgItem(options_dialog_, IDC_LANGUAGE);
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  int selected = 0;
  bool matched = false;
  for (size_t i = 0; i < locales_.size(); ++i) {
    const base::string16 name =
        l10n::GetLocalizedStringForLocale(locales_[i], IDS_LANGUAGE_NAME);
    const LRESULT index = ::SendMessageW(
        combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    if (index < 0) {
      LOG(ERROR) << "Adding item #" << i << " to the language dropdown failed";
      continue;
    }
    ::SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index),
                   static_cast<LPARAM>(i));
    if (!matched && locales_[i] == settings_->language()) {
      matched = true;
      selected = static_cast<int>(index);
    }
  }
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void InstallerWindow::FillInstallModes() {
  HWND combo = ::GetDlgItem(options_dialog_, IDC_INSTALL_MODE);
  const LRESULT previous = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  base::string16 current_user = GetLocalizedString(IDS_MODE_CURRENT_USER);
  base::string16 user_name;
  if (GetCurrentUserName(false, &user_name))
    current_user += L" (" + user_name + L")";
  const base::string16 modes[] = {GetLocalizedString(IDS_MODE_ALL_USERS),
                                  current_user,
                                  GetLocalizedString(IDS_MODE_STANDALONE)};
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const base::string16& mode : modes) {
    ::SendMessageW(combo, CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(mode.c_str()));
  }
  ::SendMessageW(combo, CB_SETCURSEL,
                 previous >= 0 ? static_cast<WPARAM>(previous) : 0, 0);
}

void InstallerWindow::UpdateTooltip() {
  if (!tooltip_)
    return;
  std::vector<base::string16> parts;
  for (int id = IDS_MODE_TIP_ALL_USERS; id <= IDS_MODE_TIP_STANDALONE_TEXT;
       ++id) {
    parts.push_back(GetLocalizedString(id));
  }
  tooltip_text_ = base::ReplaceStringPlaceholders16(
      L"$1\n\t$2\n\n$3\n\t$4\n\n$5\n\t$6", parts);
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.hwnd = options_dialog_;
  tool.uId = reinterpret_cast<UINT_PTR>(
      ::GetDlgItem(options_dialog_, IDC_INSTALL_MODE));
  tool.lpszText = &tooltip_text_[0];
  ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0,
                 reinterpret_cast<LPARAM>(&tool));
}

void InstallerWindow::WidenFullPackageButton() {
  HWND button = ::GetDlgItem(main_dialog_, IDC_FULL_PACKAGE_BUTTON);
  const base::string16 text = GetWindowString(button);
  HDC dc = ::GetDC(button);
  HGDIOBJ old_font = ::SelectObject(dc, normal_font_.get());
  SIZE extent = {};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()),
                          &extent);
  ::SelectObject(dc, old_font);
  ::ReleaseDC(button, dc);
  const RECT retry =
      GetRectInParent(::GetDlgItem(main_dialog_, IDC_RETRY_BUTTON));
  const RECT back =
      GetRectInParent(::GetDlgItem(main_dialog_, IDC_BACK_BUTTON));
  RECT rect = GetRectInParent(button);
  const LONG width = std::max(extent.cx + 30, retry.right - retry.left);
  // It grows to the left, up to the back button with a button's gap.
  const LONG gap = retry.left - rect.right;
  rect.left = std::max(rect.right - width, back.right + std::max(gap, 0L));
  ::SetWindowPos(button, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void InstallerWindow::OnSettingChanged() {
  updating_controls_ = true;
  RefreshShields();
  if (settings_->uninstall()) {
    ::CheckDlgButton(main_dialog_, IDC_DELETE_PROFILE,
                     settings_->delete_profile() ? BST_CHECKED : BST_UNCHECKED);
    updating_controls_ = false;
    return;
  }
  const Status& status = settings_->status();
  HWND mode = ::GetDlgItem(options_dialog_, IDC_INSTALL_MODE);
  ::EnableWindow(mode, settings_->operation() == Settings::kInstallOperation);
  int selected_mode = settings_->all_users() ? 0 : 1;
  if (settings_->copy_only())
    selected_mode = 2;
  ::SendMessageW(mode, CB_SETCURSEL, static_cast<WPARAM>(selected_mode), 0);

  const bool existing = status.existing_installation() ||
                        status.legacy_installation() ||
                        status.launcher_present();
  const base::string16 accept = GetLocalizedString(
      existing ? IDS_ACCEPT_AND_UPDATE : IDS_ACCEPT_AND_INSTALL);
  SetText(main_dialog_, IDC_ACCEPT_BUTTON, accept);
  SetWelcomeText(GetLocalizedStringWithArgument(IDS_WELCOME_TEXT, accept));

  const bool default_browser_locked =
      settings_->replace_talvik_installation() &&
      status.legacy_installation() && status.default_browser();
  ::EnableWindow(::GetDlgItem(options_dialog_, IDC_DEFAULT_BROWSER),
                 !settings_->copy_only() && !default_browser_locked);
  ::CheckDlgButton(options_dialog_, IDC_DEFAULT_BROWSER,
                   settings_->default_browser() ? BST_CHECKED : BST_UNCHECKED);
  ::CheckDlgButton(
      options_dialog_, IDC_IMPORT_DATA,
      settings_->import_browser_data() ? BST_CHECKED : BST_UNCHECKED);
  ::CheckDlgButton(
      options_dialog_, IDC_STATISTICS,
      settings_->enable_vexlo_stats() || settings_->enable_installer_stats()
          ? BST_CHECKED
          : BST_UNCHECKED);
  RefreshFolderCombo();
  ::EnableWindow(::GetDlgItem(main_dialog_, IDC_ACCEPT_BUTTON), status.valid());
  ::EnableWindow(::GetDlgItem(main_dialog_, IDC_BACK_BUTTON), status.valid());
  ShowControl(options_dialog_, IDC_FOLDER_WARNING, !status.valid());
  updating_controls_ = false;
}

void InstallerWindow::RefreshShields() {
  if (base::win::GetVersion() < base::win::VERSION_VISTA)
    return;
  const bool shield =
      !IsUserInAdministratorsGroup(false) &&
      (settings_->all_users() || !settings_->status().writable());
  const int buttons[] = {IDC_UNINSTALL_BUTTON, IDC_ACCEPT_BUTTON,
                         IDC_RETRY_BUTTON};
  for (int button : buttons) {
    const bool for_uninstall = button == IDC_UNINSTALL_BUTTON;
    if (for_uninstall == settings_->uninstall()) {
      ::SendDlgItemMessageW(main_dialog_, button, BCM_SETSHIELD, 0,
                            shield ? TRUE : FALSE);
    }
  }
}

void InstallerWindow::RefreshFolderCombo() {
  HWND combo = ::GetDlgItem(options_dialog_, IDC_INSTALL_FOLDER);
  const bool had_selection =
      ::SendMessageW(combo, CB_GETCURSEL, 0, 0) != CB_ERR;
  // Emptying the list empties the edit field too; a typed folder stays.
  const base::string16 typed = GetWindowString(combo);
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  const base::string16 folder =
      settings_->GetDefaultInstallFolder(false, false).value();
  ::SendMessageW(combo, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(folder.c_str()));
  if (had_selection) {
    ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
    settings_->SetInstallFolderFromString(folder);
  } else {
    ::SetWindowTextW(combo, typed.c_str());
  }
}

void InstallerWindow::SetWelcomeText(const base::string16& text) {
  if (text.empty())
    return;
  HWND control = ::GetDlgItem(main_dialog_, IDC_WELCOME_TEXT);
  const base::string16 rewritten = RewriteLinks(text);
  ::SetWindowTextW(control, rewritten.c_str());
  const size_t first = rewritten.find(L"$1");
  const size_t last = rewritten.find(L"$3", first);
  if (first != base::string16::npos && last != base::string16::npos) {
    SetCharColor(control, static_cast<LONG>(first), static_cast<LONG>(last + 2),
                 kLinkColor);
  }
  const std::string rtf = StreamOutRtf(control);
  StreamInRtf(control, ReplaceLinkPlaceholders(rtf, false));
  // A link cut at the end of the first line reads badly; it moves to the
  // second line whole.
  if (base::EndsWith16(GetFirstLine(control), L"HYPERLINK ",
                       base::CompareCase::SENSITIVE)) {
    StreamInRtf(control, ReplaceLinkPlaceholders(rtf, true));
  }
  welcome_links_.clear();
  std::vector<TextLink> links;
  const base::string16 labels = ReduceLinksToLabels(text, &links);
  if (!links.empty() &&
      GetWindowString(control).find(labels.substr(
          links[0].start, links[0].length)) == base::string16::npos) {
    MarkLinkLabels(control, labels, links);
  }
}

void InstallerWindow::MarkLinkLabels(HWND control,
                                     const base::string16& labels,
                                     const std::vector<TextLink>& links) {
  // A rich edit control that drops hyperlink fields (as some versions do)
  // still underlines and reports ranges marked as links; the window then
  // knows their targets itself.
  ::SetWindowTextW(control, labels.c_str());
  CHARFORMAT2W format = {};
  format.cbSize = sizeof(format);
  format.dwMask = CFM_COLOR | CFM_LINK | CFM_UNDERLINE;
  format.dwEffects = CFE_LINK | CFE_UNDERLINE;
  format.crTextColor = kLinkColor;
  for (const TextLink& link : links) {
    CHARRANGE range = {static_cast<LONG>(link.start),
                       static_cast<LONG>(link.start + link.length)};
    ::SendMessageW(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    ::SendMessageW(control, EM_SETCHARFORMAT, SCF_SELECTION,
                   reinterpret_cast<LPARAM>(&format));
  }
  ::SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(-1), 0);
  welcome_links_ = links;
}

void InstallerWindow::OnPathChanged() {
  OnSettingChanged();
  updating_controls_ = true;
  ::SetDlgItemTextW(options_dialog_, IDC_INSTALL_FOLDER,
                    settings_->status().requested_path().value().c_str());
  updating_controls_ = false;
}

INT_PTR InstallerWindow::OnMainMessage(UINT message,
                                       WPARAM wparam,
                                       LPARAM lparam) {
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE)
        Win32DialogDispatcher::GetInstance()->SetActiveDialog(main_dialog_);
      else
        Win32DialogDispatcher::GetInstance()->ClearActiveDialog(main_dialog_);
      return FALSE;
    case WM_COMMAND:
      OnMainCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->idFrom == IDC_WELCOME_TEXT && header->code == EN_LINK)
        OnLinkClicked(*header);
      return FALSE;
    }
    case WM_ERASEBKGND:
      if (current_page_ == kOptionsPage || !background_.get())
        return FALSE;
      {
        HDC source = ::CreateCompatibleDC(reinterpret_cast<HDC>(wparam));
        HGDIOBJ old = ::SelectObject(source, background_.get());
        RECT client = {};
        ::GetClientRect(main_dialog_, &client);
        ::BitBlt(reinterpret_cast<HDC>(wparam), 0, 0, client.right,
                 client.bottom, source, 0, 0, SRCCOPY);
        ::SelectObject(source, old);
        ::DeleteDC(source);
      }
      ::SetWindowLongPtrW(main_dialog_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
      return reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(OnMainControlColor(
          reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam)));
    case WM_DRAWITEM:
      if (wparam == IDC_LOGO) {
        DrawLogo(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return TRUE;
      }
      return FALSE;
    case WM_WINDOWPOSCHANGED: {
      const WINDOWPOS* position = reinterpret_cast<const WINDOWPOS*>(lparam);
      if ((position->flags & (SWP_NOMOVE | SWP_NOSIZE)) !=
          (SWP_NOMOVE | SWP_NOSIZE)) {
        RebuildBackground();
      }
      return FALSE;
    }
    case WM_THEMECHANGED:
      RebuildBackground();
      return FALSE;
    case WM_CLOSE:
      AskToCancel();
      return TRUE;
    default:
      return FALSE;
  }
}

void InstallerWindow::OnMainCommand(int control, int code) {
  if (code == EN_SETFOCUS) {
    HWND item = ::GetDlgItem(main_dialog_, control);
    if (control == IDC_TITLE || control == IDC_WELCOME_TEXT)
      ::HideCaret(item);
    else if (control == IDC_TERMS)
      ::PostMessageW(item, EM_SETSEL, 0, 0);
    return;
  }
  if (code != BN_CLICKED)
    return;
  switch (control) {
    case IDC_OPTIONS_BUTTON:
      RecordNavigation("OPTIONS");
      ShowPage(kOptionsPage);
      break;
    case IDC_ACCEPT_BUTTON:
      RecordNavigation("ACCEPT");
      NotifyObservers(&Observer::OnProceed);
      break;
    case IDC_RETRY_BUTTON:
      RecordNavigation("RETRY");
      NotifyObservers(&Observer::OnProceed);
      break;
    case IDC_UNINSTALL_BUTTON:
      RecordNavigation("UNINSTALL");
      NotifyObservers(&Observer::OnProceed);
      break;
    case IDC_FULL_PACKAGE_BUTTON:
      RecordNavigation("FULL_PACKAGE");
      NotifyObservers(&Observer::OnDownloadFullPackage);
      break;
    case IDC_BACK_BUTTON:
      RecordNavigation("BACK");
      ShowPage(kWelcomePage);
      break;
    case IDC_CANCEL_BUTTON:
      RecordNavigation("CANCEL");
      AskToCancel();
      break;
    case IDCANCEL:
      AskToCancel();
      break;
    case IDC_DELETE_PROFILE:
      if (settings_->editable())
        CountChange("changed_delete_profile");
      if (!settings_->SetDeleteProfile(
              ::IsDlgButtonChecked(main_dialog_, IDC_DELETE_PROFILE) ==
              BST_CHECKED)) {
        OnSettingChanged();
      }
      break;
    default:
      break;
  }
}

void InstallerWindow::OnLinkClicked(const NMHDR& notification) {
  const ENLINK& link = reinterpret_cast<const ENLINK&>(notification);
  if (link.msg != WM_LBUTTONUP)
    return;
  RecordNavigation("TOS");
  base::string16 target =
      GetTextRange(::GetDlgItem(main_dialog_, IDC_WELCOME_TEXT), link.chrg);
  for (const TextLink& marked : welcome_links_) {
    if (static_cast<LONG>(marked.start) == link.chrg.cpMin &&
        static_cast<LONG>(marked.start + marked.length) == link.chrg.cpMax) {
      target = marked.target;
    }
  }
  if (target == L"tos")
    ShowPage(kTermsPage);
}

void InstallerWindow::RecordNavigation(const char* action) {
  if (page_record_ && UIStatsEnabled())
    page_record_->SetString("navigation_action", action);
}

void InstallerWindow::CountChange(const char* counter) {
  if (page_record_ && UIStatsEnabled())
    page_record_->IncrementInteger(counter);
}

void InstallerWindow::AskToCancel() {
  if (MessageBoxWithOwnTexts(GetLocalizedString(IDS_CANCEL_QUESTION),
                             MB_YESNO | MB_ICONQUESTION) == IDYES) {
    NotifyObservers(&Observer::OnCancel);
  }
}

INT_PTR InstallerWindow::OnOptionsMessage(UINT message,
                                          WPARAM wparam,
                                          LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (!updating_controls_)
        OnOptionsCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
      return reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(OnOptionsControlColor(
          reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam)));
    default:
      return FALSE;
  }
}

void InstallerWindow::OnOptionsCommand(int control, int code) {
  const bool editable = settings_->editable();
  const bool checked =
      ::IsDlgButtonChecked(options_dialog_, control) == BST_CHECKED;
  bool applied = true;
  if (control == IDC_LANGUAGE && code == CBN_SELCHANGE) {
    CountChange("changed_language");
    const LRESULT index = ::SendDlgItemMessageW(
        options_dialog_, IDC_LANGUAGE, CB_GETITEMDATA,
        ::SendDlgItemMessageW(options_dialog_, IDC_LANGUAGE, CB_GETCURSEL, 0,
                              0),
        0);
    if (editable && index >= 0 &&
        static_cast<size_t>(index) < locales_.size()) {
      settings_->SetLanguage(locales_[static_cast<size_t>(index)]);
    } else {
      // The list shows the settings' language again.
      updating_controls_ = true;
      FillLanguages();
      updating_controls_ = false;
    }
  } else if (control == IDC_INSTALL_MODE && code == CBN_SELCHANGE) {
    CountChange("changed_install_mode");
    const LRESULT mode = ::SendDlgItemMessageW(
        options_dialog_, IDC_INSTALL_MODE, CB_GETCURSEL, 0, 0);
    applied = editable && mode >= 0 && mode <= 2 &&
              settings_->SetInstallationMode(static_cast<uint32_t>(mode));
  } else if (control == IDC_INSTALL_FOLDER && code == CBN_SELCHANGE) {
    CountChange("changed_install_path");
    applied = editable;
    if (editable)
      ApplyFolderFromCombo(true);
  } else if (control == IDC_INSTALL_FOLDER && code == CBN_EDITCHANGE) {
    CountChange("edited_install_path");
    applied = editable;
    if (editable)
      ApplyFolderFromCombo(false);
  } else if (control == IDC_BROWSE_BUTTON && code == BN_CLICKED) {
    BrowseForFolder();
  } else if (control == IDC_DEFAULT_BROWSER && code == BN_CLICKED) {
    if (editable)
      CountChange("changed_make_default_browser");
    applied = settings_->SetDefaultBrowser(checked);
  } else if (control == IDC_IMPORT_DATA && code == BN_CLICKED) {
    if (editable)
      CountChange("changed_import_data");
    applied = settings_->SetImportBrowserData(checked);
  } else if (control == IDC_STATISTICS && code == BN_CLICKED) {
    if (editable)
      CountChange("changed_enable_stats");
    applied = settings_->SetEnableVexloStats(checked) &&
              settings_->SetEnableInstallerStats(checked);
  }
  if (!applied)
    OnSettingChanged();
}

void InstallerWindow::ApplyFolderFromCombo(bool take_selected_item) {
  HWND combo = ::GetDlgItem(options_dialog_, IDC_INSTALL_FOLDER);
  base::string16 folder;
  const LRESULT selected = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  // While a selection change is announced, the edit field still shows the
  // previous folder; the chosen item holds the new one.
  if (take_selected_item && selected >= 0) {
    const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN,
                                          static_cast<WPARAM>(selected), 0);
    if (length >= 0) {
      folder.resize(static_cast<size_t>(length) + 1);
      ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(selected),
                     reinterpret_cast<LPARAM>(&folder[0]));
      folder.resize(static_cast<size_t>(length));
    }
  } else {
    folder = GetWindowString(combo);
  }
  settings_->SetInstallFolderFromString(folder);
}

void InstallerWindow::BrowseForFolder() {
  HWND combo = ::GetDlgItem(options_dialog_, IDC_INSTALL_FOLDER);
  const base::string16 current = GetWindowString(combo);
  const base::string16 title = GetLocalizedString(IDS_FOLDER_PICKER_TITLE);
  BROWSEINFOW info = {};
  info.hwndOwner = main_dialog_;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
  info.lpfn = &StartBrowsingAt;
  info.lParam = current.empty() ? 0 : reinterpret_cast<LPARAM>(current.c_str());
  LPITEMIDLIST item = ::SHBrowseForFolderW(&info);
  if (!item)
    return;
  const base::string16 folder = GetFolderName(item);
  ::CoTaskMemFree(item);
  if (folder.empty())
    return;
  updating_controls_ = true;
  const LRESULT index =
      ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(folder.c_str()));
  if (index >= 0)
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  else
    ::SetWindowTextW(combo, folder.c_str());
  updating_controls_ = false;
  if (settings_->editable())
    settings_->SetInstallFolderFromString(folder);
  else
    OnSettingChanged();
}

void InstallerWindow::RebuildBackground() {
  RECT client = {};
  ::GetClientRect(main_dialog_, &client);
  if (client.right <= 0 || client.bottom <= 0)
    return;
  HDC screen = ::GetDC(main_dialog_);
  background_.reset(
      ::CreateCompatibleBitmap(screen, client.right, client.bottom));
  HDC target = ::CreateCompatibleDC(screen);
  ::ReleaseDC(main_dialog_, screen);
  HGDIOBJ old_target = ::SelectObject(target, background_.get());
  ::FillRect(target, &client, ::GetSysColorBrush(COLOR_3DFACE));
  BITMAP image = {};
  if (background_image_.get() &&
      ::GetObjectW(background_image_.get(), sizeof(image), &image)) {
    HDC source = ::CreateCompatibleDC(target);
    HGDIOBJ old_source = ::SelectObject(source, background_image_.get());
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(target, 0, 0, client.right, client.bottom, source, 0, 0,
                 image.bmWidth, image.bmHeight, blend);
    ::SelectObject(source, old_source);
    ::DeleteDC(source);
  }
  ::SelectObject(target, old_target);
  ::DeleteDC(target);
  control_brushes_.clear();
  if (IsAppThemedOnDemand())
    MakeControlBrush(IDC_DELETE_PROFILE);
  ::InvalidateRect(main_dialog_, nullptr, TRUE);
}

void InstallerWindow::MakeControlBrush(int control) {
  const RECT rect = GetRectInParent(::GetDlgItem(main_dialog_, control));
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0)
    return;
  HDC screen = ::GetDC(main_dialog_);
  ControlBrush& entry = control_brushes_[control];
  entry.bitmap.reset(::CreateCompatibleBitmap(screen, width, height));
  HDC target = ::CreateCompatibleDC(screen);
  HDC source = ::CreateCompatibleDC(screen);
  ::ReleaseDC(main_dialog_, screen);
  HGDIOBJ old_target = ::SelectObject(target, entry.bitmap.get());
  HGDIOBJ old_source = ::SelectObject(source, background_.get());
  ::BitBlt(target, 0, 0, width, height, source, rect.left, rect.top, SRCCOPY);
  ::SelectObject(source, old_source);
  ::SelectObject(target, old_target);
  ::DeleteDC(source);
  ::DeleteDC(target);
  entry.brush.reset(::CreatePatternBrush(entry.bitmap.get()));
}

HBRUSH InstallerWindow::OnMainControlColor(HDC dc, HWND control) {
  const int id = ::GetDlgCtrlID(control);
  if (id == IDC_TERMS)
    return ::GetSysColorBrush(COLOR_WINDOW);
  ::SetTextColor(dc, RGB(0, 0, 0));
  const auto brush = control_brushes_.find(id);
  if (brush != control_brushes_.end() && brush->second.brush.get())
    return brush->second.brush.get();
  ::SetBkMode(dc, TRANSPARENT);
  return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

HBRUSH InstallerWindow::OnOptionsControlColor(HDC dc, HWND control) {
  const int id = ::GetDlgCtrlID(control);
  if (id == IDC_DEFAULT_BROWSER || id == IDC_IMPORT_DATA ||
      id == IDC_STATISTICS) {
    return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
  }
  ::SetTextColor(dc, id == IDC_FOLDER_WARNING ? kWarningColor : RGB(0, 0, 0));
  ::SetBkMode(dc, TRANSPARENT);
  return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

void InstallerWindow::DrawLogo(const DRAWITEMSTRUCT& item) {
  const RECT& area = item.rcItem;
  HDC source = ::CreateCompatibleDC(item.hDC);
  HGDIOBJ old = ::SelectObject(source, background_.get());
  const RECT in_dialog = GetRectInParent(item.hwndItem);
  ::BitBlt(item.hDC, area.left, area.top, area.right - area.left,
           area.bottom - area.top, source, in_dialog.left, in_dialog.top,
           SRCCOPY);
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  BITMAP logo = {};
  if (logo_.get() && ::GetObjectW(logo_.get(), sizeof(logo), &logo)) {
    const int left = (area.left + area.right - logo.bmWidth) / 2;
    const int top = (area.top + area.bottom - logo.bmHeight) / 2;
    ::SelectObject(source, logo_.get());
    ::AlphaBlend(item.hDC, left, top, logo.bmWidth, logo.bmHeight, source, 0, 0,
                 logo.bmWidth, logo.bmHeight, blend);
    BITMAP badge = {};
    if (error_page_ && error_badge_.get() &&
        ::GetObjectW(error_badge_.get(), sizeof(badge), &badge)) {
      ::SelectObject(source, error_badge_.get());
      ::AlphaBlend(item.hDC, left + logo.bmWidth + 10 - badge.bmWidth,
                   top + logo.bmHeight + 10 - badge.bmHeight, badge.bmWidth,
                   badge.bmHeight, source, 0, 0, badge.bmWidth, badge.bmHeight,
                   blend);
    }
  }
  ::SelectObject(source, old);
  ::DeleteDC(source);
}

}  // namespace installer
}  // namespace vexlo
