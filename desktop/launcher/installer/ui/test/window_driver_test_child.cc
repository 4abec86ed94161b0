// Clicks through an installer window of another process, for the demo and
// for whoever wants to watch one run: each argument is one step, done in
// order; the first step that fails ends the program with status 1.
//   page=NAME     waits for the page: welcome, options, terms, progress,
//                 error, uninstall, or none for the window to close
//   press=BUTTON  presses accept, options, back, retry, uninstall, cancel,
//                 delete-profile or full-package
//   close         closes the window as its title bar would
//   answer=BUTTON answers the window's message box with yes, no, ok or
//                 cancel
//   shot=FILE     saves what the window shows as a PNG file
// Before the steps, --process=ID drives only the window of that process and
// --timeout=SECONDS bounds each wait (300 by default).

#include <windows.h>

#include <shellapi.h>
#include <stdio.h>

#include <string>

#include "base/files/file_path.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "desktop/launcher/installer/ui/test/installer_window_driver.h"

namespace {

using vexlo::installer::InstallerWindowDriver;

bool RunStep(const InstallerWindowDriver& driver,
             const std::string& step,
             base::TimeDelta timeout) {
  const size_t equals = step.find('=');
  const std::string verb = step.substr(0, equals);
  const std::string value =
      equals == std::string::npos ? std::string() : step.substr(equals + 1);
  if (verb == "page") {
    InstallerWindowDriver::Page page;
    if (!InstallerWindowDriver::PageFromName(value, &page)) {
      fprintf(stderr, "no page is called \"%s\"\n", value.c_str());
      return false;
    }
    if (driver.WaitForPage(page, timeout))
      return true;
    fprintf(stderr, "the window showed %s, not %s\n",
            InstallerWindowDriver::PageName(driver.CurrentPage()),
            value.c_str());
    return false;
  }
  if (verb == "press") {
    const int button = InstallerWindowDriver::ButtonFromName(value);
    if (button && driver.Press(button))
      return true;
    fprintf(stderr, "could not press \"%s\"\n", value.c_str());
    return false;
  }
  if (verb == "close") {
    if (driver.Close())
      return true;
    fprintf(stderr, "no window to close\n");
    return false;
  }
  if (verb == "answer") {
    const int button = InstallerWindowDriver::MessageBoxButtonFromName(value);
    if (button && driver.AnswerMessageBox(button, timeout))
      return true;
    fprintf(stderr, "could not answer \"%s\"\n", value.c_str());
    return false;
  }
  if (verb == "shot") {
    if (driver.SaveScreenshot(base::FilePath(base::UTF8ToUTF16(value))))
      return true;
    fprintf(stderr, "could not save %s\n", value.c_str());
    return false;
  }
  fprintf(stderr, "unknown step \"%s\"\n", step.c_str());
  return false;
}

}  // namespace

int wmain() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!arguments)
    return 1;
  unsigned process_id = 0;
  int seconds = 300;
  int first_step = 1;
  for (; first_step < count; ++first_step) {
    const std::string option = base::UTF16ToUTF8(arguments[first_step]);
    if (option.compare(0, 10, "--process=") == 0 &&
        base::StringToUint(option.substr(10), &process_id)) {
      continue;
    }
    if (option.compare(0, 10, "--timeout=") == 0 &&
        base::StringToInt(option.substr(10), &seconds)) {
      continue;
    }
    break;
  }
  const InstallerWindowDriver driver(process_id);
  bool ok = true;
  for (int i = first_step; i < count && ok; ++i) {
    const std::string step = base::UTF16ToUTF8(arguments[i]);
    ok = RunStep(driver, step, base::TimeDelta::FromSeconds(seconds));
    printf("%s %s\n", ok ? "done" : "FAILED", step.c_str());
    fflush(stdout);
  }
  ::LocalFree(arguments);
  return ok ? 0 : 1;
}
