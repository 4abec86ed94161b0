#include "base/features/command_line_feature_reader.h"

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/logging.h"
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

// Collects the log lines written while it lives, keeping them from the log's
// destinations.
class ScopedLogCapture {
 public:
  ScopedLogCapture() {
    captured_ = &lines_;
    SetLogMessageHandler(&Capture);
  }
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
  ~ScopedLogCapture() {
    SetLogMessageHandler(nullptr);
    captured_ = nullptr;
  }

  const std::string& lines() const { return lines_; }

 private:
  static bool Capture(int /*severity*/,
                      const char* /*file*/,
                      int /*line*/,
                      size_t /*message_start*/,
                      const std::string& str) {
    captured_->append(str);
    return true;
  }

  static std::string* captured_;
  std::string lines_;
};

std::string* ScopedLogCapture::captured_ = nullptr;

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

  std::string log;
  {
    ScopedLogCapture capture;
    EXPECT_TRUE(ReadOverrides(L"prog.exe --with-feature:foo=yes").empty());
    log = capture.lines();
  }
  EXPECT_NE(std::string::npos,
            log.find("with-feature:foo has unhandled value: \"yes\" did you "
                     "mean \"on\" or \"off\"? Using default setting.\n"))
      << log;
  EXPECT_NE(std::string::npos, log.find("WARNING")) << log;
}

}  // namespace
}  // namespace base
