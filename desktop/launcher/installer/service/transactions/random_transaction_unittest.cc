#include <windows.h>

#include <shlwapi.h>

#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/launcher/installer/service/transactions/copy_file_operation.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/create_reg_key_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/launcher/installer/service/transactions/move_file_operation.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr DWORD kNoValue = ChangeRegValueOperation::kNoValue;
// Seeds per test case; the cases run side by side. A case of 500 seeds
// took 108 s on two loaded processors and outlasted the test time-out on a
// busier machine; cases of 100 run the same 2,000 seeds in the same
// sequences, since each case starts where a new sandbox is made.
constexpr uint32_t kSeedsPerCase = 100;
constexpr uint32_t kCases = 20;
constexpr uint32_t kSeedsPerSandbox = 4;
static_assert(kSeedsPerCase % kSeedsPerSandbox == 0,
              "each case starts with a new sandbox");
constexpr int kMaxOperations = 30;

// The paths and keys that operations pick from, some missing at the start.
const wchar_t* const kPaths[] = {L"a",    L"b",       L"c",         L"d",
                                 L"d\\x", L"d\\sub",  L"d\\sub\\y", L"e",
                                 L"e\\z", L"f\\g\\h", L"d\\sub\\q"};
// "k2\zlocked" cannot be deleted, so deleting "k2" fails half way.
const wchar_t* const kKeys[] = {L"k1",           L"k1\\s",       L"k2",
                                L"k2\\t\\u",     L"k2\\zlocked", L"granted",
                                L"granted\\sub", L"n\\m"};
const wchar_t* const kValueNames[] = {L"", L"v", L"w"};
const DWORD kTypes[] = {REG_SZ,    REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY,
                        REG_DWORD, REG_QWORD,     REG_NONE,     kNoValue};

// Subkeys and values may be created only after a grant.
constexpr wchar_t kGrantedKey[] = L"O:BAG:BAD:(D;;0x6;;;WD)(A;;KA;;;WD)";

// What the operation must return. Some answers are the platform's: Windows
// renames a read-only file and lets an administrator take ownership of any
// key, the test platform refuses both.
enum Outcome { kSucceeds, kFails, kEither };

Outcome Both(Outcome first, Outcome second) {
  if (first == kFails || second == kFails)
    return kFails;
  return first == kEither || second == kEither ? kEither : kSucceeds;
}

base::string16 Parent(const base::string16& path) {
  const size_t separator = path.rfind(L'\\');
  return separator == base::string16::npos ? base::string16()
                                           : path.substr(0, separator);
}

bool IsAtOrBelow(const base::string16& path, const base::string16& top) {
  return path == top || path.compare(0, top.size() + 1, top + L"\\") == 0;
}

// What the sandbox folder and key should hold: the same operations done on
// maps. Set-aside entries are kept, as "<path>|<number>", for the commit's
// removal of emptied folders.
struct Model {
  struct File {
    bool folder;
    DWORD attributes;
    FILETIME written;
    std::string bytes;
  };
  struct Key {
    // "?" for a key made anew: the system gives it its security.
    std::string security;
    bool locked;
    // Values in the snapshot's "<type>:<bytes>" form.
    std::map<base::string16, std::string> values;
  };
  struct Aside {
    base::string16 name;
    base::string16 path;
    bool remove_emptied_parents;
  };

  std::map<base::string16, File> files;
  std::map<base::string16, Key> keys;
  std::vector<Aside> asides;
  int next_aside = 0;

  bool Exists(const base::string16& path) const {
    return path.empty() || files.count(path);
  }
  bool IsFolder(const base::string16& path) const {
    return path.empty() || (files.count(path) && files.at(path).folder);
  }
  bool HasChildren(const base::string16& folder) const {
    for (const auto& entry : files) {
      if (Parent(entry.first) == folder)
        return true;
    }
    return false;
  }
  // Moves |from| with everything below it to |to|.
  void Rename(const base::string16& from, const base::string16& to) {
    std::map<base::string16, File> renamed;
    for (auto it = files.begin(); it != files.end();) {
      if (IsAtOrBelow(it->first, from)) {
        renamed[to + it->first.substr(from.size())] = it->second;
        it = files.erase(it);
      } else {
        ++it;
      }
    }
    files.insert(renamed.begin(), renamed.end());
  }

  Outcome CreateFolder(const base::string16& path) {
    std::vector<base::string16> missing;
    for (base::string16 level = path; !IsFolder(level); level = Parent(level)) {
      if (Exists(level))
        return kFails;
      missing.push_back(level);
    }
    for (const base::string16& level : missing)
      files[level] = {true, FILE_ATTRIBUTE_DIRECTORY, {}, ""};
    return kSucceeds;
  }
  Outcome Delete(const base::string16& path, bool remove_emptied_parents) {
    if (!Exists(path))
      return kSucceeds;
    const File& file = files[path];
    const Outcome outcome =
        !file.folder && file.attributes & FILE_ATTRIBUTE_READONLY ? kEither
                                                                  : kSucceeds;
    const base::string16 name = path + L"|" + base::IntToString16(next_aside++);
    Rename(path, name);
    asides.push_back({name, path, remove_emptied_parents});
    return outcome;
  }
  Outcome PrepareDestination(const base::string16& destination) {
    if (!IsFolder(Parent(destination)))
      return CreateFolder(Parent(destination));
    return Delete(destination, false);
  }
  void ClearReadOnly(const base::string16& path) {
    if (files.count(path))
      files[path].attributes &= ~FILE_ATTRIBUTE_READONLY;
  }
  Outcome Copy(const base::string16& source,
               const base::string16& destination) {
    const Outcome outcome = PrepareDestination(destination);
    if (outcome == kFails || !Exists(source) || IsFolder(source))
      return kFails;
    ClearReadOnly(source);
    files[destination] = files[source];
    return outcome;
  }
  Outcome Move(const base::string16& source,
               const base::string16& destination) {
    const Outcome outcome = PrepareDestination(destination);
    if (outcome == kFails || !Exists(source) ||
        IsAtOrBelow(destination, source)) {
      return kFails;
    }
    ClearReadOnly(source);
    Rename(source, destination);
    return outcome;
  }
  void RemoveTree(const base::string16& top) {
    for (auto it = files.begin(); it != files.end();)
      it = IsAtOrBelow(it->first, top) ? files.erase(it) : std::next(it);
  }
  void Commit() {
    for (auto it = asides.rbegin(); it != asides.rend(); ++it) {
      // Wherever later renames took it.
      const base::string16 tag = it->name.substr(it->name.find(L'|'));
      for (const auto& entry : files) {
        if (entry.first.size() >= tag.size() &&
            entry.first.compare(entry.first.size() - tag.size(), tag.size(),
                                tag) == 0) {
          RemoveTree(base::string16(entry.first));
          break;
        }
      }
      if (!it->remove_emptied_parents)
        continue;
      for (base::string16 folder = Parent(it->path);
           !folder.empty() && IsFolder(folder) && !HasChildren(folder);
           folder = Parent(folder)) {
        files.erase(folder);
      }
    }
    asides.clear();
  }

  bool KeyExists(const base::string16& key) const {
    return key.empty() || keys.count(key);
  }
  Outcome CreateKey(const base::string16& key) {
    base::string16 ancestor = key;
    while (!KeyExists(ancestor))
      ancestor = Parent(ancestor);
    if (ancestor == key)
      return kSucceeds;
    for (base::string16 level = key; level != ancestor; level = Parent(level))
      keys[level] = {"?", false, {}};
    return !ancestor.empty() && keys[ancestor].locked ? kEither : kSucceeds;
  }
  Outcome ChangeValue(const base::string16& key,
                      const base::string16& name,
                      DWORD type,
                      const std::string& bytes) {
    if (!KeyExists(key) && type == kNoValue)
      return kSucceeds;
    const Outcome outcome = CreateKey(key);
    if (type == kNoValue)
      keys[key].values.erase(name);
    else
      keys[key].values[name] = base::StringPrintf("%lx:", type) + bytes;
    return Both(outcome, keys[key].locked ? kEither : kSucceeds);
  }
  Outcome DeleteKey(const base::string16& key) {
    Outcome outcome = kSucceeds;
    for (auto it = keys.begin(); it != keys.end();) {
      if (IsAtOrBelow(it->first, key)) {
        outcome = it->second.locked ? kEither : outcome;
        it = keys.erase(it);
      } else {
        ++it;
      }
    }
    return outcome;
  }
};

class FailingOperation : public Operation {
 public:
  explicit FailingOperation(std::unique_ptr<Operation> first)
      : first_(std::move(first)) {}
  bool Do(Transaction* spawned) override {
    if (first_)
      spawned->Execute(std::move(first_));
    return false;
  }
  void Rollback() override {}

 private:
  std::unique_ptr<Operation> first_;
};

struct RandomOperation {
  std::string description;
  std::function<std::unique_ptr<Operation>()> make;
  // Does the operation on the model and tells what it must return.
  std::function<Outcome(Model*)> model;
};

// Transactions of random operations over a sandbox folder and key, each
// rolled back after success, rolled back after a failure at a random place,
// and committed. A rollback must give back exactly the snapshot of the
// start, a commit exactly what the same operations make of the model, and
// neither may leave anything set aside.
class RandomTransactionTest : public OperationTest,
                              public testing::WithParamInterface<uint32_t> {
 protected:
  void SetUp() override {
    OperationTest::SetUp();
    // Failing operations log; thousands of them would only slow the test.
    base::SetMinLogLevel(base::LOG_FATAL);
    MakeSandbox();
  }
  void TearDown() override { base::SetMinLogLevel(base::LOG_INFO); }

  void MakeSandbox() {
    model_ = Model();
    AddFile(L"keep", "never touched", FILE_ATTRIBUTE_NORMAL);
    AddFile(L"a", "alpha", FILE_ATTRIBUTE_NORMAL);
    AddFile(L"b", "bravo", FILE_ATTRIBUTE_READONLY);
    AddFile(L"d\\x", "x-ray", FILE_ATTRIBUTE_NORMAL);
    AddFile(L"d\\sub\\y", "yankee", FILE_ATTRIBUTE_NORMAL);
    AddFile(L"e\\z", "", FILE_ATTRIBUTE_READONLY);
    AddValue(L"k1", L"v", REG_SZ, "ab\0c\0d");
    AddValue(L"k1", L"w", REG_DWORD, std::string("\1\0\0\0", 4));
    AddValue(L"k1\\s", L"", REG_MULTI_SZ, std::string("m\0\0\0\0", 5));
    AddValue(L"k2", L"v", REG_BINARY, std::string(300, '\x5a'));
    AddValue(L"k2", L"w", REG_EXPAND_SZ, "%\0T\0%\0");
    AddValue(L"k2\\t\\u", L"", REG_QWORD, std::string(8, '\0'));
    AddValue(L"granted", L"v", REG_SZ, "g");
    AddValue(L"granted\\sub", L"", REG_SZ, "s");
    AddValue(L"k2\\zlocked", L"v", REG_SZ, "l");
    SetKeySecurity(L"granted", kGrantedKey);
    SetKeySecurity(L"k2\\zlocked", kLockedKey);
    // The same every time.
    if (key_security_.empty()) {
      for (const auto& key : model_.keys)
        key_security_[key.first] = KeySecurity(key.first);
    }
    for (auto& key : model_.keys) {
      key.second.security = key_security_[key.first];
      key.second.locked = key.first == L"k2\\zlocked";
    }
  }

  void ClearSandbox() {
    ASSERT_TRUE(base::DeleteFile(temp_.path().Append(L"*"), true));
    for (const wchar_t* top : {L"k1", L"k2", L"granted", L"n"})
      ::SHDeleteKeyW(HKEY_CURRENT_USER, Key(top).c_str());
  }

  // Every sandbox has the same times, so that one snapshot of the start
  // serves them all.
  void AddFile(const wchar_t* path,
               const std::string& bytes,
               DWORD attributes) {
    Write(path, bytes);
    const FILETIME written = {static_cast<DWORD>(bytes.size()), 0x01d00000};
    HANDLE file =
        ::CreateFileW(Path(path).value().c_str(), FILE_WRITE_ATTRIBUTES, 0,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(::SetFileTime(file, nullptr, nullptr, &written));
    ::CloseHandle(file);
    ASSERT_TRUE(::SetFileAttributesW(Path(path).value().c_str(), attributes));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExW(Path(path).value().c_str(),
                                       GetFileExInfoStandard, &data));
    for (base::string16 folder = Parent(path); !folder.empty();
         folder = Parent(folder)) {
      model_.files[folder] = {true, FILE_ATTRIBUTE_DIRECTORY, {}, ""};
    }
    model_.files[path] = {false, data.dwFileAttributes, data.ftLastWriteTime,
                          bytes};
  }
  void AddValue(const wchar_t* key,
                const wchar_t* name,
                DWORD type,
                const std::string& bytes) {
    SetValue(key, name, type, bytes);
    for (base::string16 level = key; !level.empty(); level = Parent(level))
      model_.keys[level];
    model_.keys[key].values[name] = base::StringPrintf("%lx:", type) + bytes;
  }

  // The snapshot that the model makes, in TakeSnapshot's words.
  Snapshot ModelSnapshot() const {
    Snapshot snapshot;
    for (const auto& entry : model_.files) {
      const Model::File& file = entry.second;
      std::string& text = snapshot[L"file " + Path(entry.first).value()];
      text = base::StringPrintf("attributes %lx", file.attributes);
      if (!file.folder) {
        text +=
            base::StringPrintf(" written %lx.%lx ", file.written.dwHighDateTime,
                               file.written.dwLowDateTime) +
            file.bytes;
      }
    }
    snapshot[L"key "] = KeySecurity(L"");
    for (const auto& key : model_.keys) {
      snapshot[L"key " + key.first] = key.second.security;
      for (const auto& value : key.second.values)
        snapshot[L"value " + key.first + L" : " + value.first] = value.second;
    }
    return snapshot;
  }
  // What the model knows of |snapshot|: the security of files, and of the
  // keys made anew, are the system's.
  Snapshot Comparable(Snapshot snapshot) const {
    for (auto it = snapshot.begin(); it != snapshot.end();) {
      it = it->first.compare(0, 9, L"security ") == 0 ? snapshot.erase(it)
                                                      : std::next(it);
    }
    for (const auto& key : model_.keys) {
      if (key.second.security == "?")
        snapshot[L"key " + key.first] = "?";
    }
    return snapshot;
  }

  RandomOperation MakeRandom(std::mt19937* random, bool inner = false);

  Model model_;
  std::map<base::string16, std::string> key_security_;
};

template <typename T, size_t N>
const T& Pick(std::mt19937* random, const T (&choices)[N]) {
  return choices[std::uniform_int_distribution<size_t>(0, N - 1)(*random)];
}

RandomOperation RandomTransactionTest::MakeRandom(std::mt19937* random,
                                                  bool inner) {
  const base::string16 from = Pick(random, kPaths);
  const base::string16 to = Pick(random, kPaths);
  const base::string16 key = Pick(random, kKeys);
  const base::string16 name = Pick(random, kValueNames);
  const DWORD type = Pick(random, kTypes);
  std::string bytes(std::uniform_int_distribution<int>(0, 9)(*random), '\0');
  for (char& byte : bytes)
    byte = "\0\1az\xff"[std::uniform_int_distribution<int>(0, 4)(*random)];
  const bool flag = std::uniform_int_distribution<int>(0, 3)(*random) == 0;
  const std::string path = base::UTF16ToUTF8(from);
  const std::string paths = path + " to " + base::UTF16ToUTF8(to);
  const std::string value =
      base::UTF16ToUTF8(key) + " '" + base::UTF16ToUTF8(name) + "'";
  const base::FilePath source = Path(from);
  const base::FilePath destination = Path(to);
  const base::string16 key_path = Key(key);
  switch (std::uniform_int_distribution<int>(0, inner ? 7 : 8)(*random)) {
    case 0:
      return {"copy " + paths,
              [=] {
                return std::make_unique<CopyFileOperation>(source, destination);
              },
              [=](Model* model) { return model->Copy(from, to); }};
    case 1:
      return {"move " + paths,
              [=] {
                return std::make_unique<MoveFileOperation>(source, destination);
              },
              [=](Model* model) { return model->Move(from, to); }};
    case 2:
      return {(flag ? "delete, emptied parents too, " : "delete ") + path,
              [=] {
                return std::make_unique<DeleteFileOperation>(source, flag,
                                                             flag);
              },
              [=](Model* model) { return model->Delete(from, flag); }};
    case 3:
      return {"create folder " + path,
              [=] { return std::make_unique<CreateFolderOperation>(source); },
              [=](Model* model) { return model->CreateFolder(from); }};
    case 4:
    case 5:
      return {base::StringPrintf("set %lx, %u bytes: ", type,
                                 static_cast<unsigned>(bytes.size())) +
                  value,
              [=] {
                return std::make_unique<ChangeRegValueOperation>(
                    HKEY_CURRENT_USER, key_path, name, bytes.data(), type,
                    static_cast<DWORD>(bytes.size()));
              },
              [=](Model* model) {
                return model->ChangeValue(key, name, type, bytes);
              }};
    case 6:
      return {"create key " + base::UTF16ToUTF8(key),
              [=] {
                return std::make_unique<CreateRegKeyOperation>(
                    HKEY_CURRENT_USER, key_path);
              },
              [=](Model* model) { return model->CreateKey(key); }};
    case 7:
      return {"delete key " + base::UTF16ToUTF8(key),
              [=] {
                return std::make_unique<DeleteRegKeyOperation>(
                    HKEY_CURRENT_USER, key_path);
              },
              [=](Model* model) { return model->DeleteKey(key); }};
  }
  // A failure, after a spawned operation of any kind that it must take
  // back.
  const RandomOperation first = MakeRandom(random, true);
  return {"fail after " + first.description,
          [=] { return std::make_unique<FailingOperation>(first.make()); },
          [](Model*) { return kFails; }};
}

// Executes |operations| into |transaction|, checking each result against the
// model. False when one differs.
bool ExecuteAll(const std::vector<RandomOperation>& operations,
                Transaction* transaction,
                Model* model) {
  for (const RandomOperation& operation : operations) {
    Model changed = *model;
    const Outcome outcome = operation.model(&changed);
    const bool done = transaction->Execute(operation.make());
    if (outcome != kEither && done != (outcome == kSucceeds)) {
      ADD_FAILURE() << operation.description << " returned " << done;
      return false;
    }
    if (done)
      *model = changed;
  }
  return true;
}

TEST_P(RandomTransactionTest, RollbackRestoresAllAndCommitKeepsAll) {
  const Snapshot sandbox = TakeSnapshot();
  Snapshot start = sandbox;
  const uint32_t first_seed = GetParam() * kSeedsPerCase + 1;
  for (uint32_t seed = first_seed; seed < first_seed + kSeedsPerCase; ++seed) {
    std::mt19937 random(seed);
    auto make_list = [&random, this] {
      std::vector<RandomOperation> operations(
          std::uniform_int_distribution<int>(1, kMaxOperations)(random));
      for (RandomOperation& operation : operations)
        operation = MakeRandom(&random);
      return operations;
    };
    auto describe = [seed](const std::vector<RandomOperation>& operations) {
      std::string text = base::StringPrintf("seed %u:", seed);
      for (const RandomOperation& operation : operations)
        text += "\n  " + operation.description;
      return text;
    };

    // Rolled back after success, and after a failure at a random place.
    for (bool fail : {false, true}) {
      std::vector<RandomOperation> operations = make_list();
      if (fail) {
        operations.resize(std::uniform_int_distribution<size_t>(
            0, operations.size())(random));
        operations.push_back(
            {"injected failure",
             [] { return std::make_unique<FailingOperation>(nullptr); },
             [](Model*) { return kFails; }});
      }
      SCOPED_TRACE(describe(operations));
      Model model = model_;
      Transaction transaction;
      const bool matched = ExecuteAll(operations, &transaction, &model);
      transaction.RollbackAll();
      const Snapshot after = TakeSnapshot();
      ASSERT_TRUE(matched);
      ASSERT_EQ(start, after);
    }

    // Committed: what it leaves is where the next seed starts, and a new
    // sandbox once in a while, before the operations have emptied it.
    const std::vector<RandomOperation> operations = make_list();
    SCOPED_TRACE(describe(operations));
    bool matched = false;
    {
      Transaction transaction;
      matched = ExecuteAll(operations, &transaction, &model_);
    }
    model_.Commit();
    ASSERT_TRUE(matched);
    start = TakeSnapshot();
    ASSERT_EQ(ModelSnapshot(), Comparable(start));
    if (seed % kSeedsPerSandbox == 0) {
      ClearSandbox();
      MakeSandbox();
      if (HasFatalFailure())
        return;
      start = sandbox;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds,
                         RandomTransactionTest,
                         testing::Range<uint32_t>(0, kCases));

}  // namespace
}  // namespace installer
}  // namespace vexlo
