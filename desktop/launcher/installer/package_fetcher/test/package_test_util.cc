#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"

#include "base/base_paths.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/synchronization/lock.h"

namespace vexlo {
namespace installer {

namespace {

std::vector<std::string>* g_lines = nullptr;

// Lines come from every thread of the code under test.
base::Lock& LinesLock() {
  static base::Lock* lock = new base::Lock;
  return *lock;
}

bool CollectLine(int /*severity*/,
                 const char* /*file*/,
                 int /*line*/,
                 size_t message_start,
                 const std::string& text) {
  base::AutoLock hold(LinesLock());
  if (g_lines)
    g_lines->push_back(text.substr(message_start));
  return true;
}

}  // namespace

base::FilePath PackageFixture(const wchar_t* name) {
  base::FilePath exe_dir;
  base::PathService::Get(base::DIR_EXE, &exe_dir);
  return exe_dir.Append(L"package_fixtures").Append(name);
}

std::string ReadWholeFile(const base::FilePath& path) {
  std::string contents;
  base::ReadFileToString(path, &contents);
  return contents;
}

ScopedLogCapture::ScopedLogCapture() {
  base::AutoLock hold(LinesLock());
  g_lines = &lines_;
  base::SetLogMessageHandler(&CollectLine);
}

ScopedLogCapture::~ScopedLogCapture() {
  base::SetLogMessageHandler(nullptr);
  base::AutoLock hold(LinesLock());
  g_lines = nullptr;
}

bool ScopedLogCapture::Saw(const std::string& text) const {
  base::AutoLock hold(LinesLock());
  for (const std::string& line : lines_) {
    if (line.compare(0, text.size(), text) == 0)
      return true;
  }
  return false;
}

}  // namespace installer
}  // namespace vexlo
