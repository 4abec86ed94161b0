#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"

#include <windows.h>

#include <functional>
#include <memory>

#include "base/base_paths.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/time/time.h"
#include "desktop/launcher/installer/service/test/fake_security_checks.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

class DeleteFileOperationTest : public OperationTest {
 protected:
  void SetUp() override {
    OperationTest::SetUp();
    Write(L"a\\keep.txt", "keep");
    Write(L"a\\b\\c\\f.txt", "file");
    Write(L"a\\d\\x.dll", "image");
  }

  // Makes |relative| a module loaded into this process until the result
  // goes.
  std::shared_ptr<void> Load(const base::string16& relative) {
    base::FilePath folder;
    EXPECT_TRUE(base::PathService::Get(base::DIR_EXE, &folder));
    EXPECT_TRUE(base::CopyFile(folder.Append(L"fake_installer_test_dll.dll"),
                               Path(relative)));
    HMODULE module = ::LoadLibraryW(Path(relative).value().c_str());
    EXPECT_TRUE(module);
    return std::shared_ptr<void>(module, [](void* module) {
      ::FreeLibrary(static_cast<HMODULE>(module));
    });
  }
};

TEST_F(DeleteFileOperationTest, MovesAsideUntilCommittedAndBackOnRollback) {
  FakeSecurityChecks security;
  security.Deny(Path(L"a\\keep.txt").value());
  const struct {
    const wchar_t* path;
    bool check_in_use;
    bool remove_emptied_parents;
    bool loaded;
    bool done;
    // What the commit removed (empty: nothing) and what it left.
    const wchar_t* gone;
    const wchar_t* kept;
  } kCases[] = {
      {L"a\\b\\c\\f.txt", false, true, false, true, L"a\\b", L"a\\keep.txt"},
      {L"a\\b\\c\\f.txt", false, false, false, true, L"a\\b\\c\\f.txt",
       L"a\\b\\c"},
      {L"a\\b", false, true, false, true, L"a\\b", L"a\\keep.txt"},
      {L"a\\missing.txt", false, true, false, true, L"", L"a\\b\\c\\f.txt"},
      {L"a\\d\\x.dll", true, true, true, false, L"", L"a\\d\\x.dll"},
      {L"a\\d\\x.dll", true, true, false, true, L"a\\d", L"a\\keep.txt"},
      // No right to delete: granted, and failing all the same.
      {L"a\\keep.txt", false, false, false, false, L"", L"a\\keep.txt"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    std::shared_ptr<void> module = c.loaded ? Load(c.path) : nullptr;
    const Snapshot before = TakeSnapshot();
    auto make = [&c, this] {
      return std::make_unique<DeleteFileOperation>(Path(c.path), c.check_in_use,
                                                   c.remove_emptied_parents);
    };
    Transaction transaction;
    EXPECT_EQ(c.done, transaction.Execute(make()));
    transaction.RollbackAll();
    EXPECT_EQ(before, TakeSnapshot());

    EXPECT_EQ(c.done, transaction.Execute(make()));
    transaction.Commit();
    EXPECT_TRUE(!*c.gone || !base::PathExists(Path(c.gone)));
    EXPECT_TRUE(base::PathExists(Path(c.kept)));
    for (const auto& entry : TakeSnapshot())
      EXPECT_EQ(base::string16::npos, entry.first.find(L".old"));
    module.reset();
    SetUp();
  }
}

TEST_F(DeleteFileOperationTest, RefusesATakenAsideName) {
  const base::FilePath path = Path(L"a\\keep.txt");
  const int64_t now = base::Time::Now().ToTimeT();
  for (int64_t seconds : {now, now + 1}) {
    ASSERT_TRUE(base::CreateDirectory(base::FilePath(
        path.value() + L"." + base::Uint64ToString16(seconds) + L".old")));
  }
  const Snapshot before = TakeSnapshot();
  Transaction transaction;
  EXPECT_FALSE(transaction.Execute(
      std::make_unique<DeleteFileOperation>(path, false, false)));
  EXPECT_EQ(before, TakeSnapshot());
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
