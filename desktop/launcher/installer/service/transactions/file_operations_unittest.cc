#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/test/fake_security_checks.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/copy_file_operation.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"
#include "desktop/launcher/installer/service/transactions/move_file_operation.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

class FileOperationTest : public OperationTest {
 protected:
  std::unique_ptr<Operation> Delete(const wchar_t* path) {
    return std::make_unique<DeleteFileOperation>(Path(path), false, false);
  }
  std::unique_ptr<Operation> Move(const wchar_t* from, const wchar_t* to) {
    return std::make_unique<MoveFileOperation>(Path(from), Path(to));
  }
  std::unique_ptr<Operation> Copy(const wchar_t* from, const wchar_t* to) {
    return std::make_unique<CopyFileOperation>(Path(from), Path(to));
  }

  // Every entry of the snapshot, one line each, paths below the test
  // folder, to look for text in.
  std::string Listing() const {
    const std::string folder = base::UTF16ToUTF8(temp_.path().value()) + "\\";
    std::string listing;
    for (const auto& entry : TakeSnapshot()) {
      std::string line = base::UTF16ToUTF8(entry.first);
      const size_t at = line.find(folder);
      if (at != std::string::npos)
        line.erase(at, folder.size());
      listing += line + " " + entry.second + "\n";
    }
    return listing;
  }
  int CountAsides() const {
    int asides = 0;
    for (const auto& entry : TakeSnapshot()) {
      asides += entry.first.compare(0, 5, L"file ") == 0 &&
                entry.first.find(L".old") != base::string16::npos;
    }
    return asides;
  }
  void Reset() {
    ASSERT_TRUE(base::DeleteFile(temp_.path().Append(L"*"), true));
  }
};

// A deletion keeps what it set aside below the folder it was in; moving or
// setting aside that folder later in the transaction takes it along, and the
// commit must find it there.
TEST_F(FileOperationTest, CommitDeletesWhatWasSetAsideWhereverItWent) {
  const struct {
    std::function<std::unique_ptr<Operation>()> then;
    const wchar_t* moved_file;
  } kCases[] = {
      {[this] { return Move(L"d", L"e"); }, L"e\\kept.txt"},
      {[this] { return Move(L"d", L"new\\deep\\e"); },
       L"new\\deep\\e\\kept.txt"},
      {[this] { return Delete(L"d"); }, nullptr},
      // Onto a folder that is set aside in turn.
      {[this] { return Move(L"d", L"taken"); }, L"taken\\kept.txt"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.moved_file ? c.moved_file : L"deleted");
    Write(L"d\\sub\\gone.txt", "gone");
    Write(L"d\\kept.txt", "kept");
    Write(L"taken\\old.txt", "old");
    const Snapshot before = TakeSnapshot();
    for (bool commit : {false, true}) {
      Transaction transaction;
      ASSERT_TRUE(transaction.Execute(Delete(L"d\\sub")));
      ASSERT_TRUE(transaction.Execute(c.then()));
      if (!commit) {
        transaction.RollbackAll();
        EXPECT_EQ(before, TakeSnapshot());
      }
    }
    EXPECT_EQ(0, CountAsides()) << Listing();
    EXPECT_EQ(std::string::npos, Listing().find("gone")) << Listing();
    EXPECT_EQ(!!c.moved_file,
              base::PathExists(Path(c.moved_file ? c.moved_file : L"d")));
    Reset();
  }
}

// A copy onto a path, then the deletion of that path, and again, all within
// one second: each sets the path aside under a name of its own.
TEST_F(FileOperationTest, OnePathSetAsideOftenInOneSecond) {
  Write(L"a", "new");
  Write(L"b", "old");
  ASSERT_TRUE(base::CreateDirectory(Path(L"b.1234.old")));
  const Snapshot before = TakeSnapshot();
  for (bool commit : {false, true}) {
    const int64_t start = base::Time::Now().ToTimeT();
    Transaction transaction;
    ASSERT_TRUE(transaction.Execute(Copy(L"a", L"b")));
    // The first name has no number.
    const int64_t end = base::Time::Now().ToTimeT();
    bool plain_name = false;
    for (int64_t second = start; second <= end; ++second) {
      plain_name |= base::PathExists(
          Path(L"b." + base::Uint64ToString16(static_cast<uint64_t>(second)) +
               L".old"));
    }
    EXPECT_TRUE(plain_name);
    ASSERT_TRUE(transaction.Execute(Delete(L"b")));
    for (int round = 1; round < 3; ++round) {
      ASSERT_TRUE(transaction.Execute(Copy(L"a", L"b")));
      ASSERT_TRUE(transaction.Execute(Delete(L"b")));
    }
    // The old "b" and three copies, beside a name that was taken before.
    EXPECT_EQ(5, CountAsides());
    if (!commit) {
      transaction.RollbackAll();
      EXPECT_EQ(before, TakeSnapshot());
    }
  }
  EXPECT_FALSE(base::PathExists(Path(L"b")));
  EXPECT_EQ(1, CountAsides());
}

// Something took the place that a rollback would move a file back to: the
// file stays where it was set aside, and nothing deletes it.
TEST_F(FileOperationTest, WhatCannotBeMovedBackIsKept) {
  const struct {
    std::function<std::unique_ptr<Operation>()> make;
    // Taken away, then a folder made in its place.
    const wchar_t* replaced;
    const wchar_t* folder;
  } kCases[] = {
      {[this] { return Delete(L"b"); }, L"b", L"b"},
      // The moved file cannot go back, so the old destination cannot either.
      {[this] { return Move(L"a", L"b"); }, L"a", L"a"},
      {[this] { return Copy(L"a", L"b"); }, L"b", L"b\\x"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.folder);
    Write(L"a", "moved", FILE_ATTRIBUTE_READONLY);
    Write(L"b", "old");
    {
      Transaction transaction;
      ASSERT_TRUE(transaction.Execute(c.make()));
      ASSERT_TRUE(base::DeleteFile(Path(c.replaced), false));
      ASSERT_TRUE(base::CreateDirectory(Path(c.folder)));
      transaction.RollbackAll();
    }
    const std::string listing = Listing();
    EXPECT_EQ(1, CountAsides()) << listing;
    EXPECT_NE(std::string::npos, listing.find(" old\n")) << listing;
    // What stands in the way is not the source's to change either.
    EXPECT_NE(std::string::npos,
              listing.find("file " + base::UTF16ToUTF8(c.folder) +
                           " attributes 10\n"))
        << listing;
    Reset();
  }
}

// The paths that the system is to delete at the next start, in order.
std::vector<base::string16> ScheduledDeletions(const std::string& pending) {
  std::vector<base::string16> tokens(1);
  const base::string16 text(reinterpret_cast<const wchar_t*>(pending.data()),
                            pending.size() / sizeof(wchar_t));
  for (wchar_t character : text) {
    if (character)
      tokens.back() += character;
    else
      tokens.emplace_back();
  }
  std::vector<base::string16> deletions;
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i].compare(0, 4, L"\\??\\") == 0 && tokens[i + 1].empty())
      deletions.push_back(tokens[i].substr(tokens[i].rfind(L'\\') + 1));
  }
  return deletions;
}

// A set-aside folder whose content cannot all be deleted at the commit:
// what is left is deleted at the next start, each folder after its content.
TEST_F(FileOperationTest, WhatCannotBeDeletedNowGoesAtTheNextStart) {
  base::win::RegKey key(HKEY_LOCAL_MACHINE,
                        L"System\\CurrentControlSet\\Control\\Session Manager",
                        KEY_QUERY_VALUE | KEY_SET_VALUE);
  const wchar_t kPending[] = L"PendingFileRenameOperations";
  auto read_pending = [&key, &kPending] {
    std::string bytes(65536, '\0');
    DWORD size = static_cast<DWORD>(bytes.size());
    if (key.ReadValueRaw(kPending, &bytes[0], &size, nullptr) != ERROR_SUCCESS)
      size = 0;
    bytes.resize(size);
    return bytes;
  };
  const std::string pending_before = read_pending();
  Write(L"d\\sub\\locked.txt", "locked");
  Write(L"d\\a.txt", "a");
  std::shared_ptr<void> lock;
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.Execute(Delete(L"d")));
    base::FileEnumerator asides(temp_.path(), false,
                                base::FileEnumerator::DIRECTORIES, L"d.*.old");
    lock = Lock(asides.Next().BaseName().value() + L"\\sub\\locked.txt",
                FILE_SHARE_READ);
  }
  std::vector<base::string16> scheduled = ScheduledDeletions(read_pending());
  if (pending_before.empty()) {
    key.DeleteValue(kPending);
  } else {
    key.WriteValueRaw(kPending, pending_before.data(),
                      static_cast<DWORD>(pending_before.size()), REG_MULTI_SZ);
  }
  scheduled.erase(
      scheduled.begin(),
      scheduled.begin() + ScheduledDeletions(pending_before).size());
  ASSERT_EQ(3u, scheduled.size()) << Listing();
  EXPECT_EQ(L"locked.txt", scheduled[0]);
  EXPECT_EQ(L"sub", scheduled[1]);
  EXPECT_EQ(0u, scheduled[2].find(L"d.")) << scheduled[2];
}

// A chain of folders whose last level cannot be made: the levels made
// before it go again, whether the chain was asked for or needed by a copy.
TEST_F(FileOperationTest, AFolderChainFailingHalfWayLeavesNothing) {
  const base::string16 too_long = L"a\\b\\" + base::string16(300, L'x');
  Write(L"file", "file");
  const Snapshot before = TakeSnapshot();
  const std::function<std::unique_ptr<Operation>()> kMakes[] = {
      [&] { return std::make_unique<CreateFolderOperation>(Path(too_long)); },
      [&] {
        return std::make_unique<CopyFileOperation>(Path(L"file"),
                                                   Path(too_long + L"\\file"));
      },
      [&] {
        return std::make_unique<CreateFolderOperation>(Path(L"file\\a\\b"));
      },
  };
  for (const auto& make : kMakes) {
    Transaction transaction;
    EXPECT_FALSE(transaction.Execute(make()));
    EXPECT_EQ(before, TakeSnapshot());
  }
}

// Where the user may not delete a file, the deletion grants the rights and
// fails; the grant goes with the rollback, and the file keeps its
// attributes (the test platform keeps file permissions in the file's mode,
// where a grant of write access takes the read-only attribute away).
TEST_F(FileOperationTest, ADeniedDeletionTakesItsGrantBack) {
  for (DWORD attributes : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_NORMAL}) {
    SCOPED_TRACE(attributes);
    Write(L"f", "content", attributes);
    const Snapshot before = TakeSnapshot();
    FakeSecurityChecks checks;
    checks.Deny(Path(L"f").value());
    Transaction transaction;
    EXPECT_FALSE(transaction.Execute(Delete(L"f")));
    EXPECT_EQ(before, TakeSnapshot());
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
