#include "desktop/common/product/product_configuration.h"

#include <windows.h>

#include <utility>

#include "base/at_exit.h"
#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/values.h"

namespace vexlo {

namespace {

constexpr WORD kConfigurationResourceId = 133;
constexpr wchar_t kTextResourceType[] = L"TXT";
// Present only where the automated tests run the installer from a host that
// carries no configuration of its own.
constexpr wchar_t kTestLibraryName[] = L"_krontalib.pyd";

// Owned; created by the first query and deleted at process exit.
base::DictionaryValue* g_dictionary = nullptr;
bool g_deletion_registered = false;

void DeleteDictionary(void* /* unused */) {
  delete g_dictionary;
  g_dictionary = nullptr;
  g_deletion_registered = false;
}

std::unique_ptr<base::DictionaryValue> ExchangeDictionary(
    std::unique_ptr<base::DictionaryValue> dictionary) {
  std::unique_ptr<base::DictionaryValue> previous(g_dictionary);
  g_dictionary = dictionary.release();
  if (g_dictionary && !g_deletion_registered) {
    base::AtExitManager::RegisterCallback(&DeleteDictionary, nullptr);
    g_deletion_registered = true;
  }
  return previous;
}

// The bytes of the configuration resource of |module|; false when the module
// does not carry it.
bool ReadConfigurationResource(HMODULE module, std::string* text) {
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(kConfigurationResourceId),
                             kTextResourceType);
  if (!info)
    return false;
  HGLOBAL resource = LoadResource(module, info);
  if (!resource)
    return false;
  const void* data = LockResource(resource);
  if (!data)
    return false;
  text->assign(static_cast<const char*>(data), SizeofResource(module, info));
  return true;
}

// The string at |path|; empty when missing or not a string.
std::string GetString(base::StringPiece path) {
  std::string value;
  ProductConfiguration::GetDictionary()->GetString(path, &value);
  return value;
}

// The boolean at |path|; false when missing or not a boolean.
bool GetBoolean(base::StringPiece path) {
  bool value = false;
  ProductConfiguration::GetDictionary()->GetBoolean(path, &value);
  return value;
}

}  // namespace

// static
std::string ProductConfiguration::GetCompanyName() {
  return GetString("company_name");
}

// static
std::string ProductConfiguration::GetCrashLogProductSuffix() {
  return GetString("crash_log_product_sufix");
}

// static
std::string ProductConfiguration::GetDefaultProfilePathTemplate() {
  return GetString("default_profile_path_template");
}

// static
std::string ProductConfiguration::GetDomain() {
  return GetString("domain");
}

// static
std::string ProductConfiguration::GetExpectedSigner() {
  return GetString("expected_signer");
}

// static
std::string ProductConfiguration::GetFileNameBase() {
  return GetString("file_name_base");
}

// static
int ProductConfiguration::GetMajorDelta() {
  int value = 0;
  GetDictionary()->GetInteger("major_delta", &value);
  return value;
}

// static
std::string ProductConfiguration::GetProductName() {
  return GetString("product_name");
}

// static
std::string ProductConfiguration::GetShortcutSuffix() {
  return GetString("shortcut_suffix");
}

// static
bool ProductConfiguration::ShouldScheduleAutoupdateTask() {
  return GetBoolean("schedule_autoupdate_task");
}

// static
std::string ProductConfiguration::GetUrl(const std::string& name) {
  return GetString(base::StringPrintf("%s.%s", "urls", name.c_str()));
}

// static
bool ProductConfiguration::ShouldUseTuvreniumMajorForMinor() {
  return GetBoolean("use_tuvrenium_major_for_minor");
}

// static
std::string ProductConfiguration::GetUserAgentName() {
  return GetString("user_agent_name");
}

// static
std::string ProductConfiguration::GetVisibleProductName() {
  return GetString("visible_product_name");
}

// static
bool ProductConfiguration::IsWhiteLabeled() {
  return GetBoolean("white_labeled");
}

// static
std::string ProductConfiguration::ReadResourceText() {
  std::string text;
  if (ReadConfigurationResource(GetModuleHandleW(nullptr), &text))
    return text;
  // Stays loaded: the process may ask for it again.
  HMODULE test_library = LoadLibraryW(kTestLibraryName);
  if (test_library)
    ReadConfigurationResource(test_library, &text);
  return text;
}

// static
std::unique_ptr<base::DictionaryValue> ProductConfiguration::Parse(
    base::StringPiece text) {
  std::unique_ptr<base::Value> root = base::JSONReader::Read(text);
  if (!root || !root->IsType(base::Value::TYPE_DICTIONARY)) {
    LOG(ERROR) << "The product configuration is not a JSON object.";
    return std::make_unique<base::DictionaryValue>();
  }
  return std::unique_ptr<base::DictionaryValue>(
      static_cast<base::DictionaryValue*>(root.release()));
}

// static
void ProductConfiguration::Load() {
  const std::string text = ReadResourceText();
  if (text.empty()) {
    LOG(ERROR) << "The product configuration resource is missing or empty.";
    ExchangeDictionary(std::make_unique<base::DictionaryValue>());
    return;
  }
  ExchangeDictionary(Parse(text));
}

// static
const base::DictionaryValue* ProductConfiguration::GetDictionary() {
  if (!g_dictionary)
    Load();
  return g_dictionary;
}

// static
std::unique_ptr<base::DictionaryValue>
ProductConfiguration::SwapDictionaryForTesting(
    std::unique_ptr<base::DictionaryValue> dictionary) {
  return ExchangeDictionary(std::move(dictionary));
}

}  // namespace vexlo
