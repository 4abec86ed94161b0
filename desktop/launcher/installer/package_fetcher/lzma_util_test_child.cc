// A child program for the extractor's tests: it unpacks an archive into a
// folder and ends with the extractor's result, so that a test can watch an
// archive that might end the process.
//   lzma_util_test_child ARCHIVE TARGET_FOLDER

#include "base/at_exit.h"
#include "base/files/file_path.h"
#include "desktop/launcher/installer/package_fetcher/lzma_util.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3)
    return 255;
  base::AtExitManager exit_manager;
  vexlo::installer::LzmaExtractor extractor;
  const uint32_t opened = extractor.Open(base::FilePath(argv[1]));
  if (opened != 0)
    return static_cast<int>(opened);
  return extractor.Extract(base::FilePath(argv[2]));
}
