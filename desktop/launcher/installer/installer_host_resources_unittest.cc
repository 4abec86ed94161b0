// Checks the strings of each locale that the installer host offers.

#include <windows.h>

#include <string>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

class InstallerHostResourcesTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t path[MAX_PATH] = {};
    const base::string16 test(path,
                              GetModuleFileNameW(nullptr, path, MAX_PATH));
    host_ = LoadLibraryExW(
        (test.substr(0, test.rfind(L'\\') + 1) + L"installer.exe").c_str(),
        nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(host_) << GetLastError();
  }
  void TearDown() override { FreeLibrary(host_); }

  // The bytes of a resource; empty when missing.
  base::StringPiece Resource(int id, const wchar_t* type, LANGID language = 0) {
    HRSRC info = FindResourceExW(host_, type, MAKEINTRESOURCEW(id), language);
    const void* data = info ? LockResource(LoadResource(host_, info)) : nullptr;
    return data ? base::StringPiece(static_cast<const char*>(data),
                                    SizeofResource(host_, info))
                : base::StringPiece();
  }

  // String |number| in |language|, from its block of 16 counted strings.
  base::string16 String(int number, LANGID language) {
    const base::StringPiece block =
        Resource(number / 16 + 1, RT_STRING, language);
    const wchar_t* entry = reinterpret_cast<const wchar_t*>(block.data());
    const wchar_t* end = entry + block.size() / sizeof(wchar_t);
    for (int i = 0; entry < end && i < number % 16; ++i)
      entry += 1 + static_cast<uint16_t>(*entry);
    if (entry >= end || entry + 1 + static_cast<uint16_t>(*entry) > end)
      return base::string16();
    return base::string16(entry + 1, static_cast<uint16_t>(*entry));
  }

  HMODULE host_ = nullptr;
};

// Each locale of the list has every string, and names itself; text beyond
// ASCII survives the resource compiler.
TEST_F(InstallerHostResourcesTest, EveryLocaleHasEveryString) {
  EXPECT_EQ("en\nde", Resource(IDR_AVAILABLE_LOCALES, L"TXT"));
  const std::pair<LANGID, const wchar_t*> kLanguages[] = {
      {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"English"},
      {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), L"Deutsch"}};
  for (const auto& language : kLanguages) {
    for (int number = 37000; number <= 37060; ++number)
      EXPECT_FALSE(String(number, language.first).empty()) << number;
    EXPECT_EQ(language.second, String(IDS_LANGUAGE_NAME, language.first));
  }
  EXPECT_EQ(L"Zur\u00fcck", String(IDS_BACK, kLanguages[1].first));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
