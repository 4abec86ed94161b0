#include "desktop/common/product/product_configuration.h"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

#include "base/strings/string_number_conversions.h"
#include "base/values.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace {

using Configuration = ProductConfiguration;

// Every accessor's answer, separated by "|".
std::string DescribeConfiguration() {
  return Configuration::GetCompanyName() + "|" +
         Configuration::GetCrashLogProductSuffix() + "|" +
         Configuration::GetDefaultProfilePathTemplate() + "|" +
         Configuration::GetDomain() + "|" + Configuration::GetExpectedSigner() +
         "|" + Configuration::GetFileNameBase() + "|" +
         base::IntToString(Configuration::GetMajorDelta()) + "|" +
         Configuration::GetProductName() + "|" +
         Configuration::GetShortcutSuffix() + "|" +
         (Configuration::ShouldScheduleAutoupdateTask() ? "1|" : "0|") +
         Configuration::GetUrl("autoupdate") + "|" +
         Configuration::GetUrl("download_full_windows") + "|" +
         (Configuration::ShouldUseTuvreniumMajorForMinor() ? "1|" : "0|") +
         Configuration::GetUserAgentName() + "|" +
         Configuration::GetVisibleProductName() + "|" +
         (Configuration::IsWhiteLabeled() ? "1" : "0");
}

// A missing key, or a value of another type whatever it would convert to,
// answers the default. Text that is not one JSON object is an empty
// document; its size decides, a NUL does not end it.
TEST(ProductConfigurationTest, AccessorsReadTheirKeys) {
  const std::pair<std::string, const char*> kCases[] = {
      {R"({"company_name": "Company", "crash_log_product_sufix": " Suffix",
           "default_profile_path_template": "Profile {InternalStream}",
           "domain": "example.invalid", "expected_signer": "Signer",
           "file_name_base": "example", "major_delta": 3,
           "product_name": "Example", "shortcut_suffix": " Beta",
           "schedule_autoupdate_task": true,
           "urls": {"autoupdate": "https://u.invalid/",
                    "download_full_windows": "https://f.invalid/?full=1"},
           "use_tuvrenium_major_for_minor": true, "user_agent_name": "VXQ",
           "visible_product_name": "Visible", "white_labeled": true,
           "autoupdate": "not a url", "pref_defaults": {"a": true}})",
       "Company| Suffix|Profile {InternalStream}|example.invalid|Signer|"
       "example|3|Example| Beta|1|https://u.invalid/|https://f.invalid/?full=1|"
       "1|VXQ|Visible|1"},
      {R"({"company_name": 5, "domain": true, "expected_signer": {"a": "x"},
           "file_name_base": ["x"], "major_delta": "3", "product_name": null,
           "schedule_autoupdate_task": 1, "urls": "https://u.invalid/",
           "use_tuvrenium_major_for_minor": "true", "user_agent_name": 1.5,
           "white_labeled": "yes", "autoupdate": "https://u.invalid/"})",
       "||||||0|||0|||0|||0"},
      {"[\"company_name\"]", "||||||0|||0|||0|||0"},
      {"{} {}", "||||||0|||0|||0|||0"},
      {std::string("{\"domain\": \"a\"}\0junk", 20), "||||||0|||0|||0|||0"}};
  for (const auto& c : kCases) {
    ScopedProductConfiguration configuration(c.first);
    EXPECT_EQ(c.second, DescribeConfiguration()) << c.first;
  }
}

// Scopes nest: each puts back the document that was there when it began.
TEST(ProductConfigurationTest, NestedScopesRestoreTheOuterDocument) {
  const std::string before = Configuration::GetDomain();
  {
    ScopedProductConfiguration outer(R"({"domain": "outer.invalid"})");
    {
      ScopedProductConfiguration inner(R"({"domain": "inner.invalid"})");
      EXPECT_EQ("inner.invalid", Configuration::GetDomain());
    }
    EXPECT_EQ("outer.invalid", Configuration::GetDomain());
  }
  EXPECT_EQ(before, Configuration::GetDomain());
}

// The test executable carries no configuration of its own, so the document
// comes from the test library beside it, which the build puts there. It is
// loaded once, by the first query, and its UTF-8 text comes through as it is.
TEST(ProductConfigurationTest, ReadsTheTestLibraryWhenTheExecutableHasNone) {
  ASSERT_FALSE(
      FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(133), L"TXT"));
  std::unique_ptr<base::DictionaryValue> previous =
      Configuration::SwapDictionaryForTesting(nullptr);
  EXPECT_EQ(
      "Vexlo Test Company| (test)|Vexlo Test\\Profile {InternalStream}|"
      "test.example.invalid|Vexlo Test Signer|vexlo_test|7|VexloTest| Test|1|"
      "https://autoupdate.test.example.invalid/||1|VXQ|"
      "Vexlo Test \xC3\x9Cn\xC3\xAF"
      "code|1",
      DescribeConfiguration());
  const base::DictionaryValue* loaded = Configuration::GetDictionary();
  EXPECT_EQ(loaded, Configuration::GetDictionary());
  EXPECT_NE(nullptr, GetModuleHandleW(L"_krontalib.pyd"));
  Configuration::SwapDictionaryForTesting(std::move(previous));
}

}  // namespace
}  // namespace vexlo
