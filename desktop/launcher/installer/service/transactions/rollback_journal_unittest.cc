#include "desktop/launcher/installer/service/transactions/rollback_journal.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/hash.h"
#include "base/test/unique_test_dir.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/launcher/installer/service/transactions/copy_file_operation.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/launcher/installer/service/transactions/move_file_operation.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr DWORD kSeven = 7;

class RollbackJournalTest : public OperationTest {
 protected:
  RollbackJournalTest() : journal_path_(journal_dir_.path().Append(L"j")) {}

  void SetUp() override {
    OperationTest::SetUp();
    Write(L"src.txt", "source");
    Write(L"existing.txt", "old");
    Write(L"moved.txt", "moved");
    Write(L"gone.txt", "gone");
    SetValue(L"k", L"v", REG_SZ, "old value");
    SetValue(L"tree\\sub", L"w", REG_BINARY, "\1\2");
  }

  // Every kind of change a run makes, in an order where later ones build on
  // earlier ones.
  std::vector<std::function<std::unique_ptr<Operation>()>> Changes() {
    return {
        [this] { return Folder(L"new\\deep"); },
        [this] { return Copy(L"src.txt", L"new\\deep\\copy.txt"); },
        [this] { return Copy(L"src.txt", L"existing.txt"); },
        [this] { return Move(L"moved.txt", L"other\\moved.txt"); },
        [this] { return Move(L"new", L"renamed"); },
        [this] {
          return std::make_unique<DeleteFileOperation>(Path(L"gone.txt"), false,
                                                       false);
        },
        [this] { return Value(L"k"); },
        [this] { return Value(L"made\\below"); },
        [this] {
          return std::make_unique<DeleteRegKeyOperation>(HKEY_CURRENT_USER,
                                                         Key(L"tree"));
        },
    };
  }

  std::unique_ptr<Operation> Folder(const wchar_t* path) {
    return std::make_unique<CreateFolderOperation>(Path(path));
  }
  std::unique_ptr<Operation> Copy(const wchar_t* from, const wchar_t* to) {
    return std::make_unique<CopyFileOperation>(Path(from), Path(to));
  }
  std::unique_ptr<Operation> Move(const wchar_t* from, const wchar_t* to) {
    return std::make_unique<MoveFileOperation>(Path(from), Path(to));
  }
  std::unique_ptr<Operation> Value(const wchar_t* key) {
    return std::make_unique<ChangeRegValueOperation>(
        HKEY_CURRENT_USER, Key(key), L"v", &kSeven, REG_DWORD, sizeof(kSeven));
  }

  // Does the first |count| changes and then ends as a killed process does:
  // neither rolled back nor committed, with the journal left as it is.
  void DoAndDie(size_t count) {
    RollbackJournal journal;
    ASSERT_TRUE(journal.Open(journal_path_));
    // A killed process never destroys its transaction.
    Transaction* transaction = new Transaction(&journal);
    const auto changes = Changes();
    for (size_t i = 0; i < count; ++i)
      ASSERT_TRUE(transaction->Execute(changes[i]())) << i;
  }

  int64_t JournalSize() const {
    int64_t size = -1;
    base::GetFileSize(journal_path_, &size);
    return size;
  }

  // Writes a journal holding |records|, each whole, and then |tail|.
  void WriteJournal(const std::vector<base::Pickle>& records,
                    const std::string& tail) {
    {
      RollbackJournal journal;
      ASSERT_TRUE(journal.Open(journal_path_));
      for (const base::Pickle& record : records)
        ASSERT_TRUE(journal.Append(record));
    }
    ASSERT_TRUE(base::AppendToFile(journal_path_, tail.data(),
                                   static_cast<int>(tail.size())));
  }

  base::UniqueTestDir journal_dir_;
  const base::FilePath journal_path_;
};

// Whatever a killed run had done, replaying its journal takes back; the
// records of a change that was taken back are gone with it.
TEST_F(RollbackJournalTest, ReplayTakesBackWhatAKilledRunDid) {
  const Snapshot before = TakeSnapshot();
  for (size_t count = 0; count <= Changes().size(); ++count) {
    SCOPED_TRACE(count);
    DoAndDie(count);
    ASSERT_TRUE(RollbackJournal::Replay(journal_path_));
    EXPECT_FALSE(base::PathExists(journal_path_));
    EXPECT_EQ(before, TakeSnapshot());
  }
}

// A transaction keeps in the journal exactly what it has not taken back:
// nothing after a rollback or a failed operation, nothing once committed.
TEST_F(RollbackJournalTest, HoldsOnlyWhatIsDone) {
  const struct {
    const char* name;
    bool changes;
    std::function<void(Transaction*)> end;
  } kCases[] = {
      {"rolled back", true, [](Transaction* t) { t->RollbackAll(); }},
      // The copy makes its folder, then finds no source.
      {"failed", false,
       [this](Transaction* t) {
         EXPECT_FALSE(t->Execute(Copy(L"none.txt", L"f\\none.txt")));
       }},
      // Last: the changes stay.
      {"committed", true, [](Transaction* t) { t->Commit(); }},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    RollbackJournal journal;
    ASSERT_TRUE(journal.Open(journal_path_));
    const int64_t empty = JournalSize();
    Transaction transaction(&journal);
    if (test.changes) {
      for (const auto& change : Changes())
        ASSERT_TRUE(transaction.Execute(change()));
    }
    EXPECT_EQ(test.changes, empty < JournalSize());
    test.end(&transaction);
    EXPECT_EQ(empty, JournalSize());
    // Still in use afterwards.
    EXPECT_TRUE(transaction.Execute(Folder(L"again")));
    EXPECT_LT(empty, JournalSize());
    transaction.RollbackAll();
    journal.Close();
    EXPECT_FALSE(base::PathExists(journal_path_));
  }
}

// Records one change in Do and, in Rollback, how long the journal is then.
class RecordingOperation : public Operation {
 public:
  RecordingOperation(const base::FilePath& journal, int64_t* size_at_rollback)
      : journal_(journal), size_at_rollback_(size_at_rollback) {}
  bool Do(Transaction* spawned) override {
    return spawned->Record(RollbackRecord::CreatedFile(journal_));
  }
  void Rollback() override { base::GetFileSize(journal_, size_at_rollback_); }

 private:
  const base::FilePath journal_;
  int64_t* const size_at_rollback_;
};

// Rolling back cuts each record off as soon as its change is undone, so a
// kill half way through leaves the records of what is still done.
TEST_F(RollbackJournalTest, RollingBackCutsEachRecordOffInTurn) {
  RollbackJournal journal;
  ASSERT_TRUE(journal.Open(journal_path_));
  Transaction transaction(&journal);
  int64_t sizes_at_rollback[3] = {};
  std::vector<int64_t> sizes_after_do;
  for (int64_t& size : sizes_at_rollback) {
    ASSERT_TRUE(transaction.Execute(
        std::make_unique<RecordingOperation>(journal_path_, &size)));
    sizes_after_do.push_back(JournalSize());
  }
  transaction.RollbackAll();
  // Each operation rolls back with its own record as the last one left.
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(sizes_after_do[i], sizes_at_rollback[i]) << i;
  journal.Close();
}

// Each record that keeps a file's bytes puts them back, or deletes a file
// that was not there.
TEST_F(RollbackJournalTest, PutsBackWhatAFileHeld) {
  Write(L"prefs.json", "new");
  Write(L"made.json", "made");
  WriteJournal({RollbackRecord::FileContent(Path(L"prefs.json"), true, "old"),
                RollbackRecord::FileContent(Path(L"made.json"), false, "")},
               "");
  ASSERT_TRUE(RollbackJournal::Replay(journal_path_));
  std::string content;
  EXPECT_TRUE(base::ReadFileToString(Path(L"prefs.json"), &content));
  EXPECT_EQ("old", content);
  EXPECT_FALSE(base::PathExists(Path(L"made.json")));
}

// A record that a kill cut short never made its change and is passed over;
// the whole records before it are taken back.
TEST_F(RollbackJournalTest, PassesOverARecordCutShort) {
  const base::Pickle last = RollbackRecord::CreatedFile(Path(L"src.txt"));
  const std::string bytes(static_cast<const char*>(last.data()), last.size());
  const uint32_t checksum =
      base::SuperFastHash(bytes.data(), static_cast<int>(bytes.size()));
  const std::string whole =
      bytes + std::string(reinterpret_cast<const char*>(&checksum), 4);
  std::string changed = whole;
  changed[bytes.size() - 2] ^= 1;
  const struct {
    const char* name;
    std::string tail;
    bool last_undone;
  } kCases[] = {
      {"nothing", "", false},
      {"part of the size", bytes.substr(0, 2), false},
      {"the pickle without its checksum", bytes, false},
      {"the checksum cut", whole.substr(0, whole.size() - 1), false},
      {"a changed byte", changed, false},
      {"whole", whole, true},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    Write(L"made.txt", "made");
    Write(L"src.txt", "source");
    WriteJournal({RollbackRecord::CreatedFile(Path(L"made.txt"))}, test.tail);
    ASSERT_TRUE(RollbackJournal::Replay(journal_path_));
    EXPECT_FALSE(base::PathExists(Path(L"made.txt")));
    EXPECT_EQ(!test.last_undone, base::PathExists(Path(L"src.txt")));
    EXPECT_FALSE(base::PathExists(journal_path_));
  }
}

// What a record says only undoes what is still the run's: a name taken
// again, a folder that holds something, a value under a key that went, and
// a journal that is not one stay as they are.
TEST_F(RollbackJournalTest, TakesNothingThatIsNotTheRuns) {
  Write(L"full\\kept.txt", "kept");
  const Snapshot before = TakeSnapshot();
  WriteJournal(
      {RollbackRecord::CreatedFolders(Path(L"full"), temp_.path()),
       RollbackRecord::Renamed(Path(L"existing.txt"), Path(L"src.txt")),
       RollbackRecord::Renamed(Path(L"nowhere.txt"), Path(L"nothing.txt")),
       RollbackRecord::RegistryValue(HKEY_CURRENT_USER, Key(L"no\\key"), L"v",
                                     true, REG_SZ, {'x', 0})},
      "");
  ASSERT_TRUE(RollbackJournal::Replay(journal_path_));
  EXPECT_EQ(before, TakeSnapshot());

  base::WriteFile(journal_path_, "XXXX", 4);
  EXPECT_FALSE(RollbackJournal::Replay(journal_path_));
  EXPECT_TRUE(base::PathExists(journal_path_));
  RollbackJournal journal;
  EXPECT_FALSE(journal.Open(journal_path_));
}

// A run started by another for the same folder continues the journal that
// the other holds open; a killed one's records are replayed by the other,
// a finished one's are gone, and the other's stay.
TEST_F(RollbackJournalTest, ARunStartedByAnotherContinuesItsJournal) {
  RollbackJournal first;
  ASSERT_TRUE(first.Open(journal_path_));
  ASSERT_TRUE(first.Append(RollbackRecord::CreatedFile(Path(L"src.txt"))));
  const int64_t first_size = JournalSize();
  EXPECT_FALSE(RollbackJournal::Replay(journal_path_));

  for (bool killed : {true, false}) {
    SCOPED_TRACE(killed ? "killed" : "finished");
    Write(L"second.txt", "second");
    {
      RollbackJournal second;
      ASSERT_TRUE(second.Open(journal_path_));
      EXPECT_EQ(static_cast<uint64_t>(first_size), second.end());
      ASSERT_TRUE(
          second.Append(RollbackRecord::CreatedFile(Path(L"second.txt"))));
      if (!killed)
        second.Close();
    }
    first.ReplayAbandoned();
    EXPECT_EQ(first_size, JournalSize());
    EXPECT_EQ(!killed, base::PathExists(Path(L"second.txt")));
  }
  EXPECT_TRUE(base::PathExists(Path(L"src.txt")));
  first.Close();
  EXPECT_FALSE(base::PathExists(journal_path_));
  EXPECT_TRUE(base::PathExists(Path(L"src.txt")));
}

// One journal per folder, whatever the case of its name or a closing
// separator.
TEST(RollbackJournalPathTest, OnePerFolder) {
  const base::FilePath path =
      RollbackJournal::PathFor(base::FilePath(L"C:\\A"));
  EXPECT_FALSE(path.empty());
  EXPECT_EQ(path, RollbackJournal::PathFor(base::FilePath(L"c:\\a\\")));
  EXPECT_NE(path, RollbackJournal::PathFor(base::FilePath(L"C:\\B")));
  EXPECT_TRUE(RollbackJournal::PathFor(base::FilePath()).empty());
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
