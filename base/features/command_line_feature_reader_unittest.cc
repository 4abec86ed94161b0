#include "base/features/command_line_feature_reader.h"

#include <io.h>
#include <stdio.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::vector<FeatureOverride> ReadOverrides(const wchar_t* command_line_text) {
  CommandLine command_line(CommandLine::NO_PROGRAM);
  command_line.ParseFromString(command_line_text);
  std::vector<FeatureOverride> overrides;
  CommandLineFeatureReader reader(&command_line);
  reader.ReadFeatures(&overrides);
  return overrides;
}

// Collects what is written to the standard error stream, where the log goes.
class ScopedStderrCapture {
 public:
  ScopedStderrCapture() {
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    if (!::GetTempPathW(MAX_PATH, folder) ||
        !::GetTempFileNameW(folder, L"log", 0, path)) {
      return;
    }
    path_ = path;
    file_ = _wfopen(path, L"w+b");
    if (!file_)
      return;
    fflush(stderr);
    saved_fd_ = _dup(_fileno(stderr));
    if (saved_fd_ >= 0)
      _dup2(_fileno(file_), _fileno(stderr));
  }
  ScopedStderrCapture(const ScopedStderrCapture&) = delete;
  ScopedStderrCapture& operator=(const ScopedStderrCapture&) = delete;
  ~ScopedStderrCapture() {
    Restore();
    if (file_)
      fclose(file_);
    if (!path_.empty())
      ::DeleteFileW(path_.c_str());
  }

  bool is_capturing() const { return saved_fd_ >= 0; }

  // Stops the capture and returns the text.
  std::string Finish() {
    Restore();
    std::string text;
    if (!file_)
      return text;
    rewind(file_);
    char buffer[512];
    size_t read;
    while ((read = fread(buffer, 1, sizeof(buffer), file_)) > 0)
      text.append(buffer, read);
    return text;
  }

 private:
  void Restore() {
    if (saved_fd_ < 0)
      return;
    fflush(stderr);
    _dup2(saved_fd_, _fileno(stderr));
    _close(saved_fd_);
    saved_fd_ = -1;
  }

  std::wstring path_;
  FILE* file_ = nullptr;
  int saved_fd_ = -1;
};

TEST(CommandLineFeatureReaderTest, OnOffAndBareSwitches) {
  const std::vector<FeatureOverride> overrides = ReadOverrides(
      L"prog.exe --with-feature:foo --with-feature:bar=off arg "
      L"--other=on /with-feature:baz=on --with-featurex=on");
  // In switch-name order.
  ASSERT_EQ(3u, overrides.size());
  EXPECT_EQ("bar", overrides[0].name());
  EXPECT_FALSE(overrides[0].IsEnabled());
  EXPECT_EQ("baz", overrides[1].name());
  EXPECT_TRUE(overrides[1].IsEnabled());
  EXPECT_EQ("foo", overrides[2].name());
  EXPECT_TRUE(overrides[2].IsEnabled());
}

TEST(CommandLineFeatureReaderTest, SwitchNamesAreLowerCase) {
  const std::vector<FeatureOverride> overrides =
      ReadOverrides(L"prog.exe --With-Feature:Foo=on");
  ASSERT_EQ(1u, overrides.size());
  EXPECT_EQ("foo", overrides[0].name());
  EXPECT_TRUE(overrides[0].IsEnabled());
}

TEST(CommandLineFeatureReaderTest, OtherValuesAreLoggedAndIgnored) {
  for (const wchar_t* text :
       {L"prog.exe --with-feature:foo=yes", L"prog.exe --with-feature:foo=ON",
        L"prog.exe --with-feature:foo=1",
        L"prog.exe \"--with-feature:foo= on\"",
        // Not ASCII: not read as an empty value, which would mean on.
        L"prog.exe --with-feature:foo=\x00F6n"}) {
    EXPECT_TRUE(ReadOverrides(text).empty()) << text;
  }

  ScopedStderrCapture capture;
  ASSERT_TRUE(capture.is_capturing());
  EXPECT_TRUE(ReadOverrides(L"prog.exe --with-feature:foo=yes").empty());
  const std::string log = capture.Finish();
  EXPECT_NE(std::string::npos,
            log.find("with-feature:foo has unhandled value: \"yes\" did you "
                     "mean \"on\" or \"off\"? Using default setting.\n"))
      << log;
  EXPECT_NE(std::string::npos, log.find("WARNING")) << log;
}

}  // namespace
}  // namespace base
