#include "desktop/common/l10n/l10n_util.h"

#include <vector>

#include "base/strings/string16.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace l10n {
namespace {

using Locales = std::vector<base::string16>;

// One tag per line, trimmed; empty lines, a final line feed's among them,
// stay as empty tags.
TEST(L10nUtilTest, ParsesOneTagPerLine) {
  EXPECT_EQ(Locales({L"en", L"de", L"zh-tw"}),
            ParseAvailableLocales("en\r\n de \r\n\tzh-tw"));
  EXPECT_EQ(Locales({L"en", L"", L"de", L""}),
            ParseAvailableLocales("en\r\n\r\nde\r\n"));
  EXPECT_EQ(Locales(), ParseAvailableLocales(""));
  // The test executable carries no locale list.
  EXPECT_EQ(Locales(), GetAvailableLocales());
}

}  // namespace
}  // namespace l10n
}  // namespace vexlo
