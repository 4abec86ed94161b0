#include "desktop/common/product/product_configuration.h"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

#include "base/values.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace {

constexpr char kFullConfiguration[] = R"({
  "app_container_sid_prefixes": {"developer": "S-1", "beta": "S-2",
                                 "Stable": "S-3"},
  "company_name": "Example Company",
  "crash_log_product_sufix": " Suffix",
  "default_profile_path_template": "Profile {InternalStream}",
  "domain": "example.invalid",
  "expected_signer": "Example Signer",
  "file_name_base": "example",
  "major_delta": 3,
  "partner_image_download_url_parameter": "image",
  "pref_defaults": {"a": true},
  "product_name": "Example",
  "shortcut_suffix": " Beta",
  "schedule_autoupdate_task": true,
  "sitecheck_host": "check.example.invalid",
  "ui_constants": {"width": 1},
  "urls": {
    "autoupdate": "https://update.example.invalid/",
    "crash": "https://crash.example.invalid/",
    "download_full_windows": "https://example.invalid/get?full=1",
    "firstrun": "https://example.invalid/firstrun"
  },
  "use_tuvrenium_major_for_minor": true,
  "user_agent_name": "VXQ",
  "visible_product_name": "Example Visible",
  "webui_scheme": "example",
  "welcome_page_timeout": 5,
  "white_labeled": true
})";

TEST(ProductConfigurationTest, AccessorsReadTheirKeys) {
  ScopedProductConfiguration configuration(kFullConfiguration);
  EXPECT_EQ("Example Company", ProductConfiguration::GetCompanyName());
  EXPECT_EQ(" Suffix", ProductConfiguration::GetCrashLogProductSuffix());
  EXPECT_EQ("Profile {InternalStream}",
            ProductConfiguration::GetDefaultProfilePathTemplate());
  EXPECT_EQ("example.invalid", ProductConfiguration::GetDomain());
  EXPECT_EQ("Example Signer", ProductConfiguration::GetExpectedSigner());
  EXPECT_EQ("example", ProductConfiguration::GetFileNameBase());
  EXPECT_EQ(3, ProductConfiguration::GetMajorDelta());
  EXPECT_EQ("Example", ProductConfiguration::GetProductName());
  EXPECT_EQ(" Beta", ProductConfiguration::GetShortcutSuffix());
  EXPECT_TRUE(ProductConfiguration::ShouldScheduleAutoupdateTask());
  EXPECT_TRUE(ProductConfiguration::ShouldUseTuvreniumMajorForMinor());
  EXPECT_EQ("VXQ", ProductConfiguration::GetUserAgentName());
  EXPECT_EQ("Example Visible", ProductConfiguration::GetVisibleProductName());
  EXPECT_TRUE(ProductConfiguration::IsWhiteLabeled());
}

TEST(ProductConfigurationTest, MissingKeysAnswerDefaults) {
  ScopedProductConfiguration configuration("{}");
  EXPECT_EQ("", ProductConfiguration::GetCompanyName());
  EXPECT_EQ("", ProductConfiguration::GetCrashLogProductSuffix());
  EXPECT_EQ("", ProductConfiguration::GetDefaultProfilePathTemplate());
  EXPECT_EQ("", ProductConfiguration::GetDomain());
  EXPECT_EQ("", ProductConfiguration::GetExpectedSigner());
  EXPECT_EQ("", ProductConfiguration::GetFileNameBase());
  EXPECT_EQ(0, ProductConfiguration::GetMajorDelta());
  EXPECT_EQ("", ProductConfiguration::GetProductName());
  EXPECT_EQ("", ProductConfiguration::GetShortcutSuffix());
  EXPECT_FALSE(ProductConfiguration::ShouldScheduleAutoupdateTask());
  EXPECT_EQ("", ProductConfiguration::GetUrl("autoupdate"));
  EXPECT_FALSE(ProductConfiguration::ShouldUseTuvreniumMajorForMinor());
  EXPECT_EQ("", ProductConfiguration::GetUserAgentName());
  EXPECT_EQ("", ProductConfiguration::GetVisibleProductName());
  EXPECT_FALSE(ProductConfiguration::IsWhiteLabeled());
}

// A value of another type counts as missing, whatever it would convert to.
TEST(ProductConfigurationTest, ValuesOfAnotherTypeAnswerDefaults) {
  ScopedProductConfiguration configuration(R"({
    "company_name": 5,
    "domain": true,
    "expected_signer": {"name": "x"},
    "file_name_base": ["x"],
    "major_delta": "3",
    "product_name": null,
    "schedule_autoupdate_task": 1,
    "use_tuvrenium_major_for_minor": "true",
    "user_agent_name": 1.5,
    "white_labeled": "yes",
    "urls": "https://example.invalid/"
  })");
  EXPECT_EQ("", ProductConfiguration::GetCompanyName());
  EXPECT_EQ("", ProductConfiguration::GetDomain());
  EXPECT_EQ("", ProductConfiguration::GetExpectedSigner());
  EXPECT_EQ("", ProductConfiguration::GetFileNameBase());
  EXPECT_EQ(0, ProductConfiguration::GetMajorDelta());
  EXPECT_EQ("", ProductConfiguration::GetProductName());
  EXPECT_FALSE(ProductConfiguration::ShouldScheduleAutoupdateTask());
  EXPECT_FALSE(ProductConfiguration::ShouldUseTuvreniumMajorForMinor());
  EXPECT_EQ("", ProductConfiguration::GetUserAgentName());
  EXPECT_FALSE(ProductConfiguration::IsWhiteLabeled());
  EXPECT_EQ("", ProductConfiguration::GetUrl("autoupdate"));

  // A fractional delta is not an integer either.
  ScopedProductConfiguration fractional(R"({"major_delta": 2.5})");
  EXPECT_EQ(0, ProductConfiguration::GetMajorDelta());
}

TEST(ProductConfigurationTest, GetUrlReadsEntriesOfTheUrlsObject) {
  ScopedProductConfiguration configuration(kFullConfiguration);
  EXPECT_EQ("https://update.example.invalid/",
            ProductConfiguration::GetUrl("autoupdate"));
  EXPECT_EQ("https://example.invalid/get?full=1",
            ProductConfiguration::GetUrl("download_full_windows"));
  EXPECT_EQ("", ProductConfiguration::GetUrl("help"));
  EXPECT_EQ("", ProductConfiguration::GetUrl(""));
  // Only the "urls" object answers, not a top-level key of the same name.
  EXPECT_EQ("", ProductConfiguration::GetUrl("domain"));

  ScopedProductConfiguration without_urls(R"({"autoupdate": "x"})");
  EXPECT_EQ("", ProductConfiguration::GetUrl("autoupdate"));
}

TEST(ProductConfigurationTest, TextThatIsNotAnObjectParsesToAnEmptyDocument) {
  for (const char* text : {"", "[]", "\"text\"", "42", "{\"company_name\": ",
                           "{} {}", "{\"company_name\": \"x\",}"}) {
    SCOPED_TRACE(text);
    std::unique_ptr<base::DictionaryValue> dictionary =
        ProductConfiguration::Parse(text);
    ASSERT_TRUE(dictionary);
    EXPECT_TRUE(dictionary->empty());
  }
  // The size decides: no terminator is needed, and a NUL is not one.
  const std::string with_nul("{\"domain\": \"a\"}\0junk", 20);
  EXPECT_TRUE(ProductConfiguration::Parse(with_nul)->empty());

  ScopedProductConfiguration configuration("[\"company_name\"]");
  EXPECT_EQ("", ProductConfiguration::GetCompanyName());
  EXPECT_EQ(0, ProductConfiguration::GetMajorDelta());
}

TEST(ProductConfigurationTest, SwappingInADocumentReplacesTheProcessWideOne) {
  ScopedProductConfiguration first(R"({"company_name": "First"})");
  const base::DictionaryValue* first_dictionary =
      ProductConfiguration::GetDictionary();
  {
    ScopedProductConfiguration second(R"({"company_name": "Second"})");
    EXPECT_NE(first_dictionary, ProductConfiguration::GetDictionary());
    EXPECT_EQ("Second", ProductConfiguration::GetCompanyName());
  }
  EXPECT_EQ(first_dictionary, ProductConfiguration::GetDictionary());
  EXPECT_EQ("First", ProductConfiguration::GetCompanyName());
}

// The test executable carries no configuration of its own, so the document
// comes from the test library beside it, which the build puts there.
TEST(ProductConfigurationTest, ReadsTheTestLibraryWhenTheExecutableHasNone) {
  ASSERT_FALSE(
      FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(133), L"TXT"));

  const std::string text = ProductConfiguration::ReadResourceText();
  ASSERT_FALSE(text.empty());
  EXPECT_EQ('{', text.front());
  EXPECT_NE(nullptr, GetModuleHandleW(L"_krontalib.pyd"));

  // Forget any document loaded so far, so that the next query loads it.
  std::unique_ptr<base::DictionaryValue> previous =
      ProductConfiguration::SwapDictionaryForTesting(nullptr);
  EXPECT_EQ("Vexlo Test Company", ProductConfiguration::GetCompanyName());
  EXPECT_EQ(7, ProductConfiguration::GetMajorDelta());
  EXPECT_TRUE(ProductConfiguration::IsWhiteLabeled());
  EXPECT_EQ("https://crash.test.example.invalid/",
            ProductConfiguration::GetUrl("crash"));
  // UTF-8 text comes through unchanged.
  EXPECT_EQ(
      "Vexlo Test \xC3\x9Cn\xC3\xAF"
      "code",
      ProductConfiguration::GetVisibleProductName());
  const base::DictionaryValue* loaded = ProductConfiguration::GetDictionary();
  // Loaded once: later queries use the same document.
  EXPECT_EQ(loaded, ProductConfiguration::GetDictionary());

  ProductConfiguration::SwapDictionaryForTesting(std::move(previous));
}

}  // namespace
}  // namespace vexlo
