#include "desktop/launcher/installer/ui/rich_text_links.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

TEST(RichTextLinksTest, RewritesWellFormedLinksOnly) {
  const struct {
    const wchar_t* text;
    const wchar_t* rewritten;
    const wchar_t* labels;
  } kCases[] = {
      {L"plain", L"plain", L"plain"},
      {L"By <a href=\"tos\">terms</a>.", L"By $1tos$2terms$3.", L"By terms."},
      {L"<a href=\"a\">x</a><a href=\"b\">y</a>!", L"$1a$2x$3$1b$2y$3!",
       L"xy!"},
      {L"<a class=\"c\" href=\"tos\" >terms</a>", L"$1tos$2terms$3", L"terms"},
      // Cut short: no closing quote, no '>', no "</a>", no target at all.
      {L"a <a href=\"tos>x", L"a <a href=\"tos>x", L"a <a href=\"tos>x"},
      {L"a <a href=\"tos\"", L"a <a href=\"tos\"", L"a <a href=\"tos\""},
      {L"a <a href=\"tos\">x", L"a <a href=\"tos\">x", L"a <a href=\"tos\">x"},
      {L"a <a>x</a>", L"a <a>x</a>", L"a <a>x</a>"},
      // A good link, then a broken one that stays as it is.
      {L"<a href=\"t\">l</a> and <a href=\"u\">m",
       L"$1t$2l$3 and <a href=\"u\">m", L"l and <a href=\"u\">m"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.rewritten, RewriteLinks(c.text)) << c.text;
    std::vector<TextLink> links;
    EXPECT_EQ(c.labels, ReduceLinksToLabels(c.text, &links)) << c.text;
  }
}

TEST(RichTextLinksTest, ReducesLinksToMarkedLabels) {
  std::vector<TextLink> links;
  const base::string16 text = ReduceLinksToLabels(
      L"Read <a href=\"tos\">the terms</a> or <a href=\"faq\">help</a>.",
      &links);
  ASSERT_EQ(2u, links.size());
  EXPECT_EQ(L"tos", links[0].target);
  EXPECT_EQ(L"the terms", text.substr(links[0].start, links[0].length));
  EXPECT_EQ(L"faq", links[1].target);
  EXPECT_EQ(L"help", text.substr(links[1].start, links[1].length));
}

TEST(RichTextLinksTest, ReplacesPlaceholdersWithHyperlinkFields) {
  const std::string rtf = "{\\rtf1 By $1tos$2terms$3. Or $1faq$2help$3}";
  EXPECT_EQ(
      "{\\rtf1 By {\\field{\\*\\fldinst{HYPERLINK \"tos\"}}{\\fldrslt{\\ul "
      "terms}}}. Or {\\field{\\*\\fldinst{HYPERLINK \"faq\"}}{\\fldrslt{\\ul "
      "help}}}}",
      ReplaceLinkPlaceholders(rtf, false));
  EXPECT_EQ(
      "{\\rtf1 By \\line{\\field{\\*\\fldinst{HYPERLINK \"tos\"}}{\\fldrslt{"
      "\\ul terms}}}. Or \\line{\\field{\\*\\fldinst{HYPERLINK \"faq\"}}{"
      "\\fldrslt{\\ul help}}}}",
      ReplaceLinkPlaceholders(rtf, true));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
