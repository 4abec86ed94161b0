#include "desktop/common/autoupdate/updatechecker/global_storage_win.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "components/prefs/json_pref_store.h"
#include "desktop/common/product/product_configuration.h"

namespace vexlo {
namespace autoupdate {

namespace {

const char kFallbackDictionaryKey[] = "GS";
const char kFallbackPoolName[] = "GsTaskPool";

// The pool of one operation on the fallback file, shut down (which waits for
// the file write) before the operation returns.
base::scoped_refptr<base::SequencedWorkerPool> CreateFallbackPool() {
  return new base::SequencedWorkerPool(1, kFallbackPoolName);
}

}  // namespace

const wchar_t GlobalStorageWin::kMutexName[] = L"vauc_registry_mutex";
const wchar_t GlobalStorageWin::kFallbackFileName[] = L"au_global_storage";

// static
GlobalStorageWin* GlobalStorageWin::GetInstance() {
  return base::Singleton<GlobalStorageWin>::get();
}

// static
base::string16 GlobalStorageWin::CompanyKeyPath() {
  return L"Software\\" +
         base::UTF8ToUTF16(ProductConfiguration::GetCompanyName());
}

GlobalStorageWin::GlobalStorageWin()
    : GlobalStorageWin(CompanyKeyPath(), kMutexName) {}

GlobalStorageWin::GlobalStorageWin(const base::string16& company_key,
                                   const base::string16& mutex_name)
    : company_key_(company_key),
      mutex_name_(mutex_name),
      initialized_(false),
      registry_read_only_(false),
      registry_written_(false),
      migrating_(false) {
  // Only a refusal makes the key read-only: a key that does not exist yet is
  // created by the first write.
  HKEY key = nullptr;
  const LONG result = ::RegOpenKeyExW(HKEY_CURRENT_USER, company_key_.c_str(),
                                      0, KEY_READ | KEY_WRITE, &key);
  if (result == ERROR_SUCCESS)
    ::RegCloseKey(key);
  registry_read_only_ = result == ERROR_ACCESS_DENIED;
}

GlobalStorageWin::~GlobalStorageWin() = default;

void GlobalStorageWin::Initialize(const base::FilePath& folder) {
  fallback_path_ = folder.Append(kFallbackFileName);
  initialized_ = true;
  if (registry_read_only_ || registry_written_ ||
      !base::PathExists(fallback_path_)) {
    return;
  }
  migrating_ = true;
  MigrateFallbackToRegistry();
  migrating_ = false;
}

int32_t GlobalStorageWin::SetValue(const std::string& name,
                                   const std::string& value) {
  if (name.empty())
    return kInvalidArgument;
  const int32_t mutex_status = TakeMutex();
  if (mutex_status == kFailure) {
    LOG(ERROR) << "[AU] GS: Couldn't create an access mutex";
    return kFailure;
  }
  if (mutex_status == kBusy) {
    LOG(ERROR) << "[AU] GS: Couldn't get hold on an access mutex";
    return kBusy;
  }

  // While the file exists it stays the complete copy, so that the values
  // survive should the key turn read-only again.
  if (registry_read_only_ || (!migrating_ && !fallback_path_.empty() &&
                              base::PathExists(fallback_path_))) {
    const bool written = WriteToFallback(name, value);
    if (!written)
      LOG(ERROR) << "[AU] GS: Writing to a fallback storage failed";
    if (registry_read_only_) {
      ReleaseMutex();
      return written ? kSuccess : kFailure;
    }
  }

  const int32_t status =
      value.empty() ? DeleteFromRegistry(name) : WriteToRegistry(name, value);
  registry_written_ = status == kSuccess;
  ReleaseMutex();
  return status;
}

int32_t GlobalStorageWin::GetValue(const std::string& name,
                                   std::string* value) {
  if (!value)
    return kInvalidArgument;
  value->clear();
  if (name.empty())
    return kInvalidArgument;
  const int32_t mutex_status = TakeMutex();
  if (mutex_status != kSuccess)
    return mutex_status;
  const int32_t status = registry_read_only_ ? ReadFromFallback(name, value)
                                             : ReadFromRegistry(name, value);
  ReleaseMutex();
  return status;
}

int32_t GlobalStorageWin::TakeMutex() {
  if (!mutex_.IsValid()) {
    mutex_.Set(::CreateMutexW(nullptr, FALSE, mutex_name_.c_str()));
    // A mutex that a more privileged process created may refuse full
    // access but still let us wait on it.
    if (!mutex_.IsValid() && ::GetLastError() == ERROR_ACCESS_DENIED)
      mutex_.Set(::OpenMutexW(SYNCHRONIZE, FALSE, mutex_name_.c_str()));
    if (!mutex_.IsValid())
      return kFailure;
  }
  // An abandoned mutex is ours all the same: its holder is gone.
  return ::WaitForSingleObject(mutex_.Get(), 0) == WAIT_TIMEOUT ? kBusy
                                                                : kSuccess;
}

void GlobalStorageWin::ReleaseMutex() {
  ::ReleaseMutex(mutex_.Get());
}

bool GlobalStorageWin::WriteToFallback(const std::string& name,
                                       const std::string& value) {
  if (fallback_path_.empty())
    return false;
  base::scoped_refptr<base::SequencedWorkerPool> pool = CreateFallbackPool();
  base::scoped_refptr<JsonPrefStore> store = OpenFallbackStore(pool.get());
  bool written = false;
  std::unique_ptr<base::DictionaryValue> values;
  const base::Value* stored = nullptr;
  const base::DictionaryValue* stored_dictionary = nullptr;
  if (store->IsReadOnly()) {
    // The store could not read the file and would not write it.
  } else if (!store->GetValue(kFallbackDictionaryKey, &stored)) {
    values.reset(new base::DictionaryValue);
  } else if (stored->GetAsDictionary(&stored_dictionary)) {
    values = stored_dictionary->CreateDeepCopy();
  }
  if (values) {
    // Names are taken literally: a dot in one must not nest a dictionary.
    if (value.empty())
      values->RemoveWithoutPathExpansion(name, nullptr);
    else
      values->SetStringWithoutPathExpansion(name, value);
    store->SetValue(kFallbackDictionaryKey, std::move(values),
                    JsonPrefStore::kDefaultPrefWriteFlags);
    store->CommitPendingWrite();
    written = true;
  }
  pool->Shutdown(0);
  return written;
}

int32_t GlobalStorageWin::ReadFromFallback(const std::string& name,
                                           std::string* value) {
  base::scoped_refptr<base::SequencedWorkerPool> pool = CreateFallbackPool();
  base::scoped_refptr<JsonPrefStore> store = OpenFallbackStore(pool.get());
  int32_t status = kFailure;
  const base::Value* stored = nullptr;
  const base::DictionaryValue* values = nullptr;
  const base::Value* entry = nullptr;
  if (fallback_path_.empty()) {
    // Without a folder there is no file to read.
  } else if (!store->GetValue(kFallbackDictionaryKey, &stored)) {
    status = kSuccess;
  } else if (!stored->GetAsDictionary(&values)) {
    // Not ours to read.
  } else if (!values->GetWithoutPathExpansion(name, &entry)) {
    // An empty value is stored as no entry, as in the registry.
    status = kSuccess;
  } else if (entry->GetAsString(value) && base::IsStringASCII(*value)) {
    status = kSuccess;
  } else {
    value->clear();
  }
  pool->Shutdown(0);
  return status;
}

base::scoped_refptr<JsonPrefStore> GlobalStorageWin::OpenFallbackStore(
    base::SequencedWorkerPool* pool) {
  base::scoped_refptr<JsonPrefStore> store(new JsonPrefStore(
      fallback_path_, JsonPrefStore::GetTaskRunnerForFile(fallback_path_, pool),
      nullptr));
  store->ReadPrefs();
  return store;
}

void GlobalStorageWin::MigrateFallbackToRegistry() {
  base::scoped_refptr<base::SequencedWorkerPool> pool = CreateFallbackPool();
  base::scoped_refptr<JsonPrefStore> store = OpenFallbackStore(pool.get());
  const base::Value* stored = nullptr;
  const base::DictionaryValue* values = nullptr;
  if (store->GetValue(kFallbackDictionaryKey, &stored) &&
      stored->GetAsDictionary(&values)) {
    for (base::DictionaryValue::Iterator it(*values); !it.IsAtEnd();
         it.Advance()) {
      std::string value;
      if (it.value().GetAsString(&value))
        SetValue(it.key(), value);
    }
  }
  pool->Shutdown(0);
}

int32_t GlobalStorageWin::WriteToRegistry(const std::string& name,
                                          const std::string& value) {
  base::win::RegKey key;
  LONG result = key.Create(HKEY_CURRENT_USER, company_key_.c_str(), KEY_WRITE);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "[AU] GS: Creating reg key failed with: " << result;
    return kFailure;
  }
  // The data is stored without a terminating zero, as readers expect.
  result = ::RegSetValueExA(key.Handle(), name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.data()),
                            static_cast<DWORD>(value.size()));
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "[AU] GS: Setting reg value failed with: " << result;
    return kFailure;
  }
  return kSuccess;
}

int32_t GlobalStorageWin::DeleteFromRegistry(const std::string& name) {
  base::win::RegKey key;
  const LONG result =
      key.Open(HKEY_CURRENT_USER, company_key_.c_str(), KEY_WRITE);
  if (result == ERROR_SUCCESS) {
    ::RegDeleteValueA(key.Handle(), name.c_str());
    return kSuccess;
  }
  if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND)
    return kSuccess;
  LOG(ERROR) << "[AU] GS: Deleting reg value failed with: " << result;
  return kFailure;
}

int32_t GlobalStorageWin::ReadFromRegistry(const std::string& name,
                                           std::string* value) {
  base::win::RegKey key;
  if (key.Open(HKEY_CURRENT_USER, company_key_.c_str(), KEY_QUERY_VALUE) !=
      ERROR_SUCCESS) {
    return kSuccess;
  }
  DWORD size = 0;
  LONG result = ::RegQueryValueExA(key.Handle(), name.c_str(), nullptr, nullptr,
                                   nullptr, &size);
  if (result == ERROR_FILE_NOT_FOUND)
    return kSuccess;
  if (result != ERROR_SUCCESS)
    return kFailure;
  // The byte past the data stays zero, so data stored without a terminator
  // still reads as text; the text ends at the first zero byte.
  std::string buffer(size + 1, '\0');
  result = ::RegQueryValueExA(key.Handle(), name.c_str(), nullptr, nullptr,
                              reinterpret_cast<BYTE*>(&buffer[0]), &size);
  if (result != ERROR_SUCCESS)
    return kFailure;
  value->assign(buffer.c_str());
  return kSuccess;
}

}  // namespace autoupdate
}  // namespace vexlo
