#include "desktop/launcher/installer/ui/test/installer_window_driver.h"

#include <iterator>

#include "base/time/time.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "desktop/launcher/installer/ui/test/window_screenshot.h"

namespace vexlo {
namespace installer {
namespace {

// Each page by the control that only it shows, looked at in this order:
// the error and terms pages show the options page's back button too.
const struct {
  InstallerWindowDriver::Page page;
  const char* name;
  int mark;
} kPages[] = {
    {InstallerWindowDriver::kWelcome, "welcome", IDC_WELCOME_TEXT},
    {InstallerWindowDriver::kUninstall, "uninstall", IDC_UNINSTALL_BUTTON},
    {InstallerWindowDriver::kTerms, "terms", IDC_TERMS},
    {InstallerWindowDriver::kProgress, "progress", IDC_PROGRESS_BAR},
    {InstallerWindowDriver::kError, "error", IDC_RETRY_BUTTON},
    {InstallerWindowDriver::kOptions, "options", IDC_BACK_BUTTON},
};

struct NamedButton {
  const char* name;
  int control;
};

int FindButton(const NamedButton* buttons,
               size_t count,
               const std::string& name) {
  for (size_t i = 0; i < count; ++i) {
    if (name == buttons[i].name)
      return buttons[i].control;
  }
  return 0;
}

const NamedButton kButtons[] = {
    {"accept", IDC_ACCEPT_BUTTON},
    {"back", IDC_BACK_BUTTON},
    {"cancel", IDC_CANCEL_BUTTON},
    {"delete-profile", IDC_DELETE_PROFILE},
    {"full-package", IDC_FULL_PACKAGE_BUTTON},
    {"options", IDC_OPTIONS_BUTTON},
    {"retry", IDC_RETRY_BUTTON},
    {"uninstall", IDC_UNINSTALL_BUTTON},
};

const NamedButton kMessageBoxButtons[] = {
    {"yes", IDYES},
    {"no", IDNO},
    {"ok", IDOK},
    {"cancel", IDCANCEL},
};

// How often a wait looks again.
const DWORD kPollMilliseconds = 50;
// How long the window's thread may take to answer or to paint.
const DWORD kAnswerMilliseconds = 5000;

struct WindowSearch {
  DWORD process_id;
  HWND found;
};

// The installer's main window is a visible dialog with its logo and its
// accept button; message boxes and the folder picker are dialogs too.
BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
  DWORD process_id = 0;
  ::GetWindowThreadProcessId(window, &process_id);
  if (search->process_id && process_id != search->process_id)
    return TRUE;
  wchar_t class_name[16] = {};
  ::GetClassNameW(window, class_name, 16);
  if (base::string16(class_name) != L"#32770" || !::IsWindowVisible(window) ||
      !::GetDlgItem(window, IDC_LOGO) ||
      !::GetDlgItem(window, IDC_ACCEPT_BUTTON)) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

BOOL CALLBACK FindPaintPending(HWND window, LPARAM pending) {
  if (::GetUpdateRect(window, nullptr, FALSE)) {
    *reinterpret_cast<bool*>(pending) = true;
    return FALSE;
  }
  return TRUE;
}

// Whether |window| or a window inside it still has something to paint.
bool IsPaintPending(HWND window) {
  bool pending = ::GetUpdateRect(window, nullptr, FALSE) != FALSE;
  if (!pending)
    ::EnumChildWindows(window, &FindPaintPending,
                       reinterpret_cast<LPARAM>(&pending));
  return pending;
}

bool IsShown(HWND control) {
  return control && ::IsWindowVisible(control);
}

}  // namespace

// static
const char* InstallerWindowDriver::PageName(Page page) {
  for (const auto& known : kPages) {
    if (known.page == page)
      return known.name;
  }
  return page == kNoWindow ? "none" : "unknown";
}

// static
bool InstallerWindowDriver::PageFromName(const std::string& name, Page* page) {
  for (Page candidate = kNoWindow; candidate <= kUnknownPage;
       candidate = static_cast<Page>(candidate + 1)) {
    if (name == PageName(candidate)) {
      *page = candidate;
      return true;
    }
  }
  return false;
}

// static
int InstallerWindowDriver::ButtonFromName(const std::string& name) {
  return FindButton(kButtons, std::size(kButtons), name);
}

// static
int InstallerWindowDriver::MessageBoxButtonFromName(const std::string& name) {
  return FindButton(kMessageBoxButtons, std::size(kMessageBoxButtons), name);
}

InstallerWindowDriver::InstallerWindowDriver(DWORD process_id)
    : process_id_(process_id) {}

HWND InstallerWindowDriver::FindWindow() const {
  WindowSearch search = {process_id_, nullptr};
  ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

InstallerWindowDriver::Page InstallerWindowDriver::CurrentPage() const {
  HWND window = FindWindow();
  if (!window)
    return kNoWindow;
  for (const auto& known : kPages) {
    if (IsShown(::GetDlgItem(window, known.mark)))
      return known.page;
  }
  return kUnknownPage;
}

bool InstallerWindowDriver::WaitForPage(Page page,
                                        base::TimeDelta timeout) const {
  const base::TimeTicks end = base::TimeTicks::Now() + timeout;
  while (CurrentPage() != page) {
    if (base::TimeTicks::Now() >= end)
      return false;
    ::Sleep(kPollMilliseconds);
  }
  return true;
}

HWND InstallerWindowDriver::FindControl(int control) const {
  HWND window = FindWindow();
  if (!window)
    return nullptr;
  if (HWND found = ::GetDlgItem(window, control))
    return found;
  // The options are a dialog of their own inside the main one.
  HWND options = ::FindWindowExW(window, nullptr, L"#32770", nullptr);
  return options ? ::GetDlgItem(options, control) : nullptr;
}

bool InstallerWindowDriver::Press(int control) const {
  HWND button = FindControl(control);
  if (!IsShown(button) || !::IsWindowEnabled(button))
    return false;
  // Posted, as a click is: the press may open a modal loop, such as the
  // question before cancelling, and must not wait for it to end.
  return ::PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

bool InstallerWindowDriver::Close() const {
  HWND window = FindWindow();
  return window && ::PostMessageW(window, WM_CLOSE, 0, 0) != FALSE;
}

HWND InstallerWindowDriver::FindMessageBox() const {
  HWND window = FindWindow();
  if (!window)
    return nullptr;
  // A message box is a top-level dialog of its own that the window owns.
  for (HWND top = ::GetWindow(::GetDesktopWindow(), GW_CHILD); top;
       top = ::GetWindow(top, GW_HWNDNEXT)) {
    wchar_t class_name[16] = {};
    ::GetClassNameW(top, class_name, 16);
    if (::GetWindow(top, GW_OWNER) == window && ::IsWindowVisible(top) &&
        base::string16(class_name) == L"#32770") {
      return top;
    }
  }
  return nullptr;
}

bool InstallerWindowDriver::AnswerMessageBox(int button,
                                             base::TimeDelta timeout) const {
  const base::TimeTicks end = base::TimeTicks::Now() + timeout;
  HWND box = nullptr;
  while (!(box = FindMessageBox())) {
    if (base::TimeTicks::Now() >= end)
      return false;
    ::Sleep(kPollMilliseconds);
  }
  HWND control = ::GetDlgItem(box, button);
  if (!control ||
      !::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                      reinterpret_cast<LPARAM>(control))) {
    return false;
  }
  // Answered once it has gone: a step after this one must not find the
  // same box still standing.
  while (::IsWindow(box) && ::IsWindowVisible(box)) {
    if (base::TimeTicks::Now() >= end)
      return false;
    ::Sleep(kPollMilliseconds);
  }
  return true;
}

base::string16 InstallerWindowDriver::Text(int control) const {
  HWND found = FindControl(control);
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  // Asked for, rather than read from the window's caption, which a rich
  // edit does not keep.
  if (found) {
    ::SendMessageTimeoutW(found, WM_GETTEXT, 1024,
                          reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                          kAnswerMilliseconds, &copied);
  }
  return base::string16(text, copied);
}

bool InstallerWindowDriver::SaveScreenshot(const base::FilePath& path) const {
  HWND window = FindWindow();
  if (!window)
    return false;
  // The page may have changed just now: painted afresh, the picture shows
  // all of it, whatever was still to be drawn.
  ::RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  const base::TimeTicks end =
      base::TimeTicks::Now() +
      base::TimeDelta::FromMilliseconds(kAnswerMilliseconds);
  while (IsPaintPending(window) && base::TimeTicks::Now() < end)
    ::Sleep(kPollMilliseconds);
  return SaveClientImage(window, path);
}

}  // namespace installer
}  // namespace vexlo
