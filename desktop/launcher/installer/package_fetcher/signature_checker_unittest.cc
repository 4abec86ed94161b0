#include "desktop/launcher/installer/package_fetcher/signature_checker.h"

#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

bool Trusted(const base::FilePath&) {
  return true;
}
bool Untrusted(const base::FilePath&) {
  return false;
}

TEST(SignatureCheckerTest, AcceptsOnlyTheExpectedTrustedSigner) {
  base::UniqueTestDir dir;
  const base::FilePath text = dir.path().Append(L"text.txt");
  ASSERT_EQ(5, base::WriteFile(text, "MZ...", 5));
  // The smallest image: its certificate table's size field ends the file.
  const auto write_image = [&dir](const wchar_t* name, const char* magic,
                                  const char* header_offset) {
    std::string image(0xF0, '\0');
    image.replace(0, 2, magic);
    image.replace(0x3C, 6, std::string(header_offset, 4) + "PE");
    const base::FilePath path = dir.path().Append(name);
    EXPECT_EQ(0xF0, base::WriteFile(path, image.data(), image.size()));
    return path;
  };
  const wchar_t* const kSigner = L"Vexlo Test Signer";
  const struct {
    base::FilePath path;
    TrustDecision trust;
    const wchar_t* signer;
    bool verified;
    bool is_image;
  } cases[] = {
      {PackageFixture(L"signed.exe"), &Trusted, kSigner, true, true},
      {PackageFixture(L"signed_package.exe"), &Trusted, kSigner, true, true},
      {PackageFixture(L"signed.exe"), &Untrusted, kSigner, false, true},
      {PackageFixture(L"signed_case.exe"), &Trusted, L"vexlo test signer",
       false, true},
      {PackageFixture(L"unsigned.exe"), &Trusted, nullptr, false, true},
      {write_image(L"tight.exe", "MZ", "\x40\0\0\0"), &Trusted, nullptr, false,
       true},
      {write_image(L"zm.exe", "ZM", "\x40\0\0\0"), &Trusted, nullptr, false,
       false},
      {write_image(L"far.exe", "MZ", "\0\xFF\xFF\x7F"), &Trusted, nullptr,
       false, false},
      {text, &Trusted, nullptr, false, false},
      {dir.path().Append(L"missing.exe"), &Trusted, nullptr, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.AsUTF8());
    // Only an image answers whether it is signed; otherwise the answer is
    // left alone.
    bool is_signed = !c.is_image;
    EXPECT_EQ(c.is_image, IsFileSigned(c.path, &is_signed));
    EXPECT_EQ(c.signer != nullptr || !c.is_image, is_signed);
    base::string16 name;
    EXPECT_EQ(c.signer != nullptr, ReadSignerName(c.path, &name));
    EXPECT_EQ(c.signer ? c.signer : L"", name);
    SetTrustDecisionForTesting(c.trust);
    EXPECT_EQ(c.verified, VerifySigner(c.path));
    SetTrustDecisionForTesting(nullptr);
  }
}

// Wine trusts any well-formed signature, so only refusals can be checked.
TEST(SignatureCheckerTest, WindowsRefusesMissingAndBrokenSignatures) {
  EXPECT_FALSE(IsTrustedByWindows(PackageFixture(L"unsigned.exe")));
  // The payload inserted before the signature changed the signed bytes.
  EXPECT_FALSE(IsTrustedByWindows(PackageFixture(L"inserted_package.exe")));
  EXPECT_FALSE(VerifySigner(PackageFixture(L"inserted_package.exe")));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
