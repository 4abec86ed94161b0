// Checks the installer host's resources against what the installer library
// reads from them: the product configuration, the locales and their
// strings, the terms, the dialog templates with their controls and the
// images.

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/values.h"
#include "desktop/common/product/experiments.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/common/product/test/scoped_product_configuration.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr int kFirstString = 37000;
constexpr int kLastString = 37060;

// The host's languages and their Windows language identifiers.
struct HostLanguage {
  const char* tag;
  LANGID language;
};
constexpr HostLanguage kHostLanguages[] = {
    {"en", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)},
    {"de", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)},
};

class InstallerHostResourcesTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    base::string16 host(path, length);
    host = host.substr(0, host.find_last_of(L'\\') + 1) + L"installer.exe";
    host_ = LoadLibraryExW(
        host.c_str(), nullptr,
        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(host_) << GetLastError();
  }
  void TearDown() override {
    if (host_)
      FreeLibrary(host_);
  }

  // The bytes of a resource; empty when missing.
  base::StringPiece Resource(int id,
                             const wchar_t* type,
                             LANGID language = MAKELANGID(LANG_NEUTRAL,
                                                          SUBLANG_NEUTRAL)) {
    HRSRC info = FindResourceExW(host_, type, MAKEINTRESOURCEW(id), language);
    if (!info)
      return base::StringPiece();
    const void* data = LockResource(LoadResource(host_, info));
    if (!data)
      return base::StringPiece();
    return base::StringPiece(static_cast<const char*>(data),
                             SizeofResource(host_, info));
  }

  // String |number| of the string table in |language|, read from its block
  // of 16 counted strings; empty when missing.
  base::string16 String(int number, LANGID language) {
    const base::StringPiece block =
        Resource(number / 16 + 1, RT_STRING, language);
    const wchar_t* entry = reinterpret_cast<const wchar_t*>(block.data());
    const wchar_t* end = entry + block.size() / sizeof(wchar_t);
    for (int i = 0; entry < end; ++i) {
      const size_t length = static_cast<uint16_t>(*entry);
      if (entry + 1 + length > end)
        break;
      if (i == number % 16)
        return base::string16(entry + 1, length);
      entry += 1 + length;
    }
    return base::string16();
  }

  HMODULE host_ = nullptr;
};

INT_PTR CALLBACK IgnoreDialogMessage(HWND /* dialog */,
                                     UINT /* message */,
                                     WPARAM /* wparam */,
                                     LPARAM /* lparam */) {
  return FALSE;
}

// The identifiers of the direct children of |window|.
std::set<int> GetChildIds(HWND window) {
  std::set<int> ids;
  for (HWND child = GetWindow(window, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    ids.insert(GetDlgCtrlID(child));
  }
  return ids;
}

// Registers the window classes the installer window's templates use, as the
// window itself does before it creates them.
void RegisterControlClasses() {
  HMODULE common_controls = LoadLibraryW(L"comctl32.dll");
  ASSERT_TRUE(common_controls);
  using InitCommonControlsExFunction =
      BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init_common_controls =
      reinterpret_cast<InitCommonControlsExFunction>(reinterpret_cast<void*>(
          GetProcAddress(common_controls, "InitCommonControlsEx")));
  ASSERT_TRUE(init_common_controls);
  INITCOMMONCONTROLSEX classes = {sizeof(classes),
                                  ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ASSERT_TRUE(init_common_controls(&classes));
  ASSERT_TRUE(LoadLibraryW(L"Msftedit.dll"));
}

TEST_F(InstallerHostResourcesTest, ConfigurationHasEveryKey) {
  const base::StringPiece text = Resource(IDR_PRODUCT_CONFIGURATION, L"TXT");
  ASSERT_FALSE(text.empty());
  ScopedProductConfiguration configuration(text);
  const base::DictionaryValue* document = ProductConfiguration::GetDictionary();
  ASSERT_FALSE(document->empty());

  EXPECT_EQ("Vexlo", ProductConfiguration::GetCompanyName());
  EXPECT_EQ("Vexlo", ProductConfiguration::GetProductName());
  EXPECT_EQ("Vexlo", ProductConfiguration::GetVisibleProductName());
  EXPECT_EQ("VXQ", ProductConfiguration::GetUserAgentName());
  EXPECT_EQ("Vexlo Test Signer", ProductConfiguration::GetExpectedSigner());
  EXPECT_FALSE(ProductConfiguration::GetFileNameBase().empty());
  EXPECT_FALSE(ProductConfiguration::GetDomain().empty());
  EXPECT_NE(std::string::npos,
            ProductConfiguration::GetDefaultProfilePathTemplate().find(
                "{InternalStream}"));
  EXPECT_EQ("12.0.1450.0", ProductInfo::GetVersionString());
  EXPECT_LE(0, FindExperimentIndex(ProductInfo::GetUserAgentName(),
                                   ProductInfo::GetChannelCode()));

  // Keys whose default is also a valid value must be there all the same.
  for (const char* key : {"crash_log_product_sufix", "shortcut_suffix"}) {
    std::string value;
    EXPECT_TRUE(document->GetString(key, &value)) << key;
  }
  int major_delta = -1;
  EXPECT_TRUE(document->GetInteger("major_delta", &major_delta));
  for (const char* key : {"schedule_autoupdate_task",
                          "use_tuvrenium_major_for_minor", "white_labeled"}) {
    bool value = false;
    EXPECT_TRUE(document->GetBoolean(key, &value)) << key;
  }

  for (const char* name :
       {"autoupdate", "crash", "download_full_windows", "uninstall_survey",
        "help", "homepage", "download"}) {
    EXPECT_EQ(0u, ProductConfiguration::GetUrl(name).find("https://")) << name;
  }
  // Endpoints are appended to the update server's address, and further
  // parameters to the full package's query.
  const std::string autoupdate = ProductConfiguration::GetUrl("autoupdate");
  EXPECT_EQ('/', autoupdate.back());
  EXPECT_NE(std::string::npos,
            ProductConfiguration::GetUrl("download_full_windows").find('?'));
}

TEST_F(InstallerHostResourcesTest, EveryLocaleHasEveryString) {
  const base::StringPiece locales = Resource(IDR_AVAILABLE_LOCALES, L"TXT");
  const std::vector<std::string> tags = base::SplitString(
      locales, "\n", base::TRIM_WHITESPACE, base::SPLIT_WANT_ALL);
  ASSERT_EQ(std::size(kHostLanguages), tags.size());

  std::set<base::string16> language_names;
  for (size_t i = 0; i < tags.size(); ++i) {
    const HostLanguage& language = kHostLanguages[i];
    SCOPED_TRACE(language.tag);
    EXPECT_EQ(language.tag, tags[i]);
    for (int number = kFirstString; number <= kLastString; ++number)
      EXPECT_FALSE(String(number, language.language).empty()) << number;

    // The strings that callers fill in.
    for (int number : {IDS_WELCOME_TEXT, IDS_TITLE, IDS_ERROR_OLD_WINDOWS,
                       IDS_ERROR_GENERIC}) {
      EXPECT_NE(base::string16::npos,
                String(number, language.language).find(L"$1"))
          << number;
    }
    EXPECT_NE(
        base::string16::npos,
        String(IDS_WELCOME_TEXT, language.language).find(L"<a href=\"tos\">"));
    language_names.insert(String(IDS_LANGUAGE_NAME, language.language));
  }
  // Each language names itself.
  EXPECT_EQ(tags.size(), language_names.size());
  EXPECT_EQ(L"Deutsch", String(IDS_LANGUAGE_NAME, kHostLanguages[1].language));
  // Text beyond ASCII survives the resource compiler.
  EXPECT_EQ(L"Zur\u00fcck", String(IDS_BACK, kHostLanguages[1].language));
}

TEST_F(InstallerHostResourcesTest, TermsAreNulTerminatedUtf8) {
  const base::StringPiece terms = Resource(IDR_TERMS_TEXT, L"TXT");
  ASSERT_GT(terms.size(), 1u);
  EXPECT_EQ('\0', terms[terms.size() - 1]);
  const base::StringPiece text = terms.substr(0, terms.size() - 1);
  EXPECT_EQ(base::StringPiece::npos, text.find('\0'));
  EXPECT_LT(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                   static_cast<int>(text.size()), nullptr, 0));
}

// Creates both dialogs from their templates, as the installer window does.
TEST_F(InstallerHostResourcesTest, DialogsCarryTheWindowsControls) {
  RegisterControlClasses();
  const base::StringPiece window_template =
      Resource(IDD_INSTALLER_WINDOW, RT_DIALOG);
  const base::StringPiece options_template =
      Resource(IDD_INSTALLER_OPTIONS, RT_DIALOG);
  ASSERT_FALSE(window_template.empty());
  ASSERT_FALSE(options_template.empty());

  HWND window = CreateDialogIndirectParamW(
      GetModuleHandleW(nullptr),
      reinterpret_cast<LPCDLGTEMPLATEW>(window_template.data()), nullptr,
      &IgnoreDialogMessage, 0);
  ASSERT_TRUE(window) << GetLastError();
  EXPECT_EQ(
      (std::set<int>{IDC_LOGO, IDC_OPTIONS_BUTTON, IDC_CANCEL_BUTTON,
                     IDC_ACCEPT_BUTTON, IDC_FULL_PACKAGE_BUTTON,
                     IDC_RETRY_BUTTON, IDC_UNINSTALL_BUTTON, IDC_TITLE,
                     IDC_WELCOME_TEXT, IDC_PROGRESS_HEADER,
                     IDC_INSTALL_ERROR_HEADER, IDC_MESSAGE, IDC_TERMS,
                     IDC_BACK_BUTTON, IDC_PROGRESS_BAR, IDC_UNINSTALL_LABEL,
                     IDC_DELETE_PROFILE, IDC_UNINSTALL_ERROR_HEADER}),
      GetChildIds(window));
  EXPECT_FALSE(GetWindowLongW(window, GWL_STYLE) & WS_CHILD);

  HWND options = CreateDialogIndirectParamW(
      GetModuleHandleW(nullptr),
      reinterpret_cast<LPCDLGTEMPLATEW>(options_template.data()), window,
      &IgnoreDialogMessage, 0);
  EXPECT_TRUE(options) << GetLastError();
  if (options) {
    EXPECT_EQ(
        (std::set<int>{IDC_LANGUAGE, IDC_INSTALL_MODE, IDC_INSTALL_FOLDER,
                       IDC_BROWSE_BUTTON, IDC_DEFAULT_BROWSER, IDC_IMPORT_DATA,
                       IDC_STATISTICS, IDC_FOLDER_WARNING, IDC_LANGUAGE_LABEL,
                       IDC_INSTALL_MODE_LABEL, IDC_INSTALL_FOLDER_LABEL}),
        GetChildIds(options));
    EXPECT_TRUE(GetWindowLongW(options, GWL_STYLE) & WS_CHILD);
    // The folder box takes typed paths; the other two offer choices only.
    EXPECT_EQ(
        static_cast<LONG>(CBS_DROPDOWN),
        GetWindowLongW(GetDlgItem(options, IDC_INSTALL_FOLDER), GWL_STYLE) &
            0x3);
    EXPECT_EQ(
        static_cast<LONG>(CBS_DROPDOWNLIST),
        GetWindowLongW(GetDlgItem(options, IDC_LANGUAGE), GWL_STYLE) & 0x3);
    DestroyWindow(options);
  }
  DestroyWindow(window);
}

TEST_F(InstallerHostResourcesTest, ImagesAndIcon) {
  EXPECT_TRUE(base::StartsWith(Resource(IDR_BACKGROUND_IMAGE, L"JPG"),
                               "\xFF\xD8\xFF", base::CompareCase::SENSITIVE));
  for (int id : {IDR_LOGO_IMAGE, IDR_ERROR_BADGE_IMAGE}) {
    EXPECT_TRUE(base::StartsWith(Resource(id, L"PNG"), "\x89PNG\r\n\x1A\n",
                                 base::CompareCase::SENSITIVE))
        << id;
  }
  EXPECT_FALSE(Resource(IDI_INSTALLER, RT_GROUP_ICON).empty());
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
