// A child program for the logging tests: several copies append to one log
// file at once.
//   LOG EVENT TAG COUNT   opens LOG for logging, waits until the event
//                         named EVENT is set, then logs COUNT lines
//                         "TAG N" (N from 0). Exits with 0, or 1 when the
//                         log or the event could not be opened.

#include <windows.h>

#include <stdlib.h>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 5)
    return 1;
  base::CommandLine::Init();
  base::LoggingSettings settings;
  settings.log_file = argv[1];
  if (!base::InitLogging(settings))
    return 1;
  const HANDLE start = ::OpenEventW(SYNCHRONIZE, FALSE, argv[2]);
  if (!start || ::WaitForSingleObject(start, 30000) != WAIT_OBJECT_0)
    return 1;
  const std::string tag = base::UTF16ToUTF8(argv[3]);
  const int count = _wtoi(argv[4]);
  for (int i = 0; i < count; ++i)
    LOG(INFO) << tag << " " << i;
  return 0;
}
