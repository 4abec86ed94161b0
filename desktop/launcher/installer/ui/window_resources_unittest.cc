#include "desktop/launcher/installer/ui/window_resources.h"

#include <set>
#include <string>

#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "desktop/launcher/installer/ui/test/window_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

TEST(WindowResourcesTest, ReadsTheTermsTextWithinTheResource) {
  // The resource may end without a NUL; nothing after it is read.
  const std::string bytes = "one\ntwo\nTRAILING";
  const struct {
    base::StringPiece resource;
    const wchar_t* text;
  } kCases[] = {
      {base::StringPiece(bytes.data(), 7), L"one\r\ntwo"},
      {base::StringPiece(bytes.data(), 8), L"one\r\ntwo\r\n"},
      {base::StringPiece("a\nb\0c\nd", 7), L"a\r\nb"},
      {base::StringPiece("\0a", 2), L""},
      {base::StringPiece(), L""},
      {base::StringPiece("gr\xc3\xbc\xc3\x9f\r\n", 8), L"gr\u00fc\u00df\r\r\n"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.text, TermsTextFromResource(c.resource)) << c.resource;
}

TEST(WindowResourcesTest, DecodesTheHostImages) {
  ScopedInstallerResources resources;
  ASSERT_TRUE(resources.loaded());
  const HMODULE host = GetWindowResourceModule();
  EXPECT_TRUE(LoadResourceBytes(host, 999, L"PNG").empty());
  EXPECT_EQ(nullptr, DecodeImage(base::StringPiece("not an image"), 96));

  const struct {
    int id;
    const wchar_t* type;
    int dpi;
    LONG width;
    LONG height;
  } kImages[] = {
      {IDR_LOGO_IMAGE, L"PNG", 96, 96, 96},
      {IDR_LOGO_IMAGE, L"PNG", 144, 144, 144},
      {IDR_ERROR_BADGE_IMAGE, L"PNG", 96, 32, 32},
      {IDR_ERROR_BADGE_IMAGE, L"PNG", 120, 40, 40},
      {IDR_BACKGROUND_IMAGE, L"JPG", 96, 160, 100},
  };
  for (const auto& image : kImages) {
    GdiObject<HBITMAP> bitmap(
        DecodeImage(LoadResourceBytes(host, image.id, image.type), image.dpi));
    ASSERT_TRUE(bitmap.get()) << image.id;
    DIBSECTION section = {};
    ASSERT_EQ(static_cast<int>(sizeof(section)),
              ::GetObjectW(bitmap.get(), sizeof(section), &section));
    EXPECT_EQ(image.width, section.dsBm.bmWidth);
    EXPECT_EQ(image.height, section.dsBm.bmHeight);
    EXPECT_EQ(32, section.dsBm.bmBitsPixel);
    // Premultiplied alpha: no colour channel above it.
    const uint32_t* pixels = static_cast<const uint32_t*>(section.dsBm.bmBits);
    for (LONG i = 0; i < image.width * image.height; ++i) {
      const uint32_t alpha = pixels[i] >> 24;
      ASSERT_LE((pixels[i] >> 16) & 0xff, alpha) << image.id << " " << i;
      ASSERT_LE(pixels[i] & 0xff, alpha) << image.id << " " << i;
    }
  }
  // The logo: a transparent corner around an opaque red disc.
  GdiObject<HBITMAP> logo(
      DecodeImage(LoadResourceBytes(host, IDR_LOGO_IMAGE, L"PNG"), 96));
  BITMAP bits = {};
  ::GetObjectW(logo.get(), sizeof(bits), &bits);
  const uint32_t* pixels = static_cast<const uint32_t*>(bits.bmBits);
  EXPECT_EQ(0u, pixels[0] >> 24);
  EXPECT_EQ(0xffu, pixels[48 * 96 + 8] >> 24);
  EXPECT_GT((pixels[48 * 96 + 8] >> 16) & 0xff, 0xc0u);
  // Scaled up, its rim is smooth: many shades of alpha, not the few of
  // the image's own pixels repeated.
  GdiObject<HBITMAP> large(
      DecodeImage(LoadResourceBytes(host, IDR_LOGO_IMAGE, L"PNG"), 144));
  ::GetObjectW(large.get(), sizeof(bits), &bits);
  std::set<uint32_t> alphas;
  for (LONG i = 0; i < 144 * 144; ++i)
    alphas.insert(static_cast<const uint32_t*>(bits.bmBits)[i] >> 24);
  EXPECT_GT(alphas.size(), 64u);
  // The background's rows run top down: white above, its footer below.
  GdiObject<HBITMAP> background(
      DecodeImage(LoadResourceBytes(host, IDR_BACKGROUND_IMAGE, L"JPG"), 96));
  ::GetObjectW(background.get(), sizeof(bits), &bits);
  pixels = static_cast<const uint32_t*>(bits.bmBits);
  EXPECT_EQ(0xffffffffu, pixels[5 * 160 + 5]);
  EXPECT_GT(0xfff8f8f8u, pixels[95 * 160 + 5]);
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
