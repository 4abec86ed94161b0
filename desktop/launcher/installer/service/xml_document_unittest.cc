#include "desktop/launcher/installer/service/xml_document.h"

#include <objbase.h>

#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

using Move = XmlDocument::Move;

class XmlDocumentTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { ::CoUninitialize(); }
};

// The writer builds below the cursor and refuses what has no element to go
// to; nothing works before the document exists.
TEST_F(XmlDocumentTest, WritesOnlyWhereAnElementIs) {
  XmlDocument document;
  EXPECT_FALSE(document.OpenElement("a"));
  EXPECT_EQ(Move::kError, document.MoveToFirstChildElement());
  ASSERT_TRUE(document.Initialize());
  EXPECT_FALSE(document.SetText("x"));
  EXPECT_FALSE(document.SetAttribute("n", "v"));
  ASSERT_TRUE(document.OpenElement("a"));
  EXPECT_TRUE(document.SetAttribute("n", "v\"<"));
  EXPECT_TRUE(document.OpenElement("b"));
  EXPECT_TRUE(document.SetText("t"));
  EXPECT_TRUE(document.CloseElement());
  EXPECT_TRUE(document.OpenElement("c"));
  EXPECT_TRUE(document.CloseElement());
  EXPECT_FALSE(document.CloseElement());
  std::string text;
  ASSERT_TRUE(document.SaveToString(&text));
  EXPECT_EQ(
      "<?xml version=\"1.0\"?>\n<a n=\"v&quot;&lt;\">\n <b>t</b>\n <c/>\n"
      "</a>\n",
      text);
}

// The reader walks elements only, moves only when it finds one, and tells
// an absent attribute from an empty one.
TEST_F(XmlDocumentTest, ReadsElementsOfAFile) {
  base::UniqueTestDir dir;
  const base::FilePath file = dir.path().Append(L"d.xml");
  const std::string kText =
      "<a n=\"\"><!-- c --> <b m=\"1\">x<![CDATA[<y>]]> z</b>t<c/></a>";
  ASSERT_EQ(
      static_cast<int>(kText.size()),
      base::WriteFile(file, kText.data(), static_cast<int>(kText.size())));
  XmlDocument document;
  ASSERT_TRUE(document.Initialize());
  EXPECT_FALSE(document.Load(dir.path().Append(L"missing.xml")));
  ASSERT_TRUE(document.Load(file));
  EXPECT_EQ(Move::kFound, document.MoveToFirstChildElement());
  base::string16 value = L"kept";
  EXPECT_TRUE(document.GetAttribute("n", &value));
  EXPECT_EQ(L"", value);
  EXPECT_FALSE(document.GetAttribute("m", &value));
  EXPECT_EQ(Move::kNone, document.MoveToParentElement());
  EXPECT_EQ(Move::kNone, document.MoveToNextSiblingElement());
  EXPECT_EQ(L"a", document.GetNodeName());
  EXPECT_EQ(L" t", document.GetNodeText());
  EXPECT_EQ(Move::kFound, document.MoveToFirstChildElement());
  EXPECT_EQ(L"b", document.GetNodeName());
  EXPECT_EQ(L"x<y> z", document.GetNodeText());
  EXPECT_EQ(Move::kNone, document.MoveToFirstChildElement());
  EXPECT_EQ(Move::kFound, document.MoveToNextSiblingElement());
  EXPECT_EQ(L"c", document.GetNodeName());
  EXPECT_EQ(Move::kNone, document.MoveToNextSiblingElement());
  EXPECT_EQ(Move::kFound, document.MoveToParentElement());
  EXPECT_EQ(L"a", document.GetNodeName());

  const std::string kBroken = "<a><b></a>";
  ASSERT_EQ(
      static_cast<int>(kBroken.size()),
      base::WriteFile(file, kBroken.data(), static_cast<int>(kBroken.size())));
  EXPECT_FALSE(document.Load(file));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
