#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"

#include <windows.h>

#include <memory>
#include <set>
#include <string>

#include "base/base_paths.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/test/folder_link.h"
#include "base/time/time.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr int kAsideNames = 30;

// What stands in the deletion's way meanwhile.
enum Obstacle { kNone, kLoaded, kLocked, kAsideNameTaken, kNoRights };

std::string ReadText(const base::FilePath& path) {
  std::string text;
  return base::ReadFileToString(path, &text) ? text : "(unreadable)";
}

// The names in |folder|.
std::set<base::string16> Names(const base::FilePath& folder) {
  std::set<base::string16> names;
  base::FileEnumerator entries(
      folder, false,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = entries.Next(); !entry.empty();
       entry = entries.Next()) {
    names.insert(entry.BaseName().value());
  }
  return names;
}

class DeleteFileOperationTest : public OperationTest {
 protected:
  void SetUp() override {
    OperationTest::SetUp();
    Write(L"a\\keep.txt", "keep");
    Write(L"a\\b\\c\\f.txt", "file");
    Write(L"a\\d\\x.dll", "image");
    ASSERT_TRUE(base::CreateDirectory(Path(L"e")));
  }

  // Puts |obstacle| in the way of deleting |relative| while the result
  // lives.
  std::shared_ptr<void> Obstruct(Obstacle obstacle, const wchar_t* relative) {
    const base::FilePath path = Path(relative);
    base::FilePath exe_folder;
    const int64_t now = base::Time::Now().ToTimeT();
    switch (obstacle) {
      case kNone:
        return nullptr;
      case kLoaded:
        EXPECT_TRUE(base::PathService::Get(base::DIR_EXE, &exe_folder));
        EXPECT_TRUE(base::CopyFile(
            exe_folder.Append(L"fake_installer_test_dll.dll"), path));
        return std::shared_ptr<void>(
            ::LoadLibraryW(path.value().c_str()),
            [](void* module) { ::FreeLibrary(static_cast<HMODULE>(module)); });
      case kLocked:
        return Lock(relative, 0);
      case kAsideNameTaken:
        // Every name the next half minute could give.
        for (int64_t seconds = now; seconds < now + kAsideNames; ++seconds) {
          EXPECT_TRUE(base::CreateDirectory(
              base::FilePath(path.value() + L"." +
                             base::Uint64ToString16(seconds) + L".old")));
        }
        return nullptr;
      case kNoRights:
        return Deny(relative);
    }
    return nullptr;
  }
};

TEST_F(DeleteFileOperationTest, MovesAsideUntilCommittedAndBackOnRollback) {
  const struct {
    const wchar_t* path;
    bool check_in_use;
    bool remove_emptied_parents;
    Obstacle obstacle;
    bool done;
    // What the commit removed (empty: nothing) and what it left.
    const wchar_t* gone;
    const wchar_t* kept;
  } kCases[] = {
      {L"a\\b\\c\\f.txt", false, true, kNone, true, L"a\\b", L"a\\keep.txt"},
      {L"a\\b\\c\\f.txt", false, false, kNone, true, L"a\\b\\c\\f.txt",
       L"a\\b\\c"},
      {L"a\\b", false, true, kNone, true, L"a\\b", L"a\\keep.txt"},
      {L"e\\missing.txt", false, true, kNone, true, L"", L"e"},
      {L"a\\d\\x.dll", true, true, kLoaded, false, L"", L"a\\d\\x.dll"},
      {L"a\\d\\x.dll", true, true, kNone, true, L"a\\d", L"a\\keep.txt"},
      {L"a\\keep.txt", false, false, kLocked, false, L"", L"a\\keep.txt"},
      // Another name is found.
      {L"a\\keep.txt", false, false, kAsideNameTaken, true, L"a\\keep.txt",
       L"a"},
      // Granted the rights, and failing all the same.
      {L"a\\keep.txt", false, false, kNoRights, false, L"", L"a\\keep.txt"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    std::shared_ptr<void> obstacle = Obstruct(c.obstacle, c.path);
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
    obstacle.reset();
    EXPECT_TRUE(!*c.gone || !base::PathExists(Path(c.gone)));
    EXPECT_TRUE(base::PathExists(Path(c.kept)));
    int asides = 0;
    for (const auto& entry : TakeSnapshot())
      asides += entry.first.compare(0, 5, L"file ") == 0 &&
                entry.first.find(L".old") != base::string16::npos;
    EXPECT_EQ(c.obstacle == kAsideNameTaken ? kAsideNames : 0, asides);
    base::DeleteFile(temp_.path(), true);
    SetUp();
  }
}

// A link in the deleted folder goes with it as a link, on rollback it comes
// back as one, and what it points to stays whole either way. A link given
// for deletion is set aside as a link where a rename moves links, and is
// left alone where a rename would move what it points to.
TEST_F(DeleteFileOperationTest, LinksGoAsLinksAndWhatTheyPointToStays) {
  Write(L"userdata\\keep.txt", "keep");
  ASSERT_TRUE(base::MakeFolderLink(Path(L"a\\b\\cache"), Path(L"userdata")) &&
              base::MakeFolderLink(Path(L"a\\spare"), Path(L"e")) &&
              base::MakeFolderLink(Path(L"link"), Path(L"userdata")));
  const auto expect_linked_data_whole = [this] {
    EXPECT_EQ("keep", ReadText(Path(L"userdata\\keep.txt")));
    EXPECT_TRUE(base::DirectoryExists(Path(L"e")));
  };
  {
    Transaction transaction;
    EXPECT_TRUE(transaction.Execute(
        std::make_unique<DeleteFileOperation>(Path(L"a"), false, false)));
    EXPECT_FALSE(base::PathExists(Path(L"a")));
    transaction.RollbackAll();
    EXPECT_TRUE(base::IsLink(Path(L"a\\b\\cache")));
    EXPECT_EQ("keep", ReadText(Path(L"a\\b\\cache\\keep.txt")));
    EXPECT_TRUE(transaction.Execute(
        std::make_unique<DeleteFileOperation>(Path(L"a"), false, false)));
  }
  EXPECT_FALSE(base::PathExists(Path(L"a")));
  expect_linked_data_whole();

  // A file deleted through a link: the link is no emptied parent to remove,
  // and neither is the folder it points to.
  Write(L"userdata\\only\\f.txt", "f");
  ASSERT_TRUE(base::MakeFolderLink(Path(L"e\\only"), Path(L"userdata\\only")));
  {
    Transaction transaction;
    EXPECT_TRUE(transaction.Execute(std::make_unique<DeleteFileOperation>(
        Path(L"e\\only\\f.txt"), false, true)));
  }
  EXPECT_TRUE(base::IsLink(Path(L"e\\only")));
  EXPECT_TRUE(base::DirectoryExists(Path(L"userdata\\only")));
  EXPECT_FALSE(base::PathExists(Path(L"userdata\\only\\f.txt")));

  const bool set_aside = base::RenamesMoveLinks();
  {
    Transaction transaction;
    EXPECT_EQ(set_aside,
              transaction.Execute(std::make_unique<DeleteFileOperation>(
                  Path(L"link"), false, false)));
    transaction.RollbackAll();
    EXPECT_TRUE(base::IsLink(Path(L"link")));
    EXPECT_EQ(set_aside,
              transaction.Execute(std::make_unique<DeleteFileOperation>(
                  Path(L"link"), false, false)));
  }
  EXPECT_EQ(!set_aside, base::IsLink(Path(L"link")));
  expect_linked_data_whole();
  // Nothing set aside is left.
  std::set<base::string16> expected = {L"e", L"userdata"};
  if (!set_aside)
    expected.insert(L"link");
  EXPECT_EQ(expected, Names(temp_.path()));
  // Wine hides a link whose folder is gone: the links go first.
  EXPECT_TRUE(base::DeleteFile(Path(L"link"), false));
  EXPECT_TRUE(base::DeleteFile(Path(L"e\\only"), true));
  EXPECT_FALSE(base::PathExists(Path(L"link")));
  EXPECT_TRUE(base::DirectoryExists(Path(L"userdata\\only")));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
