#include "desktop/launcher/installer/service/transactions/transaction.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/launcher/installer/service/transactions/copy_file_operation.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/create_reg_key_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/launcher/installer/service/transactions/move_file_operation.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr DWORD kNoValue = ChangeRegValueOperation::kNoValue;

class InjectedFailure : public Operation {
 public:
  bool Do(Transaction* /*spawned*/) override { return false; }
  void Rollback() override {}
};

// Writes what happens to it into a shared log; spawns the operations it is
// given and then succeeds or fails.
class LoggingOperation : public Operation {
 public:
  LoggingOperation(std::string name,
                   std::string* log,
                   bool succeeds,
                   std::vector<std::unique_ptr<Operation>> spawns = {})
      : name_(std::move(name)),
        log_(log),
        succeeds_(succeeds),
        spawns_(std::move(spawns)) {}
  ~LoggingOperation() override { *log_ += "~" + name_ + " "; }

  bool Do(Transaction* spawned) override {
    *log_ += "do" + name_ + " ";
    for (auto& operation : spawns_)
      spawned->Execute(std::move(operation));
    return succeeds_;
  }
  void Rollback() override { *log_ += "undo" + name_ + " "; }

 private:
  const std::string name_;
  std::string* const log_;
  const bool succeeds_;
  std::vector<std::unique_ptr<Operation>> spawns_;
};

TEST(TransactionTest, OrderOfDoRollbackAndDestruction) {
  std::string log;
  auto make = [&log](const char* name, bool succeeds,
                     std::unique_ptr<Operation> spawn = nullptr) {
    std::vector<std::unique_ptr<Operation>> spawns;
    if (spawn)
      spawns.push_back(std::move(spawn));
    return std::make_unique<LoggingOperation>(name, &log, succeeds,
                                              std::move(spawns));
  };
  Transaction transaction;
  transaction.RollbackAll();
  transaction.Commit();
  EXPECT_TRUE(transaction.empty());
  EXPECT_EQ("", log);

  // A failing operation is undone before what it spawned, and destroyed
  // before it too; the list stays as it was.
  EXPECT_FALSE(transaction.Execute(make("X", false, make("S", true))));
  EXPECT_EQ("doX doS undoX undoS ~X ~S ", log);
  EXPECT_TRUE(transaction.empty());

  // [spawned A, B, spawned C, D], a failed spawn leaving no trace.
  log.clear();
  EXPECT_TRUE(transaction.Execute(make("B", true, make("A", true))));
  EXPECT_TRUE(transaction.Execute(make("D", true, make("C", true))));
  EXPECT_TRUE(transaction.Execute(make("F", true, make("E", false))));
  EXPECT_EQ("doB doA doD doC doF doE undoE ~E ", log);
  log.clear();
  transaction.RollbackAll();
  EXPECT_EQ("undoF undoD undoC undoB undoA ~F ~D ~C ~B ~A ", log);

  // Usable again; committing destroys without undoing, last first.
  log.clear();
  EXPECT_TRUE(transaction.Execute(make("B", true, make("A", true))));
  transaction.Commit();
  EXPECT_EQ("doB doA ~B ~A ", log);
  log.clear();
  {
    Transaction destroyed;
    EXPECT_TRUE(destroyed.Execute(make("Y", true)));
  }
  EXPECT_EQ("doY ~Y ", log);
}

// Makes an operation fail while it lives.
using Breaker = std::shared_ptr<void>;

// A transaction of every kind of operation over real files and keys. Its
// rollback, undoing the operations last first, and its commit, destroying
// them last first, must leave exactly the machine as it was or as the
// operations made it.
class MixedTransactionTest : public OperationTest {
 protected:
  struct Step {
    std::function<Operation*()> make;
    // None: an injected failure takes the step's place.
    std::function<Breaker()> break_it;
  };

  void SetUp() override {
    OperationTest::SetUp();
    Write(L"src\\a.txt", "alpha", FILE_ATTRIBUTE_READONLY);
    Write(L"src\\b.dat", "bravo", FILE_ATTRIBUTE_READONLY);
    Write(L"dst\\a.txt", "old a");
    Write(L"dst\\gone.dll", "image");
    Write(L"dst\\keep\\k.txt", "keep");
    ASSERT_TRUE(base::CreateDirectory(Path(L"dst\\empty")));
    SetValue(L"app", L"version", REG_SZ, std::string("1\0.\0000\0\0\0", 8));
    SetValue(L"app", L"flags", REG_DWORD, std::string("\7\0\0\0", 4));
    SetValue(L"tree", L"", REG_MULTI_SZ, std::string("x\0\0\0\0\0", 6));
    SetValue(L"tree\\child", L"q", REG_QWORD, std::string(8, '\x5a'));
    SetValue(L"tree\\child\\grand", L"", REG_EXPAND_SZ, "%\0T\0%\0\0\0");
    SetKeySecurity(L"tree\\child",
                   L"O:BAG:BAD:(D;;KR;;;S-1-5-21-1-2-3-4)(A;OICI;KA;;;WD)");
  }

  Breaker MakeKey(const wchar_t* key, DWORD options, const wchar_t* security) {
    HKEY handle = nullptr;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, Key(key).c_str(), 0, nullptr, options,
                      KEY_ALL_ACCESS, nullptr, &handle, nullptr);
    ::RegCloseKey(handle);
    if (security)
      SetKeySecurity(key, security);
    const base::string16 path = Key(key);
    return Breaker(nullptr, [path](void*) {
      EXPECT_EQ(0, ::RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str()));
    });
  }
  Operation* SetRegValue(const wchar_t* key, const wchar_t* name, DWORD type) {
    static const wchar_t kData[] = L"2.0";
    return new ChangeRegValueOperation(HKEY_CURRENT_USER, Key(key), name, kData,
                                       type, sizeof(kData));
  }

  Operation* Copy(const wchar_t* from, const wchar_t* to) {
    return new CopyFileOperation(Path(from), Path(to));
  }

  std::vector<Step> Steps() {
    return {
        {[=] { return Copy(L"src\\a.txt", L"dst\\a.txt"); },
         [=] { return Deny(L"dst\\a.txt"); }},
        {[=] { return Copy(L"src\\a.txt", L"dst\\keep\\a.txt"); },
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
        {[=] { return new CreateFolderOperation(Path(L"dst\\empty")); },
         nullptr},
        {[=] { return new CreateFolderOperation(Path(L"dst\\empty\\x\\y")); },
         nullptr},
        {[=] { return SetRegValue(L"fresh\\key", L"v", REG_BINARY); },
         [=] { return MakeKey(L"fresh", REG_OPTION_VOLATILE, nullptr); }},
        {[=] { return SetRegValue(L"app", L"flags", kNoValue); }, nullptr},
        {[=] { return SetRegValue(L"app", L"version", REG_SZ); }, nullptr},
        {[=] {
           return new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"tree"));
         },
         [=] { return MakeKey(L"tree\\zz", 0, kLockedKey); }},
        {[=] { return SetRegValue(L"locked", L"v", REG_SZ); },
         [=] { return MakeKey(L"locked", 0, kLockedKey); }},
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
  std::string all;
  for (const auto& entry : TakeSnapshot())
    all += base::UTF16ToUTF8(entry.first) + " " + entry.second + "\n";
  auto expect = [&all](bool kept, std::initializer_list<const char*> texts) {
    for (const char* text : texts)
      EXPECT_EQ(kept, all.find(text) != std::string::npos) << text;
  };
  expect(true, {"src\\a.txt attributes 20", "dst\\a.txt attributes 20", "alpha",
                "dst\\keep\\a.txt", "deep\\b.dat attributes 20", "bravo",
                "dst\\keep\\k.txt", "made\\x", "empty\\x\\y",
                "fresh\\key : v 3:2", "app : version 1:2", "locked : v"});
  expect(false, {"src\\b.dat", "gone.dll", ".old", "app : flags", "key tree"});
}

TEST_F(MixedTransactionTest, NothingIsCreatedWithoutAnExistingAncestor) {
  // A key right below the root has no ancestor to create it from.
  const base::string16 top_key = Key(L"").substr(Key(L"").rfind(L'\\') + 1);
  Transaction transaction;
  EXPECT_FALSE(transaction.Execute(
      std::make_unique<CreateFolderOperation>(base::FilePath(L"B:\\a\\b"))));
  EXPECT_FALSE(transaction.Execute(
      std::make_unique<CreateRegKeyOperation>(HKEY_CURRENT_USER, top_key)));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            ::RegDeleteKeyW(HKEY_CURRENT_USER, top_key.c_str()));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
