#include "desktop/launcher/installer/service/registry_item.h"

#include <memory>

#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_windows_version_override.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/operation.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

constexpr int kStable = 4;
constexpr int kDeveloper = 2;

// Resolves {Key} to the test key, {Folder} to a folder with braces of its
// own and every other name to "<name>"; records into |keys| when asked.
class TestDelegate : public RegistryItem::Delegate {
 public:
  explicit TestDelegate(const base::string16& key) : key_(key) {}

  base::string16 ResolvePlaceholder(const base::string16& name) override {
    if (name == L"Key")
      return key_;
    if (name == L"Folder")
      return L"C:\\a{Key}b";
    return L"<" + name + L">";
  }

  std::vector<InstallationStatus::RegistryKey>* GetStatusRegistryKeys(
      HKEY root) override {
    return record_ && root == HKEY_CURRENT_USER ? &keys : nullptr;
  }

  bool record_ = false;
  std::vector<InstallationStatus::RegistryKey> keys;

 private:
  const base::string16 key_;
};

class RegistryItemTest : public OperationTest {
 protected:
  RegistryItemTest() : delegate_(key_path_) {}

  // Makes and executes the row's operation under HKCU; "skipped" when the
  // row does not apply, "invalid" for a row refused.
  std::string Apply(const RegistryItem& row, int channel = kDeveloper) {
    std::unique_ptr<Operation> operation;
    if (!internal::CreateRegistryOperationForChannel(
            row, &delegate_, HKEY_CURRENT_USER, channel, &operation)) {
      return "invalid";
    }
    if (!operation)
      return "skipped";
    return transaction_.Execute(std::move(operation)) ? "done" : "failed";
  }

  // "<type>:<bytes in hexadecimal>", or "none".
  std::string HexValue(const base::string16& key, const base::string16& name) {
    const std::string value = ReadValue(key, name);
    const size_t colon = value.find(':');
    if (colon == std::string::npos)
      return value;
    return value.substr(0, colon + 1) +
           base::HexEncode(value.data() + colon + 1, value.size() - colon - 1);
  }

  TestDelegate delegate_;
  Transaction transaction_;
};

RegistryItem Row(const wchar_t* value_name,
                 uint32_t kind,
                 const wchar_t* text = nullptr) {
  return {L"{Key}\\Sub",          value_name, kind, text, nullptr, 0, 1,
          RegistryItem::kAnyRoot, 0,          3};
}

}  // namespace

TEST(RegistryItemResolveTest, ReplacesEachPlaceholderOnceLeftToRight) {
  TestDelegate delegate(L"K");
  const struct {
    const wchar_t* text;
    const wchar_t* expected;
  } kCases[] = {
      {nullptr, L""},
      {L"plain", L"plain"},
      {L"{Foo}", L"<Foo>"},
      {L"a{Foo}b{Bar}c", L"a<Foo>b<Bar>c"},
      // Text put in is never searched for braces again.
      {L"{Folder}\\x{Key}", L"C:\\a{Key}b\\xK"},
      {L"{Foo", L"{Foo"},
      {L"x}{Foo}", L"x}<Foo>"},
      {L"{}", L"<>"},
      {L"{{Foo}}", L"<{Foo>}"},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(test.expected,
              RegistryItem::ResolvePlaceholders(&delegate, test.text))
        << (test.text ? test.text : L"(null)");
  }
}

TEST_F(RegistryItemTest, SkipsRowsOfOtherWindowsRootsAndChannels) {
  const struct {
    int32_t min_windows;
    RegistryItem::Root root;
    int32_t min_channel;
    int channel;
    base::win::Version version;
    const char* expected;
  } kCases[] = {
      {1, RegistryItem::kAnyRoot, 0, kDeveloper, base::win::VERSION_XP, "done"},
      {3, RegistryItem::kAnyRoot, 0, kDeveloper, base::win::VERSION_XP,
       "skipped"},
      {3, RegistryItem::kAnyRoot, 0, kDeveloper, base::win::VERSION_VISTA,
       "done"},
      {1, RegistryItem::kMachineRoot, 0, kDeveloper, base::win::VERSION_WIN7,
       "skipped"},
      {1, RegistryItem::kUserRoot, 0, kDeveloper, base::win::VERSION_WIN7,
       "done"},
      {1, RegistryItem::kAnyRoot, 4, kDeveloper, base::win::VERSION_WIN7,
       "skipped"},
      {1, RegistryItem::kAnyRoot, 4, kStable, base::win::VERSION_WIN7, "done"},
  };
  for (const auto& test : kCases) {
    base::win::ScopedWindowsVersionOverride version(test.version);
    RegistryItem row = Row(L"v", REG_DWORD);
    row.min_windows_version = test.min_windows;
    row.root = test.root;
    row.min_channel_code = test.min_channel;
    EXPECT_EQ(test.expected, Apply(row, test.channel))
        << test.min_windows << " " << test.root << " " << test.min_channel;
  }
}

TEST_F(RegistryItemTest, WritesTheBytesOfEachKind) {
  RegistryItem binary = Row(L"bin", REG_BINARY);
  binary.bytes = "ab\x01";
  RegistryItem number = Row(L"num", REG_DWORD);
  number.number = 0x01020304;
  const struct {
    RegistryItem row;
    const char* expected;
  } kCases[] = {
      {Row(L"sz", REG_SZ, L"{Foo}"), "1:3C0046006F006F003E000000"},
      // Empty text is written without even a terminator.
      {Row(L"empty", REG_SZ, L""), "1:"},
      {Row(L"expand", REG_EXPAND_SZ, L"%x%"),
       "2:250078002500"
       "0000"},
      {Row(L"none", REG_NONE), "0:"},
      {binary, "3:616201"},
      {number, "4:04030201"},
      {Row(nullptr, REG_SZ, L"d"), "1:64000000"},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ("done", Apply(test.row));
    const base::string16 name = test.row.value_name ? test.row.value_name : L"";
    EXPECT_EQ(test.expected, HexValue(L"Sub", name)) << name;
  }
}

TEST_F(RegistryItemTest, DeletesValuesAndKeysAndRefusesUnknownKinds) {
  SetValue(L"Sub", L"old", REG_SZ, "x");
  SetValue(L"Other\\Deep", L"v", REG_SZ, "y");
  EXPECT_EQ("done", Apply(Row(L"old", RegistryItem::kDeleteValue)));
  EXPECT_EQ("none", ReadValue(L"Sub", L"old"));
  RegistryItem delete_key = Row(nullptr, RegistryItem::kDeleteKey);
  delete_key.key = L"{Key}\\Other";
  EXPECT_EQ("done", Apply(delete_key));
  EXPECT_EQ("none", ReadValue(L"Other\\Deep", L"v"));
  EXPECT_EQ("invalid", Apply(Row(L"bad", 7)));
  EXPECT_EQ("invalid", Apply(Row(L"bad", 0xFFFFFFFD)));
  // The row operations roll back like any other.
  transaction_.RollbackAll();
  EXPECT_EQ("1:78", HexValue(L"Sub", L"old"));
  EXPECT_EQ("1:79", HexValue(L"Other\\Deep", L"v"));
}

TEST_F(RegistryItemTest, RecordsWrittenValuesWithTheRowsClean) {
  delegate_.record_ = true;
  RegistryItem number = Row(L"num", REG_DWORD);
  number.number = 7;
  EXPECT_EQ("done", Apply(Row(L"sz", REG_SZ, L"text")));
  EXPECT_EQ("done", Apply(number));
  EXPECT_EQ("done", Apply(Row(L"gone", RegistryItem::kDeleteValue)));
  EXPECT_EQ("done", Apply(Row(nullptr, RegistryItem::kDeleteKey)));
  ASSERT_EQ(1u, delegate_.keys.size());
  const InstallationStatus::RegistryKey& key = delegate_.keys[0];
  EXPECT_EQ(base::UTF16ToUTF8(key_path_) + "\\Sub", key.path);
  EXPECT_EQ(3, key.clean);
  ASSERT_EQ(2u, key.values.size());
  EXPECT_EQ("REG_SZ", key.values[0].type);
  EXPECT_EQ("sz", key.values[0].name);
  EXPECT_EQ("text", key.values[0].data);
  EXPECT_EQ("REG_DWORD", key.values[1].type);
  EXPECT_EQ("00000007", key.values[1].data);
}

}  // namespace installer
}  // namespace vexlo
