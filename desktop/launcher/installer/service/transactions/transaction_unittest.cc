#include "desktop/launcher/installer/service/transactions/transaction.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/launcher/installer/service/transactions/copy_file_operation.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/launcher/installer/service/transactions/move_file_operation.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

using Log = std::vector<std::string>;

// Writes what happens to it into a shared log; its Do executes the
// operations it was given into the spawned list, then answers |result|.
class RecordingOperation : public Operation {
 public:
  RecordingOperation(const std::string& name,
                     Log* log,
                     bool result,
                     std::vector<RecordingOperation*> spawns = {})
      : name_(name), log_(log), result_(result), spawns_(std::move(spawns)) {}
  ~RecordingOperation() override { log_->push_back("delete " + name_); }

  bool Do(Transaction* spawned) override {
    log_->push_back("do " + name_);
    for (RecordingOperation* operation : spawns_)
      spawned->Execute(std::unique_ptr<Operation>(operation));
    return result_;
  }
  void Rollback() override { log_->push_back("rollback " + name_); }

 private:
  const std::string name_;
  Log* const log_;
  const bool result_;
  std::vector<RecordingOperation*> spawns_;
};

TEST(TransactionTest, UndoesAndDestroysInReverseOrderOfCompletion) {
  Log log;
  auto op = [&log](const char* name, bool result,
                   std::vector<RecordingOperation*> spawns = {}) {
    return new RecordingOperation(name, &log, result, std::move(spawns));
  };
  Transaction transaction;
  const struct {
    std::function<void()> action;
    Log expected;
  } kSteps[] = {
      {[&] { transaction.RollbackAll(); }, {}},
      {[&] {
         EXPECT_TRUE(transaction.Execute(std::unique_ptr<Operation>(
             op("A", true, {op("a1", true, {op("a11", true)})}))));
       },
       {"do A", "do a1", "do a11"}},
      // A failure undoes the operation and what it spawned, nothing else.
      {[&] {
         EXPECT_FALSE(transaction.Execute(std::unique_ptr<Operation>(
             op("B", false, {op("b1", true), op("b2", true)}))));
       },
       {"do B", "do b1", "do b2", "rollback B", "rollback b2", "rollback b1",
        "delete B", "delete b2", "delete b1"}},
      {[&] { transaction.Execute(std::unique_ptr<Operation>(op("C", true))); },
       {"do C"}},
      {[&] { transaction.RollbackAll(); },
       {"rollback C", "rollback A", "rollback a1", "rollback a11", "delete C",
        "delete A", "delete a1", "delete a11"}},
      {[&] { transaction.Execute(std::unique_ptr<Operation>(op("D", true))); },
       {"do D"}},
      {[&] { transaction.Commit(); }, {"delete D"}},
      {[&] { transaction.Commit(); }, {}},
  };
  for (size_t i = 0; i < std::size(kSteps); ++i) {
    SCOPED_TRACE(i);
    log.clear();
    kSteps[i].action();
    EXPECT_EQ(kSteps[i].expected, log);
  }
  {
    Transaction destroyed;
    destroyed.Execute(std::unique_ptr<Operation>(op("E", true)));
    log.clear();
  }
  EXPECT_EQ(Log{"delete E"}, log);
}

class InjectedFailure : public Operation {
 public:
  bool Do(Transaction* /*spawned*/) override { return false; }
  void Rollback() override {}
};

using Breaker = std::shared_ptr<void>;

// A transaction of every kind of operation over real files and keys.
class MixedTransactionTest : public OperationTest {
 protected:
  struct Step {
    std::function<Operation*()> make;
    // Makes the operation fail while the result lives; none: an injected
    // failure takes the operation's place.
    std::function<Breaker()> break_it;
  };

  void SetUp() override {
    OperationTest::SetUp();
    Write(L"src\\a.txt", "alpha", FILE_ATTRIBUTE_READONLY);
    Write(L"src\\b.dat", "bravo");
    Write(L"dst\\a.txt", "old a");
    Write(L"dst\\gone.dll", "image");
    Write(L"dst\\keep\\k.txt", "keep");
    SetValue(L"app", L"version", REG_SZ, std::string("1\0.\0000\0\0\0", 8));
    SetValue(L"app", L"flags", REG_DWORD, std::string("\7\0\0\0", 4));
    SetValue(L"tree", L"", REG_MULTI_SZ, std::string("x\0\0\0\0\0", 6));
    SetValue(L"tree\\child", L"q", REG_QWORD, std::string(8, '\x5a'));
    SetValue(L"tree\\child\\grand", L"", REG_EXPAND_SZ, "%\0T\0%\0\0\0");
    SetKeySecurity(L"tree\\child",
                   L"O:BAG:BAD:P(D;;KR;;;S-1-5-21-1-2-3-4)(A;OICI;KA;;;WD)");
  }

  Breaker Lock(const base::string16& file, DWORD share) {
    return Breaker(::CreateFileW(Path(file).value().c_str(), GENERIC_READ,
                                 share, nullptr, OPEN_EXISTING, 0, nullptr),
                   ::CloseHandle);
  }

  Breaker MakeKey(const base::string16& key, DWORD options) {
    HKEY handle = nullptr;
    EXPECT_EQ(
        ERROR_SUCCESS,
        ::RegCreateKeyExW(HKEY_CURRENT_USER, Key(key).c_str(), 0, nullptr,
                          options, KEY_ALL_ACCESS, nullptr, &handle, nullptr));
    ::RegCloseKey(handle);
    const base::string16 path = Key(key);
    return Breaker(nullptr, [path](void*) {
      EXPECT_EQ(ERROR_SUCCESS,
                ::RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str()));
    });
  }

  std::vector<Step> Steps() {
    const DWORD kOne = 1;
    const wchar_t kVersion[] = L"2.0";
    return {
        {[=] {
           return new CopyFileOperation(Path(L"src\\a.txt"),
                                        Path(L"dst\\a.txt"));
         },
         [=] { return Lock(L"src\\a.txt", 0); }},
        {[=] {
           return new MoveFileOperation(Path(L"src\\b.dat"),
                                        Path(L"dst\\new\\deep\\b.dat"));
         },
         [=] { return Lock(L"src\\b.dat", 0); }},
        {[=] {
           return new DeleteFileOperation(Path(L"dst\\gone.dll"), true, true);
         },
         [=] {
           return Lock(L"dst\\gone.dll", FILE_SHARE_READ | FILE_SHARE_DELETE);
         }},
        {[=] { return new CreateFolderOperation(Path(L"dst\\made\\x")); },
         [=] {
           Write(L"dst\\made", "in the way");
           const base::FilePath path = Path(L"dst\\made");
           return Breaker(nullptr,
                          [path](void*) { base::DeleteFile(path, false); });
         }},
        {[=] {
           return new ChangeRegValueOperation(HKEY_CURRENT_USER,
                                              Key(L"fresh\\key"), L"v", &kOne,
                                              REG_DWORD, sizeof(kOne));
         },
         [=] { return MakeKey(L"fresh", REG_OPTION_VOLATILE); }},
        {[=] {
           return new ChangeRegValueOperation(
               HKEY_CURRENT_USER, Key(L"app"), L"flags", nullptr,
               ChangeRegValueOperation::kNoValue, 0);
         },
         nullptr},
        {[=] {
           return new ChangeRegValueOperation(HKEY_CURRENT_USER, Key(L"app"),
                                              L"version", kVersion, REG_SZ,
                                              sizeof(kVersion));
         },
         nullptr},
        {[=] {
           return new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"tree"));
         },
         [=] {
           Breaker key = MakeKey(L"tree\\zz", 0);
           SetKeySecurity(L"tree\\zz", kLockedKey);
           return key;
         }},
        {[=] {
           return new ChangeRegValueOperation(HKEY_CURRENT_USER, Key(L"locked"),
                                              L"v", kVersion, REG_SZ,
                                              sizeof(kVersion));
         },
         [=] {
           Breaker key = MakeKey(L"locked", 0);
           SetKeySecurity(L"locked", kLockedKey);
           return key;
         }},
    };
  }
};

TEST_F(MixedTransactionTest, RollbackAfterAFailureAtAnyPositionRestoresAll) {
  const Snapshot before = TakeSnapshot();
  const std::vector<Step> steps = Steps();
  // One more position than there are steps: everything succeeded and a
  // later step of the installation failed.
  for (size_t failing = 0; failing <= steps.size(); ++failing) {
    SCOPED_TRACE(failing);
    Transaction transaction;
    for (size_t i = 0; i < failing; ++i)
      ASSERT_TRUE(
          transaction.Execute(std::unique_ptr<Operation>(steps[i].make())));
    {
      const bool breakable = failing < steps.size() && steps[failing].break_it;
      Breaker breaker = breakable ? steps[failing].break_it() : nullptr;
      EXPECT_FALSE(transaction.Execute(std::unique_ptr<Operation>(
          breakable ? steps[failing].make() : new InjectedFailure)));
      transaction.RollbackAll();
    }
    EXPECT_EQ(before, TakeSnapshot());
  }
}

TEST_F(MixedTransactionTest, DestroyingTheTransactionKeepsEveryChange) {
  {
    Transaction transaction;
    for (const Step& step : Steps())
      ASSERT_TRUE(transaction.Execute(std::unique_ptr<Operation>(step.make())));
  }
  EXPECT_EQ("alpha", Read(L"src\\a.txt"));
  EXPECT_EQ("alpha", Read(L"dst\\a.txt"));
  EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE,
            ::GetFileAttributesW(Path(L"dst\\a.txt").value().c_str()));
  EXPECT_EQ("none", Read(L"src\\b.dat"));
  EXPECT_EQ("bravo", Read(L"dst\\new\\deep\\b.dat"));
  EXPECT_FALSE(base::PathExists(Path(L"dst\\gone.dll")));
  EXPECT_TRUE(base::PathExists(Path(L"dst\\keep\\k.txt")));
  EXPECT_TRUE(base::DirectoryExists(Path(L"dst\\made\\x")));
  EXPECT_EQ(std::string("4:\1\0\0\0", 6), ReadValue(L"fresh\\key", L"v"));
  EXPECT_EQ("none", ReadValue(L"app", L"flags"));
  EXPECT_EQ(std::string("1:2\0.\0000\0\0\0", 10),
            ReadValue(L"app", L"version"));
  EXPECT_EQ(std::string("1:2\0.\0000\0\0\0", 10), ReadValue(L"locked", L"v"));
  const Snapshot after = TakeSnapshot();
  EXPECT_EQ(0u, after.count(L"key tree"));
  for (const auto& entry : after)
    EXPECT_EQ(base::string16::npos, entry.first.find(L".old")) << entry.first;
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
