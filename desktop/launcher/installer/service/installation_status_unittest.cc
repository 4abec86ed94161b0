#include "desktop/launcher/installer/service/installation_status.h"

#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "desktop/launcher/installer/service/xml_document.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

using Key = InstallationStatus::RegistryKey;
using Value = InstallationStatus::RegistryValue;

// A record with every part filled, and the exact text it is saved as.
InstallationStatus MakeFullRecord() {
  InstallationStatus status;
  status.version = "12.0.1450.0";
  status.pinned = true;
  status.app_id = "A1B2";
  status.install_path = base::FilePath(L"C:\\Program Files\\Vexlo");
  status.subfolder = base::FilePath(L"12.0.1450.0");
  status.files = {base::FilePath(L"12.0.1450.0\\vexlo.exe"),
                  base::FilePath(L"12.0.1450.0\\vexlo.dll")};
  status.root_files = {base::FilePath(L"launcher.exe")};
  status.machine_keys = {{1,
                          "Software\\Classes\\VexloDeveloper",
                          {{"REG_SZ", "FriendlyTypeName", "Vexlo Web Document"},
                           {"REG_SZ", "URL Protocol", ""},
                           {"REG_DWORD", "EditFlags", "00000002"}}},
                         {0,
                          "Software\\Clients\\StartMenuInternet",
                          {{"REG_SZ", "", "VexloDeveloper"}}}};
  status.user_keys = {{2,
                       "Software\\Vexlo & Co <\"test\">",
                       {{"REG_BINARY", "Bytes", "0a,ff"}}},
                      {-1, "Software\\Empty", {}}};
  status.desktop_shortcut = base::FilePath(L"C:\\Users\\Public\\Vexlo.lnk");
  status.start_menu_shortcut = base::FilePath(L"C:\\Start Menu\\Vexlo.lnk");
  status.quick_launch_shortcut = base::FilePath(L"C:\\Quick Launch\\V.lnk");
  return status;
}

constexpr char kFullRecordText[] =
    "<?xml version=\"1.0\"?>\n"
    "<install_log version=\"12.0.1450.0\" copy_only=\"False\" "
    "all_users=\"True\" pinned=\"True\" app_id=\"A1B2\">\n"
    " <path subfolder=\"12.0.1450.0\">C:\\Program Files\\Vexlo</path>\n"
    " <files>\n"
    "  <file>12.0.1450.0\\vexlo.exe</file>\n"
    "  <file>12.0.1450.0\\vexlo.dll</file>\n"
    " </files>\n"
    " <root_files>\n"
    "  <file>launcher.exe</file>\n"
    " </root_files>\n"
    " <registry hive=\"HKLM\">\n"
    "  <key path=\"Software\\Classes\\VexloDeveloper\" clean=\"1\">\n"
    "   <value name=\"FriendlyTypeName\" type=\"REG_SZ\">Vexlo Web "
    "Document</value>\n"
    "   <value name=\"URL Protocol\" type=\"REG_SZ\"/>\n"
    "   <value name=\"EditFlags\" type=\"REG_DWORD\">00000002</value>\n"
    "  </key>\n"
    "  <key path=\"Software\\Clients\\StartMenuInternet\" clean=\"0\">\n"
    "   <value name=\"\" type=\"REG_SZ\">VexloDeveloper</value>\n"
    "  </key>\n"
    " </registry>\n"
    " <registry hive=\"HKCU\">\n"
    "  <key path=\"Software\\Vexlo &amp; Co &lt;&quot;test&quot;&gt;\" "
    "clean=\"2\">\n"
    "   <value name=\"Bytes\" type=\"REG_BINARY\">0a,ff</value>\n"
    "  </key>\n"
    "  <key path=\"Software\\Empty\" clean=\"-1\"/>\n"
    " </registry>\n"
    " <shortcut type=\"SC_DEST_COMMON_DESKTOP\">C:\\Users\\Public\\Vexlo.lnk"
    "</shortcut>\n"
    " <shortcut type=\"SC_DEST_COMMON_MENU\">C:\\Start Menu\\Vexlo.lnk"
    "</shortcut>\n"
    " <shortcut type=\"SC_DEST_QUICK_LAUNCH\">C:\\Quick Launch\\V.lnk"
    "</shortcut>\n"
    "</install_log>\n";

// The head and the file list that a record must have, for the reading
// cases to build on.
constexpr char kHead[] =
    "<?xml version=\"1.0\"?>\n<install_log version=\"1.2\" copy_only=\"False\""
    " all_users=\"False\" pinned=\"False\">\n <path>C:\\V</path>\n";
constexpr char kFiles[] = "<files><file>a.dll</file></files>";
constexpr char kTail[] = "</install_log>\n";

class InstallationStatusTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(dir_.IsValid());
  }
  void TearDown() override { ::CoUninitialize(); }

  std::string Save(const InstallationStatus& status) {
    XmlDocument document;
    EXPECT_TRUE(document.Initialize());
    WriteInstallationStatus(&document, status);
    std::string text;
    EXPECT_TRUE(document.SaveToString(&text));
    return text;
  }

  // Reads |text| from a file of the test's folder named |name|.
  bool Read(const std::string& text,
            InstallationStatus* status,
            const wchar_t* name = L"installation_status.xml") {
    const base::FilePath file = dir_.path().Append(name);
    EXPECT_EQ(
        static_cast<int>(text.size()),
        base::WriteFile(file, text.data(), static_cast<int>(text.size())));
    XmlDocument document;
    return ReadInstallationStatus(&document, status, file);
  }

  base::UniqueTestDir dir_;
};

TEST_F(InstallationStatusTest, SavesTheExactTextAndReadsItBack) {
  const InstallationStatus full = MakeFullRecord();
  EXPECT_EQ(kFullRecordText, Save(full));
  InstallationStatus read;
  ASSERT_TRUE(Read(kFullRecordText, &read));
  EXPECT_EQ(Save(full), Save(read));

  // Per-user shortcuts carry their own types.
  InstallationStatus per_user = full;
  per_user.all_users = false;
  const std::string text = Save(per_user);
  EXPECT_NE(std::string::npos,
            text.find("<shortcut type=\"SC_DEST_DESKTOP\">C:\\Users"));
  EXPECT_NE(std::string::npos,
            text.find("<shortcut type=\"SC_DEST_MENU\">C:\\Start"));
  ASSERT_TRUE(Read(text, &read));
  EXPECT_EQ(Save(per_user), Save(read));
}

// A record without files is written with an empty list, but a record
// without files is refused on reading.
TEST_F(InstallationStatusTest, RefusesARecordWithoutFiles) {
  const std::string empty = Save(InstallationStatus());
  EXPECT_NE(std::string::npos,
            empty.find("<path subfolder=\"\"/>\n <files/>\n</install_log>"));
  InstallationStatus read;
  EXPECT_FALSE(Read(empty, &read));
}

// Texts keep every character, also those that markup, line-end handling or
// the indentation would change, and paths outside ASCII, in a folder whose
// own name is outside ASCII.
TEST_F(InstallationStatusTest, KeepsEveryCharacterThroughTheFile) {
  InstallationStatus status;
  status.install_path = base::FilePath(L"C:\\Программы\\Vexlo \x2603");
  status.subfolder = base::FilePath(L"v\u00e9rsion");
  status.files = {base::FilePath(L"donn\u00e9es\\\x30d5\x30a1\x30a4\x30eb.dll"),
                  base::FilePath(L"emoji\xd83d\xde00.txt")};
  status.user_keys = {{0,
                       "Software\\\xc3\xa9t\xc3\xa9",
                       {{"REG_SZ", "na\tme\n", "  a\tb\r\nc\rd & <e>  "}}}};
  status.start_menu_shortcut = base::FilePath(L"C:\\Men\u00fc\\V.lnk");
  const std::string text = Save(status);
  EXPECT_EQ(std::string::npos, text.find('\t'));
  EXPECT_EQ(std::string::npos, text.find('\r'));
  EXPECT_EQ('\n', text.back());

  const base::FilePath folder = dir_.path().Append(L"\x0444\x0430\x0439\x043b");
  ASSERT_TRUE(base::CreateDirectory(folder));
  InstallationStatus read;
  ASSERT_TRUE(Read(text, &read, L"\x0444\x0430\x0439\x043b\\\x00e9.xml"));
  EXPECT_EQ(Save(status), Save(read));
  EXPECT_EQ("  a\tb\r\nc\rd & <e>  ", read.user_keys[0].values[0].data);
}

TEST_F(InstallationStatusTest, RefusesMalformedAndTruncatedRecords) {
  const std::string full = kFullRecordText;
  const std::string root =
      "<install_log version=\"1\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\"";
  // A record whose body after the file list is |rest|, and one whose only
  // registry holds |keys|.
  const auto body = [](const std::string& rest) {
    return kHead + std::string(kFiles) + rest + kTail;
  };
  const auto registry = [&body](const std::string& keys) {
    return body("<registry hive=\"HKLM\">" + keys + "</registry>");
  };
  const std::string key = "<key path=\"S\" clean=\"0\"/>";
  // A whole record with |from| replaced by |to|.
  const auto changed = [&body](const char* from, const char* to) {
    std::string text = body("");
    base::ReplaceSubstringsAfterOffset(&text, 0, from, to);
    return text;
  };
  const std::string kCases[] = {
      "",
      "install_log",
      full.substr(0, full.size() / 2),
      full.substr(0, full.size() - 15),
      full + full.substr(22),
      changed("install_log", "install_logs"),
      changed("version=\"1.2\"", ""),
      changed("pinned=\"False\"", ""),
      root + "/>",
      kHead + std::string(kTail),
      root + ">" + kFiles + "<path>C:\\V</path>" + kTail,
      kHead + std::string(" <files/>\n") + kTail,
      kHead + std::string("<files><file>a</file><dir>b</dir></files>") + kTail,
      body("<extra/>"),
      body("<registry hive=\"HKCU\">" + key +
           "</registry><root_files><file>b</file></root_files>"),
      body("<shortcut type=\"SC_DEST_MENU\">C:\\m.lnk</shortcut>"
           "<registry hive=\"HKCU\">" +
           key + "</registry>"),
      body("<registry hive=\"HKCR\">" + key + "</registry>"),
      body("<registry>" + key + "</registry>"),
      body("<registry hive=\"HKLM\"/>"),
      registry("<key path=\"S\"/>"),
      registry("<key clean=\"1\"/>"),
      registry("<key path=\"S\" clean=\"one\"/>"),
      registry("<key path=\"S\" clean=\"1x\"/>"),
      registry("<key path=\"S\" clean=\"2147483648\"/>"),
      registry("<key path=\"S\" clean=\"0\"><value name=\"n\">d</value></key>"),
      registry("<key path=\"S\" clean=\"0\"><value type=\"REG_SZ\"/></key>"),
      registry("<key path=\"S\" clean=\"0\">" + key + "</key>"),
      body("<shortcut type=\"SC_DEST_STARTUP\">C:\\s.lnk</shortcut>"),
      body("<shortcut>C:\\s.lnk</shortcut>"),
  };
  for (const std::string& text : kCases) {
    SCOPED_TRACE(text);
    InstallationStatus status = MakeFullRecord();
    EXPECT_FALSE(Read(text, &status));
  }

  InstallationStatus status = MakeFullRecord();
  XmlDocument document;
  EXPECT_FALSE(ReadInstallationStatus(&document, &status,
                                      dir_.path().Append(L"missing.xml")));
  // The lists are emptied before anything is read.
  EXPECT_TRUE(status.files.empty() && status.machine_keys.empty() &&
              status.user_keys.empty() && status.root_files.empty());
}

TEST_F(InstallationStatusTest, ReadsFlagsAndShortcutsAsWritten) {
  const std::string text =
      "<install_log version=\"2\" copy_only=\"true\" all_users=\"TRUE\" "
      "pinned=\"True\">\n<path subfolder=\"  sub \">\n  C:\\V  \n</path>"
      "<files><file>\t a.dll \n</file></files>"
      "<shortcut type=\"SC_DEST_COMMON_DESKTOP\"> C:\\d.lnk </shortcut>"
      "<shortcut type=\"SC_DEST_QUICK_LAUNCH\">C:\\q.lnk</shortcut>"
      "<shortcut type=\"SC_DEST_MENU\">C:\\m.lnk</shortcut></install_log>";
  InstallationStatus status;
  status.app_id = "kept";
  ASSERT_TRUE(Read(text, &status));
  InstallationStatus expected;
  expected.version = "2";
  expected.all_users = false;
  expected.pinned = true;
  expected.app_id = "kept";
  expected.install_path = base::FilePath(L"C:\\V");
  expected.subfolder = base::FilePath(L"sub");
  expected.files = {base::FilePath(L"a.dll")};
  expected.desktop_shortcut = base::FilePath(L"C:\\d.lnk");
  expected.start_menu_shortcut = base::FilePath(L"C:\\m.lnk");
  expected.quick_launch_shortcut = base::FilePath(L"C:\\q.lnk");
  EXPECT_EQ(Save(expected), Save(status));
}

// A record that a user or another program changed must never name files
// outside the installation: such entries are left out, the rest is read.
TEST_F(InstallationStatusTest, LeavesOutPathsThatLeaveTheInstallation) {
  const std::vector<std::string> refused = base::SplitString(
      "C:\\W\\x|c:x|\\x|/x|\\\\server\\s\\x|..\\x|a\\..\\..\\x|a\\.\\x|..|"
      ". .\\x|a/../../x|x:stream||   ",
      "|", base::KEEP_WHITESPACE, base::SPLIT_WANT_ALL);
  std::string files = " <files>";
  for (const std::string& path : refused)
    files += "<file>" + path + "</file><file>ok.dll</file>";
  files += "</files><root_files><file>..\\root.txt</file></root_files>\n";
  const struct {
    const char* subfolder;
    const wchar_t* expected;
  } kSubfolders[] = {{"..", L""},       {"C:\\Windows", L""},
                     {"\\x", L""},      {"a\\..\\..", L""},
                     {"12.0", L"12.0"}, {"a\\b", L"a\\b"}};
  for (const auto& c : kSubfolders) {
    SCOPED_TRACE(c.subfolder);
    const std::string text =
        std::string(
            "<install_log version=\"1\" copy_only=\"False\" "
            "all_users=\"True\" pinned=\"False\"><path subfolder=\"") +
        c.subfolder + "\">C:\\V</path>" + files + kTail;
    InstallationStatus status;
    ASSERT_TRUE(Read(text, &status));
    EXPECT_EQ(c.expected, status.subfolder.value());
    EXPECT_EQ(
        std::vector<base::FilePath>(refused.size(), base::FilePath(L"ok.dll")),
        status.files);
    EXPECT_TRUE(status.root_files.empty());
  }
}

TEST_F(InstallationStatusTest, RecordsRegistryValuesBoundedByTheirSize) {
  const wchar_t kText[] = L"abc";  // With its NUL: 8 bytes.
  const uint8_t kBytes[] = {0x0a, 0xff, 0x00};
  const DWORD kNumber = 0xdeadbeef;
  const DWORD kOne = 1;
  const struct {
    const void* data;
    uint32_t type;
    uint32_t size;
    const char* type_name;  // Null: nothing is recorded.
    const char* data_text;
  } kCases[] = {
      {kText, REG_SZ, 8, "REG_SZ", "abc"},
      {kText, REG_EXPAND_SZ, 6, "REG_EXPAND_SZ", "abc"},
      {kText, REG_SZ, 7, "REG_SZ", "abc"},
      {kText, REG_SZ, 3, "REG_SZ", "a"},
      {kText, REG_SZ, 0, "REG_SZ", ""},
      {nullptr, REG_SZ, 8, "REG_SZ", ""},
      {L"a\0b", REG_SZ, 6, "REG_SZ", "a"},
      {L"\x00e9\x2603", REG_SZ, 4, "REG_SZ", "\xc3\xa9\xe2\x98\x83"},
      {kBytes, REG_BINARY, 3, "REG_BINARY", "0a,ff,00"},
      {kBytes, REG_BINARY, 1, "REG_BINARY", "0a"},
      {kBytes, REG_BINARY, 0, "REG_BINARY", ""},
      {&kOne, REG_DWORD, 4, "REG_DWORD", "00000001"},
      {&kNumber, REG_DWORD, 4, "REG_DWORD", "deadbeef"},
      {&kNumber, REG_DWORD, 3, nullptr, nullptr},
      {nullptr, REG_DWORD, 4, nullptr, nullptr},
      {kBytes, REG_NONE, 3, "REG_NONE", ""},
      {kBytes, REG_MULTI_SZ, 3, "REG_MULTI_SZ", ""},
      {&kNumber, REG_QWORD, 4, "REG_QWORD", ""},
      {kBytes, 12, 3, nullptr, nullptr},
      {kBytes, 0xFFFFFFFF, 3, nullptr, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.type << " " << c.size);
    std::vector<Key> keys;
    InstallationStatus::AddRegistryValue(&keys, L"Software\\\x00e9", L"N\x00e9",
                                         c.data, c.type, c.size, 1);
    if (!c.type_name) {
      EXPECT_TRUE(keys.empty());
      continue;
    }
    ASSERT_EQ(1u, keys.size());
    EXPECT_TRUE(keys[0] == (Key{1,
                                "Software\\\xc3\xa9",
                                {{c.type_name, "N\xc3\xa9", c.data_text}}}));
  }
}

// Values of one key path join the last key of that exact path, which keeps
// the larger clean.
TEST_F(InstallationStatusTest, GathersValuesUnderTheLastKeyOfTheirPath) {
  std::vector<Key> keys = {{0, "S\\A", {}}, {5, "S\\B", {}}, {0, "S\\A", {}}};
  const DWORD kOne = 1;
  const auto add = [&keys, &kOne](const wchar_t* path, int32_t clean) {
    InstallationStatus::AddRegistryValue(&keys, path, L"v", &kOne, REG_DWORD, 4,
                                         clean);
  };
  add(L"S\\A", 1);
  add(L"S\\A", 2);
  add(L"S\\A", 1);
  add(L"S\\B", -1);
  add(L"s\\a", 0);
  const Value one = {"REG_DWORD", "v", "00000001"};
  const std::vector<Key> expected = {{0, "S\\A", {}},
                                     {5, "S\\B", {one}},
                                     {2, "S\\A", {one, one, one}},
                                     {0, "s\\a", {one}}};
  EXPECT_TRUE(keys == expected);
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
