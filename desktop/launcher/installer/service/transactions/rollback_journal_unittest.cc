#include "desktop/launcher/installer/service/transactions/rollback_journal.h"

#include <windows.h>

#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/base_paths_win.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/hash.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/folder_link.h"
#include "base/test/unique_test_dir.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/test/fake_security_checks.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/launcher/installer/service/transactions/copy_file_operation.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_file_operation.h"
#include "desktop/launcher/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/launcher/installer/service/transactions/file_identity.h"
#include "desktop/launcher/installer/service/transactions/move_file_operation.h"
#include "desktop/launcher/installer/service/transactions/rollback_leftovers.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/service/transactions/set_aside_paths.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr DWORD kSeven = 7;

class RollbackJournalTest : public OperationTest {
 protected:
  RollbackJournalTest()
      : journal_path_(journal_dir_.path().Append(L"j")), scope_(temp_.path()) {
    scope_.AddOwnedKey(key_path_);
  }

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
  void DoAndDie(size_t count) { DoAndDieAt(journal_path_, count); }
  void DoAndDieAt(const base::FilePath& path, size_t count) {
    RollbackJournal journal;
    ASSERT_TRUE(journal.Open(path, scope_));
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
    WriteJournalAt(journal_path_, records, tail);
  }
  void WriteJournalAt(const base::FilePath& path,
                      const std::vector<base::Pickle>& records,
                      const std::string& tail) {
    {
      RollbackJournal journal;
      ASSERT_TRUE(journal.Open(path, scope_));
      for (const base::Pickle& record : records)
        ASSERT_TRUE(journal.Append(record));
    }
    ASSERT_TRUE(
        base::AppendToFile(path, tail.data(), static_cast<int>(tail.size())));
  }

  // Writes a leftover journal at |path| that holds |records|, as a
  // take-back keeps them.
  void WriteLeftoverAt(const base::FilePath& path,
                       const std::vector<base::Pickle>& records) {
    std::string bytes = "VXRL";
    for (const base::Pickle& record : records) {
      const std::string pickle(static_cast<const char*>(record.data()),
                               record.size());
      const uint32_t checksum =
          base::SuperFastHash(pickle.data(), static_cast<int>(pickle.size()));
      bytes +=
          pickle + std::string(reinterpret_cast<const char*>(&checksum), 4);
    }
    ASSERT_EQ(
        static_cast<int>(bytes.size()),
        base::WriteFile(path, bytes.data(), static_cast<int>(bytes.size())));
  }
  base::FilePath LeftoverPath(int number) const {
    return base::FilePath(journal_path_.value() + L"." +
                          base::IntToString16(number) + L".leftover");
  }

  // A copy at |path| of a test program that runs until it is ended.
  void CopyProgram(const base::FilePath& path) const {
    base::FilePath build;
    ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
    ASSERT_TRUE(
        base::CopyFile(build.Append(L"waiting_launcher_test_child.exe"), path));
  }
  static base::Process Run(const base::FilePath& program) {
    return base::LaunchProcess(L"\"" + program.value() + L"\"",
                               base::LaunchOptions());
  }

  // The names of the files beside the journal: what take-backs left.
  std::vector<base::string16> BesideJournal() const {
    std::vector<base::string16> names;
    base::FileEnumerator files(journal_dir_.path(), false,
                               base::FileEnumerator::FILES);
    for (base::FilePath file = files.Next(); !file.empty(); file = files.Next())
      names.push_back(file.BaseName().value());
    return names;
  }
  // Waits for the batches that take-backs started to end, a minute at
  // most.
  void WaitForBatches() const {
    for (int i = 0; i < 600 && !BesideJournal().empty(); ++i)
      ::Sleep(100);
  }

  base::UniqueTestDir journal_dir_;
  const base::FilePath journal_path_;
  // All that the test's runs change: its folder and its key.
  RollbackScope scope_;
};

// A run killed while given its folder in one spelling is taken back by the
// next run given another; a journal that an earlier build named by the
// folder's text is found too.
TEST_F(RollbackJournalTest, ANextRunInAnotherSpellingTakesBackAKilledOne) {
  FakeSecurityChecks checks;
  checks.set_administrator(false);
  wchar_t short_name[MAX_PATH];
  ASSERT_GT(
      ::GetShortPathNameW(temp_.path().value().c_str(), short_name, MAX_PATH),
      0u);
  const base::FilePath short_folder(short_name);
  ASSERT_NE(temp_.path(), short_folder);
  const base::FilePath journal = RollbackJournal::PathFor(temp_.path());
  for (const base::FilePath& spelling :
       {short_folder.Append(L"sub\\.."),
        temp_.path().NormalizePathSeparatorsTo(L'/'),
        base::FilePath(short_folder.value() + L"\\")}) {
    EXPECT_EQ(journal, RollbackJournal::PathFor(spelling)) << spelling.AsUTF8();
  }
  base::string16 text = short_folder.value();
  ::CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  const uint32_t hash =
      base::SuperFastHash(reinterpret_cast<const char*>(text.data()),
                          static_cast<int>(text.size() * sizeof(wchar_t)));
  const base::FilePath by_text = journal.DirName().Append(
      L"vexlo_rollback_" + base::UintToString16(hash) + L".journal");
  const Snapshot before = TakeSnapshot();
  for (const base::FilePath& left : {journal, by_text}) {
    DoAndDieAt(left, Changes().size());
    ASSERT_TRUE(RollbackJournal::Replay(RollbackJournal::PathFor(short_folder),
                                        scope_));
    EXPECT_EQ(before, TakeSnapshot());
    EXPECT_FALSE(base::PathExists(left));
  }
  // An earlier build's journal never takes the place of one of the new
  // name: it is taken back in its turn.
  Write(L"earlier.txt", "earlier");
  WriteJournalAt(by_text, {RollbackRecord::CreatedFile(Path(L"earlier.txt"))},
                 "");
  const Snapshot earlier = TakeSnapshot();
  DoAndDieAt(journal, Changes().size());
  for (const Snapshot* expected : {&earlier, &before}) {
    ASSERT_TRUE(RollbackJournal::Replay(RollbackJournal::PathFor(short_folder),
                                        scope_));
    EXPECT_EQ(*expected, TakeSnapshot());
  }
}

// The machine's folder of administrators' journals goes with its last
// journal, however the run ends, and stays while it holds any.
TEST_F(RollbackJournalTest, TheMachinesFolderGoesWithItsLastJournal) {
  const base::UniqueTestDir data;
  const ScopedPathOverride machine_data(base::DIR_COMMON_APP_DATA, data.path());
  const base::FilePath journal = RollbackJournal::PathFor(temp_.path());
  ASSERT_EQ(data.path().Append(L"vexlo_rollback"), journal.DirName());
  using Run = std::unique_ptr<RollbackJournal>;
  const struct {
    const char* name;
    std::function<void(Run*)> end;
    bool folder_left;
  } kCases[] = {
      {"closed", [](Run* run) { (*run)->Close(); }, false},
      {"killed, then replayed",
       [&](Run* run) {
         run->reset();
         EXPECT_TRUE(RollbackJournal::Replay(journal, scope_));
       },
       false},
      {"continued, its starter killed",
       [&](Run* run) {
         RollbackJournal second;
         ASSERT_TRUE(second.Open(journal, scope_));
         run->reset();
         second.Commit();
       },
       false},
      {"refused",
       [&](Run* run) {
         run->reset();
         EXPECT_TRUE(
             RollbackJournal::Replay(journal, RollbackScope(Path(L"x"))));
       },
       true},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    Run run = std::make_unique<RollbackJournal>();
    ASSERT_TRUE(run->Open(journal, scope_));
    ASSERT_TRUE(run->Append(RollbackRecord::CreatedFile(Path(L"none.txt"))));
    test.end(&run);
    EXPECT_FALSE(base::PathExists(journal));
    EXPECT_EQ(test.folder_left, base::PathExists(journal.DirName()));
  }
}

// Runs that begin and end journals in the machine's folder at once each
// find the folder when they need it, though each removes it with the last.
TEST_F(RollbackJournalTest, RunsOpenJournalsWhileTheFolderComesAndGoes) {
  const base::UniqueTestDir data;
  const ScopedPathOverride machine_data(base::DIR_COMMON_APP_DATA, data.path());
  constexpr int kJournals = 200;
  int opened[3] = {};
  std::vector<std::thread> runs;
  for (int& count : opened) {
    const base::FilePath folder = Path(base::IntToString16(runs.size()));
    runs.emplace_back([folder, &count] {
      for (int i = 0; i < kJournals; ++i) {
        RollbackJournal journal;
        count += journal.Open(RollbackJournal::PathFor(folder),
                              RollbackScope(folder));
      }
    });
  }
  for (std::thread& run : runs)
    run.join();
  EXPECT_EQ(std::vector<int>(3, kJournals),
            std::vector<int>(std::begin(opened), std::end(opened)));
}

// Whatever a killed run had done, replaying its journal takes back; the
// records of a change that was taken back are gone with it.
TEST_F(RollbackJournalTest, ReplayTakesBackWhatAKilledRunDid) {
  const Snapshot before = TakeSnapshot();
  for (size_t count = 0; count <= Changes().size(); ++count) {
    SCOPED_TRACE(count);
    DoAndDie(count);
    ASSERT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
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
    ASSERT_TRUE(journal.Open(journal_path_, scope_));
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
  ASSERT_TRUE(journal.Open(journal_path_, scope_));
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
  ASSERT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
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
    ASSERT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
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
       // Longer than a run's file calls take: never made.
       RollbackRecord::Renamed(Path(base::string16(30000, L'a')),
                               Path(L"src.txt")),
       RollbackRecord::RegistryValue(HKEY_CURRENT_USER, Key(L"no\\key"), L"v",
                                     true, REG_SZ, {'x', 0}),
       // A folder now, which no file record takes.
       RollbackRecord::CreatedFile(Path(L"full"))},
      "");
  ASSERT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
  EXPECT_EQ(before, TakeSnapshot());
  EXPECT_EQ(std::vector<base::string16>(), BesideJournal());

  base::WriteFile(journal_path_, "XXXX", 4);
  EXPECT_FALSE(RollbackJournal::Replay(journal_path_, scope_));
  EXPECT_TRUE(base::PathExists(journal_path_));
  RollbackJournal journal;
  EXPECT_FALSE(journal.Open(journal_path_, scope_));
}

// A write behind a killed process that the kill cut short leaves the atomic
// writer's temporary file, which no record names. In a folder that the run
// made it goes, and the folder with it, whether the journal of the killed
// run is replayed or the run rolls back after a process it started was
// killed; a folder there before the run, a file of any other name, and
// what a made folder swapped for a link leads to, stay.
TEST_F(RollbackJournalTest, TakesBackAWriteCutShortInAFolderTheRunMade) {
  base::UniqueTestDir elsewhere;
  const struct {
    const char* name;
    // The folders that the run made, from the test's folder down; none when
    // null.
    const wchar_t* made;
    // The folder of the file written behind.
    const wchar_t* written;
    // The made folder that was swapped for a link to |elsewhere|.
    const wchar_t* linked = nullptr;
    // A file there besides, not the writer's.
    const wchar_t* other = nullptr;
    bool taken_back = true;
    // The folder there before the run that the made ones are in; the
    // test's own when null.
    const wchar_t* there = nullptr;
    // The name of the file written behind, as the system documents them,
    // when not one that the platform chose.
    const wchar_t* written_name = nullptr;
  } kCases[] = {
      {"the folder the run made", L"made", L"made"},
      {"a made folder above the one it made", L"made\\deep", L"made"},
      {"beside a name of five digits", L"made", L"made", nullptr, L"12345.tmp"},
      {"beside a file of another name", L"made", L"made", nullptr,
       L"notes.txt"},
      {"beside a name that is not hexadecimal", L"made", L"made", nullptr,
       L"wxyz.tmp"},
      {"a name in upper case", L"made", L"made", nullptr, nullptr, true,
       nullptr, L"BEEF.TMP"},
      {"a folder there before the run", nullptr, L"there", nullptr, nullptr,
       false},
      {"the folder above the made ones", L"there\\made", L"there", nullptr,
       nullptr, false, L"there"},
      {"a made folder swapped for a link", L"made", L"made", L"made", nullptr,
       false},
      {"a made folder above swapped for a link", L"made\\deep", L"made\\deep",
       L"made", nullptr, false},
  };
  for (const bool replayed : {true, false}) {
    for (const auto& c : kCases) {
      SCOPED_TRACE(std::string(replayed ? "replayed, " : "rolled back, ") +
                   c.name);
      const base::FilePath folder = Path(c.written);
      const base::FilePath there = c.there ? Path(c.there) : temp_.path();
      ASSERT_TRUE(base::CreateDirectory(there));
      std::vector<base::Pickle> records;
      Transaction run;
      if (!c.made) {
        ASSERT_TRUE(base::CreateDirectory(folder));
      } else if (replayed) {
        ASSERT_TRUE(base::CreateDirectory(Path(c.made)));
        records.push_back(RollbackRecord::CreatedFolders(Path(c.made), there));
      } else {
        ASSERT_TRUE(run.Execute(Folder(c.made)));
      }
      if (replayed)
        WriteJournal(records, "");
      if (c.linked) {
        // The folders below the link are where it leads.
        const base::FilePath linked = Path(c.linked);
        base::FilePath below;
        linked.AppendRelativePath(folder, &below);
        ASSERT_TRUE(base::DeleteFile(linked, true));
        ASSERT_TRUE(base::MakeFolderLink(linked, elsewhere.path()));
        ASSERT_TRUE(base::CreateDirectory(folder));
      }
      base::FilePath written;
      if (c.written_name) {
        written = folder.Append(c.written_name);
        ASSERT_EQ(4, base::WriteFile(written, "{\"\"}", 4));
      } else {
        ASSERT_TRUE(base::CreateTemporaryFileInDir(folder, &written));
        ASSERT_EQ(4, base::WriteFile(written, "{\"\"}", 4));
      }
      if (c.other)
        Write(base::string16(c.written) + L"\\" + c.other, "other");
      // Where the file is, whatever becomes of the link.
      if (c.linked) {
        base::FilePath below;
        Path(c.linked).AppendRelativePath(written, &below);
        written = elsewhere.path().Append(below);
      }

      if (replayed)
        ASSERT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
      else
        run.RollbackAll();
      EXPECT_EQ(c.taken_back, !base::PathExists(written));
      if (c.other) {
        EXPECT_TRUE(base::PathExists(folder.Append(c.other)));
      } else if (!c.linked) {
        EXPECT_EQ(c.taken_back, !base::PathExists(folder));
      }
      if (c.linked)
        base::DeleteFile(Path(c.linked), false);
      else
        base::DeleteFile(folder, true);
      base::DeleteFile(written, false);
      base::DeleteFile(elsewhere.path().Append(L"deep"), true);
      if (c.made)
        base::DeleteFile(Path(c.made), true);
      if (c.there)
        base::DeleteFile(there, true);
    }
  }
}

// A file that the killed run made and that a process still runs or holds
// cannot be deleted. The take-back keeps it, with the folders the run made
// around it, in a leftover journal: a running file is renamed aside at
// once, so that what the run set aside under its name is back at once, and
// a batch deletes it once it is free; a file held so that it cannot even be
// renamed waits, with what waits for its name, for the next take-back once
// it is free. Whatever another run writes under its name meanwhile stays,
// and what the killed run set aside for that name goes rather than over
// it. A take-back ended at any point leaves what the next one finishes.
TEST_F(RollbackJournalTest, AFileInUseGoesOnceFreeAndWhatItReplacedComesBack) {
  using StopPoint = RollbackJournal::StopPoint;
  const struct {
    const char* name;
    const wchar_t* file;
    // The deepest of the folders that the run made, if it made any.
    const wchar_t* made;
    // The run set aside a file of that name first.
    bool replaced;
    // Held by a handle that shares no deletion, rather than run.
    bool held_open;
    // Another program that the run made after it, running as well.
    const wchar_t* second = nullptr;
    // Once held open, it runs instead.
    bool then_run = false;
    // Once the file was kept, another run sets aside whatever has its name
    // and writes a file of its own there.
    bool rewritten = false;
    // Where the first take-back ends, as a kill there would end it; a
    // leftover journal's replacement is reached once the second program
    // ends.
    StopPoint stop_at = StopPoint::kNone;
    // The folder that the made ones are in, which the run did not make;
    // the test's own when null.
    const wchar_t* there = nullptr;
  } kCases[] = {
      {"running, in a folder the run made above the deepest", L"made\\run.exe",
       L"made\\deep"},
      {"running, in place of a file it set aside, beside another running",
       L"run.exe", nullptr, true, false, L"second.exe"},
      {"held open, in a folder the run made", L"made\\run.exe", L"made", false,
       true},
      {"held open, in place of a file it set aside", L"run.exe", nullptr, true,
       true},
      {"held open, then run, in place of a file it set aside", L"run.exe",
       nullptr, true, true, nullptr, true},
      {"running, nothing set aside for it, rewritten", L"run.exe", nullptr,
       false, false, nullptr, false, true},
      {"held open, then run, in place of a file it set aside, rewritten",
       L"run.exe", nullptr, true, true, nullptr, true, true},
      {"running, in made folders in an empty one the run did not make",
       L"there\\made\\run.exe", L"there\\made", false, false, nullptr, false,
       false, StopPoint::kNone, L"there"},
      {"running, stopped once the records are cut", L"made\\run.exe", L"made",
       false, false, nullptr, false, false, StopPoint::kRecordsCut},
      {"running, stopped once the batch is written", L"made\\run.exe", L"made",
       false, false, nullptr, false, false, StopPoint::kBatchWritten},
      {"running beside another, stopped between a leftover journal's "
       "replacement and its deletion",
       L"run.exe", nullptr, false, false, L"second.exe", false, false,
       StopPoint::kLeftoverReplaced},
  };
  const auto beside_journal = [this] {
    std::vector<base::string16> names;
    base::FileEnumerator files(journal_dir_.path(), false,
                               base::FileEnumerator::FILES);
    for (base::FilePath file = files.Next(); !file.empty(); file = files.Next())
      names.push_back(file.BaseName().value());
    return names;
  };
  const auto take_back_ending_at = [this](StopPoint point) {
    RollbackJournal::SetStopPointForTesting(point);
    RollbackJournal::Replay(journal_path_, scope_);
    RollbackJournal::SetStopPointForTesting(StopPoint::kNone);
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const base::FilePath file = Path(c.file);
    const base::FilePath aside(file.value() + L".1712345678.old");
    // Where another run sets the kept file aside when it rewrites it.
    const base::FilePath rewriter_aside(file.value() + L".1712345679.old");
    const base::FilePath there = c.there ? Path(c.there) : temp_.path();
    std::vector<base::Pickle> records;
    if (c.made) {
      ASSERT_TRUE(base::CreateDirectory(Path(c.made)));
      records.push_back(RollbackRecord::CreatedFolders(Path(c.made), there));
    }
    if (c.replaced) {
      Write(c.file, "old");
      records.push_back(RollbackRecord::Renamed(file, aside));
      ASSERT_TRUE(base::Move(file, aside));
    }
    records.push_back(RollbackRecord::CreatedFile(file));
    ASSERT_NO_FATAL_FAILURE(CopyProgram(file));
    base::Process second;
    if (c.second) {
      records.push_back(RollbackRecord::CreatedFile(Path(c.second)));
      ASSERT_NO_FATAL_FAILURE(CopyProgram(Path(c.second)));
      second = Run(Path(c.second));
      ASSERT_TRUE(second.IsValid());
    }
    WriteJournal(records, "");
    const auto read = [&file] {
      std::string content;
      base::ReadFileToString(file, &content);
      return content;
    };
    base::Process process;
    std::shared_ptr<void> lock;
    if (c.held_open) {
      lock = Lock(c.file, FILE_SHARE_READ);
    } else {
      process = Run(file);
      ASSERT_TRUE(process.IsValid());
    }

    const bool stopped_first = c.stop_at == StopPoint::kRecordsCut ||
                               c.stop_at == StopPoint::kBatchWritten;
    take_back_ending_at(stopped_first ? c.stop_at : StopPoint::kNone);
    EXPECT_TRUE(RollbackJournal::HasLeftovers(journal_path_));
    // What an uninstallation finds to finish: where each file is now.
    RollbackLeftovers found;
    std::vector<base::FilePath> journals;
    RollbackJournal::FindLeftovers(journal_path_, scope_, &found, &journals);
    const std::vector<base::FilePath> files = found.Files();
    EXPECT_EQ(c.second ? 2u : 1u, files.size());
    EXPECT_EQ(c.held_open,
              std::find(files.begin(), files.end(), file) != files.end());
    EXPECT_EQ(c.replaced && c.held_open ? std::vector<base::FilePath>{aside}
                                        : std::vector<base::FilePath>(),
              found.SetAside());
    EXPECT_EQ(c.made != nullptr, !found.Folders().empty());
    // A running file can be renamed aside, and then a batch of its own
    // finishes it; one that cannot waits for a take-back.
    const bool batch = !c.held_open && c.stop_at != StopPoint::kRecordsCut;
    EXPECT_EQ(batch ? 2u : 1u, journals.size());
    const std::vector<base::string16> kept = beside_journal();
    EXPECT_EQ(journals.size() + (c.stop_at == StopPoint::kRecordsCut),
              kept.size());
    if (c.replaced) {
      EXPECT_EQ(!c.held_open, read() == "old");
    }
    EXPECT_EQ(c.held_open, base::PathExists(file) && read() != "old");
    if (!stopped_first) {
      // A take-back meanwhile changes nothing; a batch waits through a
      // whole round of its own.
      ::Sleep(batch ? 2500 : 0);
      RollbackJournal::Replay(journal_path_, scope_);
      EXPECT_EQ(kept, beside_journal());
    }
    if (c.then_run) {
      lock.reset();
      process = Run(file);
      ASSERT_TRUE(process.IsValid());
    }
    if (c.rewritten) {
      if (base::PathExists(file)) {
        ASSERT_TRUE(base::Move(file, rewriter_aside));
      }
      Write(c.file, "new");
    }
    if (c.then_run) {
      RollbackJournal::Replay(journal_path_, scope_);
      // The running file is renamed aside now, and what it replaced is
      // back, unless another run has taken its name.
      EXPECT_EQ(c.rewritten ? "new" : "old", read());
      EXPECT_FALSE(base::PathExists(aside));
    }
    if (c.second && c.stop_at == StopPoint::kLeftoverReplaced) {
      ASSERT_TRUE(second.Terminate(0, true));
      take_back_ending_at(c.stop_at);
      EXPECT_EQ(kept.size() + 1, beside_journal().size());
      EXPECT_FALSE(base::PathExists(Path(c.second)));
    }

    if (c.held_open && !c.then_run) {
      lock.reset();
    } else {
      ASSERT_TRUE(process.Terminate(0, true));
    }
    if (c.second && second.IsValid())
      second.Terminate(0, true);
    // The next take-back, for what no batch finishes.
    if (!batch || c.stop_at != StopPoint::kNone)
      RollbackJournal::Replay(journal_path_, scope_);
    for (int i = 0; i < 600 && !beside_journal().empty(); ++i)
      ::Sleep(100);
    EXPECT_EQ(std::vector<base::string16>(), beside_journal());
    // The batches leave the user's temporary folder, whatever it holds.
    EXPECT_TRUE(base::DirectoryExists(journal_dir_.path()));
    EXPECT_FALSE(RollbackJournal::HasLeftovers(journal_path_));
    if (c.rewritten) {
      EXPECT_EQ("new", read());
    } else if (c.replaced) {
      EXPECT_EQ("old", read());
    } else {
      EXPECT_FALSE(base::PathExists(file));
    }
    // Nothing of the killed run is set aside any more; only what another
    // run set aside is its own.
    base::FileEnumerator set_aside(file.DirName(), false,
                                   base::FileEnumerator::FILES,
                                   file.BaseName().value() + L".*.old");
    for (base::FilePath name = set_aside.Next(); !name.empty();
         name = set_aside.Next()) {
      EXPECT_EQ(rewriter_aside, name);
    }
    if (c.made && !c.rewritten) {
      EXPECT_FALSE(base::PathExists(Path(c.made)));
    }
    if (c.there) {
      EXPECT_TRUE(base::DirectoryExists(there));
    }
    if (c.second) {
      EXPECT_FALSE(base::PathExists(Path(c.second)));
    }
    base::DeleteFile(rewriter_aside, false);
    base::DeleteFile(file, false);
    base::DeleteFile(there.Append(L"made"), true);
    if (c.there)
      base::DeleteFile(there, true);
  }
}

// What the killed run set aside waits while a process holds it, at the
// journal's take-back or at a leftover journal's, and goes back once it is
// free into its name; until then the file that the killed run made in its
// place holds the name, whether it runs or not, so that the name is never
// empty. Where another run has taken the name by then, what was set aside
// goes instead, once nothing runs it. Nothing of the killed run is left
// either way.
TEST_F(RollbackJournalTest, WhatWasSetAsideWaitsWhileInUse) {
  enum class Made { kNone, kFree, kRunning };
  const struct {
    const char* name;
    // The rename back waits in a leftover journal already, rather than in
    // the journal, behind the file that the run made in its place.
    bool leftover;
    Made made;
    // Held open without delete sharing at the first take-back, as a
    // scanner does; otherwise it runs, and another run has taken its name.
    bool held;
    // Once let go, it runs while another run takes its name.
    bool then_taken = false;
    // Before it is let go, someone else deletes the made file.
    bool made_gone = false;
    // The made file is kept in an older leftover journal than the rename
    // back, as a take-back killed between the two leaves them.
    bool split = false;
  } kCases[] = {
      {"held at the journal's take-back", false, Made::kFree, true},
      {"held at the journal's take-back, the made file running", false,
       Made::kRunning, true},
      {"held at a leftover journal's take-back", true, Made::kNone, true},
      {"held at a leftover journal's take-back, the made file kept", true,
       Made::kFree, true},
      {"held at a leftover journal's take-back, the made file running", true,
       Made::kRunning, true},
      {"held at a leftover journal's take-back, the made file deleted by "
       "someone else meanwhile",
       true, Made::kFree, true, false, true},
      {"held at a leftover journal's take-back, the made file kept in an "
       "older one",
       true, Made::kFree, true, false, false, true},
      {"held at the journal's take-back, then run while another run takes "
       "its name",
       false, Made::kFree, true, true},
      {"running at a leftover journal's take-back, its name taken", true,
       Made::kNone, false},
  };
  const base::FilePath file = Path(L"run.exe");
  const base::string16 aside_name = L"run.exe.1712345678.old";
  const base::FilePath aside = Path(aside_name);
  // Where the made file is renamed aside once it may go, and where another
  // run sets aside what has the name.
  const base::FilePath made_aside = Path(L"run.exe.1712345679.old");
  const base::FilePath rewriter_aside = Path(L"run.exe.1712345680.old");
  const auto read = [](const base::FilePath& path) {
    std::string content;
    return base::ReadFileToString(path, &content) ? content : "none";
  };
  // The text of the batch that waits beside the journal.
  const auto batch = [this, &read] {
    for (const base::string16& name : BesideJournal()) {
      if (base::EndsWith16(name, L".bat", base::CompareCase::INSENSITIVE_ASCII))
        return read(journal_dir_.path().Append(name));
    }
    return std::string("no batch");
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(CopyProgram(aside));
    const FileIdentity set_aside = FileIdentity::Of(aside);
    base::Process made_process;
    if (c.made == Made::kRunning) {
      ASSERT_NO_FATAL_FAILURE(CopyProgram(file));
      made_process = Run(file);
      ASSERT_TRUE(made_process.IsValid());
    } else if (c.made == Made::kFree) {
      Write(L"run.exe", "made");
    }
    const FileIdentity made = FileIdentity::Of(file);
    if (c.leftover) {
      std::vector<base::Pickle> kept;
      if (c.made != Made::kNone)
        kept.push_back(RollbackRecord::KeptFile(file, made_aside, made));
      const base::Pickle rename_back =
          RollbackRecord::RenameBack(file, aside, set_aside);
      if (!c.split)
        kept.push_back(rename_back);
      ASSERT_NO_FATAL_FAILURE(WriteLeftoverAt(LeftoverPath(1), kept));
      if (c.split) {
        ASSERT_NO_FATAL_FAILURE(
            WriteLeftoverAt(LeftoverPath(2), {rename_back}));
      }
    } else {
      WriteJournal({RollbackRecord::Renamed(file, aside),
                    RollbackRecord::CreatedFile(file)},
                   "");
    }
    std::shared_ptr<void> lock;
    base::Process process;
    if (c.held) {
      lock = Lock(aside_name, FILE_SHARE_READ);
    } else {
      Write(L"run.exe", "another run's");
      process = Run(aside);
      ASSERT_TRUE(process.IsValid());
    }

    RollbackJournal::Replay(journal_path_, scope_);
    EXPECT_TRUE(set_aside.IsAt(aside));
    if (c.held) {
      EXPECT_EQ(c.made != Made::kNone, made.IsAt(file));
    } else {
      EXPECT_EQ("another run's", read(file));
    }
    RollbackLeftovers found;
    std::vector<base::FilePath> journals;
    RollbackJournal::FindLeftovers(journal_path_, scope_, &found, &journals);
    const std::vector<base::FilePath> kept = {aside};
    const std::vector<base::FilePath> none;
    EXPECT_EQ(c.held ? kept : none, found.SetAside());
    const std::vector<base::FilePath> made_kept = {file};
    EXPECT_EQ(!c.held                 ? kept
              : c.made != Made::kNone ? made_kept
                                      : none,
              found.Files());
    if (c.held) {
      // A take-back meanwhile changes nothing, nor does a batch round.
      RollbackJournal::Replay(journal_path_, scope_);
      EXPECT_TRUE(set_aside.IsAt(aside));
      EXPECT_EQ(c.made != Made::kNone, made.IsAt(file));
      if (c.leftover) {
        ::Sleep(2500);
      }
      if (c.made_gone) {
        ASSERT_TRUE(base::DeleteFile(file, false));
      }
      lock.reset();
      if (c.then_taken) {
        process = Run(aside);
        ASSERT_TRUE(process.IsValid());
        ASSERT_TRUE(base::Move(file, rewriter_aside));
        Write(L"run.exe", "another run's");
      }
      RollbackJournal::Replay(journal_path_, scope_);
    }
    const bool taken = !c.held || c.then_taken;
    if (taken) {
      // A batch waits for it; its last line leaves the folder it lies in,
      // the user's temporary folder, whatever that holds.
      EXPECT_TRUE(set_aside.IsAt(aside));
      const std::string text = batch();
      const std::string last = "\ndel \"%~f0\"\n";
      EXPECT_EQ(last,
                text.substr(text.size() - std::min(text.size(), last.size())));
      ASSERT_TRUE(process.Terminate(0, true));
    } else {
      EXPECT_TRUE(set_aside.IsAt(file));
    }
    // The rename back, met first, waited for the name that the kept file
    // then freed; the next take-back finds it done.
    if (c.split)
      RollbackJournal::Replay(journal_path_, scope_);
    if (made_process.IsValid()) {
      ASSERT_TRUE(made_process.Terminate(0, true));
    }
    WaitForBatches();
    EXPECT_EQ(std::vector<base::string16>(), BesideJournal());
    if (taken) {
      EXPECT_EQ("another run's", read(file));
    } else {
      EXPECT_TRUE(set_aside.IsAt(file));
    }
    base::FileEnumerator set_asides(
        temp_.path(), false, base::FileEnumerator::FILES, L"run.exe.*.old");
    EXPECT_EQ(base::FilePath(), set_asides.Next());
    base::DeleteFile(file, false);
    base::DeleteFile(aside, false);
    base::DeleteFile(made_aside, false);
    base::DeleteFile(rewriter_aside, false);
  }
}

// A leftover journal that an earlier build wrote knows its files by their
// names alone: only what is under a set-aside name, which no run writes,
// is deleted, and what was set aside goes back only into a free name; a
// file under its own name, which a later run may have written, stays, and
// so does what was set aside for a name that is taken.
TEST_F(RollbackJournalTest, AnEarlierBuildsLeftoverActsOnlyWhereNoRunWrites) {
  Write(L"launcher.exe", "a later run's");
  Write(L"kept.exe.1712345678.old", "kept aside");
  Write(L"free.exe.1712345678.old", "set aside");
  Write(L"taken.exe", "a later run's");
  Write(L"taken.exe.1712345678.old", "set aside");
  Write(L"made\\run.exe.1712345678.old", "kept aside");
  // As that build wrote it: in the journal's order, the last first.
  WriteJournalAt(
      LeftoverPath(1),
      {RollbackRecord::CreatedFolders(Path(L"made"), temp_.path()),
       RollbackRecord::CreatedFile(Path(L"made\\run.exe.1712345678.old")),
       RollbackRecord::Renamed(Path(L"taken.exe"),
                               Path(L"taken.exe.1712345678.old")),
       RollbackRecord::Renamed(Path(L"free.exe"),
                               Path(L"free.exe.1712345678.old")),
       RollbackRecord::CreatedFile(Path(L"kept.exe.1712345678.old")),
       RollbackRecord::CreatedFile(Path(L"launcher.exe"))},
      "");
  EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
  EXPECT_EQ(std::vector<base::string16>(), BesideJournal());
  const Snapshot expected = {{L"launcher.exe", "a later run's"},
                             {L"free.exe", "set aside"},
                             {L"taken.exe", "a later run's"},
                             {L"taken.exe.1712345678.old", "set aside"}};
  for (const auto& file : expected) {
    std::string content;
    EXPECT_TRUE(base::ReadFileToString(Path(file.first), &content))
        << file.first;
    EXPECT_EQ(file.second, content);
  }
  EXPECT_FALSE(base::PathExists(Path(L"kept.exe.1712345678.old")));
  EXPECT_FALSE(base::PathExists(Path(L"free.exe.1712345678.old")));
  EXPECT_FALSE(base::PathExists(Path(L"made")));
}

// A take-back that cannot write what it keeps for a file in use makes no
// change for it and leaves its record in the journal, with the records
// before it, for the next take-back.
TEST_F(RollbackJournalTest, ATakeBackThatCannotKeepWhatIsInUseLeavesItsRecord) {
  const base::FilePath file = Path(L"run.exe");
  ASSERT_NO_FATAL_FAILURE(CopyProgram(file));
  WriteJournal({RollbackRecord::CreatedFile(Path(L"src.txt")),
                RollbackRecord::CreatedFile(file)},
               "");
  const int64_t recorded = JournalSize();
  base::Process process = Run(file);
  ASSERT_TRUE(process.IsValid());
  // Every name a leftover journal may take for the next few seconds.
  const uint64_t now = static_cast<uint64_t>(base::Time::Now().ToTimeT());
  for (uint64_t time = now; time < now + 5; ++time) {
    for (int number = 0; number < 100; ++number) {
      base::string16 name =
          journal_path_.value() + L"." + base::Uint64ToString16(time);
      if (number > 0)
        name += L"." + base::IntToString16(number);
      ASSERT_TRUE(base::CreateDirectory(base::FilePath(name + L".leftover")));
    }
  }
  EXPECT_FALSE(RollbackJournal::Replay(journal_path_, scope_));
  EXPECT_EQ(recorded, JournalSize());
  EXPECT_TRUE(base::PathExists(file));
  EXPECT_TRUE(base::PathExists(Path(L"src.txt")));
  base::FileEnumerator blocking(journal_dir_.path(), false,
                                base::FileEnumerator::DIRECTORIES);
  for (base::FilePath name = blocking.Next(); !name.empty();
       name = blocking.Next()) {
    ASSERT_TRUE(base::DeleteFile(name, false));
  }

  EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
  EXPECT_FALSE(base::PathExists(file));
  EXPECT_FALSE(base::PathExists(Path(L"src.txt")));
  ASSERT_TRUE(process.Terminate(0, true));
  WaitForBatches();
  EXPECT_EQ(std::vector<base::string16>(), BesideJournal());
}

// A killed run that set aside a file that an older killed run left in use,
// and made its name anew or not, is taken back before the older one, as it
// came after: its file goes, the older run's comes back under its name, and
// then goes as the older run's leftovers want, at once or once it is free.
TEST_F(RollbackJournalTest, ANewerRunOverAnOlderRunsLeftoverLeavesNothing) {
  const struct {
    const char* name;
    // The newer run wrote a file of its own under the name.
    bool made_anew;
    // The older run's file runs all along.
    bool running;
    // The newer run's file is held open through its take-back, and the
    // older run's as well where the newer run set it aside.
    bool newer_held = false;
    bool older_held = false;
    // Where the newer run set the older run's file aside.
    const wchar_t* newer_aside = L"launcher.exe.1712345679.old";
  } kCases[] = {
      {"set aside and made anew", true, false},
      {"only set aside", false, false},
      {"set aside and made anew, running", true, true},
      {"set aside and made anew, held through the newer run's take-back", true,
       false, true},
      {"set aside and made anew, both held through the newer run's take-back",
       true, false, true, true},
      {"set aside under a numbered name and made anew, both held through the "
       "newer run's take-back",
       true, false, true, true, L"launcher.exe.1712345679.2.old"},
  };
  const base::FilePath file = Path(L"launcher.exe");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const base::FilePath newer_aside = Path(c.newer_aside);
    ASSERT_NO_FATAL_FAILURE(CopyProgram(file));
    // The older run's take-back, while a handle held its file.
    WriteJournal({RollbackRecord::CreatedFile(file)}, "");
    std::shared_ptr<void> lock = Lock(L"launcher.exe", FILE_SHARE_READ);
    EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
    ASSERT_EQ(1u, BesideJournal().size());
    base::Process process;
    {
      // The newer run, which began while the file was held, and was killed.
      RollbackJournal newer;
      ASSERT_TRUE(newer.Open(journal_path_, scope_));
      lock.reset();
      if (c.running) {
        process = Run(file);
        ASSERT_TRUE(process.IsValid());
      }
      ASSERT_TRUE(newer.Append(RollbackRecord::Renamed(file, newer_aside)));
      ASSERT_TRUE(base::Move(file, newer_aside));
      if (c.made_anew) {
        ASSERT_TRUE(newer.Append(RollbackRecord::CreatedFile(file)));
        Write(L"launcher.exe", "newer");
      }
    }
    std::shared_ptr<void> older_lock;
    if (c.newer_held)
      lock = Lock(L"launcher.exe", FILE_SHARE_READ);
    if (c.older_held)
      older_lock = Lock(newer_aside.BaseName().value(), FILE_SHARE_READ);

    EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
    EXPECT_EQ(c.older_held, base::PathExists(newer_aside));
    EXPECT_EQ(c.newer_held, base::PathExists(file));
    if (c.newer_held) {
      // An uninstallation finds each where it is.
      RollbackLeftovers found;
      std::vector<base::FilePath> journals;
      RollbackJournal::FindLeftovers(journal_path_, scope_, &found, &journals);
      std::set<base::string16> files;
      for (const base::FilePath& at : found.Files())
        files.insert(at.value());
      std::set<base::string16> expected = {file.value()};
      if (c.older_held)
        expected.insert(newer_aside.value());
      EXPECT_EQ(expected, files);
      lock.reset();
      older_lock.reset();
      EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
      EXPECT_FALSE(base::PathExists(file));
      EXPECT_FALSE(base::PathExists(newer_aside));
    }
    if (c.running) {
      ASSERT_TRUE(process.Terminate(0, true));
    }
    WaitForBatches();
    EXPECT_EQ(std::vector<base::string16>(), BesideJournal());
    base::FileEnumerator set_aside(
        temp_.path(), false, base::FileEnumerator::FILES, L"launcher.exe*");
    EXPECT_EQ(base::FilePath(), set_aside.Next());
  }
}

// A killed run's take-back over an older rename back that still waits for
// the same name puts back what the killed run set aside there, not the
// older one, which then goes, as another run has taken its name; a file
// that the killed run made in a name that was free, and that cannot go,
// holds the name for the older one until it can.
TEST_F(RollbackJournalTest, ANewerRunOverAnOlderRenameBackPutsBackItsOwn) {
  const struct {
    const char* name;
    // The newer run set aside another run's file before it made its own;
    // otherwise the name was free, and its own file is held open through
    // its take-back.
    bool set_aside;
  } kCases[] = {
      {"set aside another run's file", true},
      {"made the free name, held", false},
  };
  const base::FilePath file = Path(L"run.exe");
  const base::FilePath older_aside = Path(L"run.exe.1712345678.old");
  const base::FilePath newer_aside = Path(L"run.exe.1712345679.old");
  const auto read = [&file] {
    std::string content;
    return base::ReadFileToString(file, &content) ? content : "none";
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<base::Pickle> records;
    if (c.set_aside) {
      Write(L"run.exe", "another run's");
      ASSERT_TRUE(base::Move(file, newer_aside));
      records.push_back(RollbackRecord::Renamed(file, newer_aside));
    }
    records.push_back(RollbackRecord::CreatedFile(file));
    Write(L"run.exe", "newer run's");
    WriteJournal(records, "");
    // Written after the journal, whose opening takes back what is there.
    Write(L"run.exe.1712345678.old", "older run's");
    ASSERT_NO_FATAL_FAILURE(WriteLeftoverAt(
        LeftoverPath(1),
        {RollbackRecord::RenameBack(file, older_aside,
                                    FileIdentity::Of(older_aside))}));
    std::shared_ptr<void> lock;
    if (!c.set_aside)
      lock = Lock(L"run.exe", FILE_SHARE_READ);

    EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
    if (!c.set_aside) {
      EXPECT_EQ("newer run's", read());
      EXPECT_TRUE(base::PathExists(older_aside));
      lock.reset();
      EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
    }
    EXPECT_EQ(c.set_aside ? "another run's" : "older run's", read());
    EXPECT_FALSE(base::PathExists(older_aside));
    EXPECT_FALSE(base::PathExists(newer_aside));
    EXPECT_EQ(std::vector<base::string16>(), BesideJournal());
    base::DeleteFile(file, false);
  }
}

// An uninstallation hands what the killed run set aside to its batch and
// makes its rename back a deletion: a take-back between the batch's rounds
// deletes the file once it is free rather than put it back. A leftover
// journal that such a take-back shortens keeps its name, which the batch
// deletes last.
TEST_F(RollbackJournalTest, WhatAnUninstallationHandsItsBatchNeverComesBack) {
  const base::FilePath file = Path(L"run.exe");
  const base::string16 aside_name = L"run.exe.1712345678.old";
  const base::FilePath aside = Path(aside_name);
  Write(aside_name, "set aside");
  Write(L"run.exe", "made");
  ASSERT_NO_FATAL_FAILURE(WriteLeftoverAt(
      LeftoverPath(1),
      {RollbackRecord::KeptFile(file, Path(L"run.exe.1712345679.old"),
                                FileIdentity::Of(file)),
       RollbackRecord::RenameBack(file, aside, FileIdentity::Of(aside))}));
  std::shared_ptr<void> made_lock = Lock(L"run.exe", FILE_SHARE_READ);
  std::shared_ptr<void> aside_lock = Lock(aside_name, FILE_SHARE_READ);

  RollbackJournal::ForgoRenamesBack(journal_path_, scope_);
  RollbackLeftovers found;
  std::vector<base::FilePath> journals;
  RollbackJournal::FindLeftovers(journal_path_, scope_, &found, &journals);
  EXPECT_EQ(std::vector<base::FilePath>(), found.SetAside());
  EXPECT_EQ((std::vector<base::FilePath>{file, aside}), found.Files());
  EXPECT_EQ(std::vector<base::FilePath>{LeftoverPath(1)}, journals);
  aside_lock.reset();
  RollbackJournal::Replay(journal_path_, scope_);
  EXPECT_FALSE(base::PathExists(aside));
  EXPECT_TRUE(base::PathExists(file));
  EXPECT_EQ(std::vector<base::string16>{LeftoverPath(1).BaseName().value()},
            BesideJournal());
  made_lock.reset();
  RollbackJournal::Replay(journal_path_, scope_);
  EXPECT_FALSE(base::PathExists(file));
  EXPECT_EQ(std::vector<base::string16>(), BesideJournal());
}

// A child run's records that its killed process left behind the run's own
// are taken back by the run, which keeps what is in use as any take-back
// does.
TEST_F(RollbackJournalTest, ARunKeepsWhatItCannotTakeBackOfAKilledChild) {
  const base::FilePath file = Path(L"child.exe");
  RollbackJournal run;
  ASSERT_TRUE(run.Open(journal_path_, scope_));
  ASSERT_TRUE(run.Append(RollbackRecord::CreatedFile(Path(L"src.txt"))));
  {
    RollbackJournal child;
    ASSERT_TRUE(child.Open(journal_path_, scope_));
    ASSERT_TRUE(child.Append(RollbackRecord::CreatedFile(file)));
    ASSERT_NO_FATAL_FAILURE(CopyProgram(file));
  }
  base::Process process = Run(file);
  ASSERT_TRUE(process.IsValid());

  EXPECT_TRUE(run.ReplayAbandoned());
  EXPECT_FALSE(base::PathExists(file));
  RollbackLeftovers found;
  std::vector<base::FilePath> files;
  RollbackJournal::FindLeftovers(journal_path_, scope_, &found, &files);
  ASSERT_EQ(1u, found.Files().size());
  EXPECT_TRUE(SetAsidePaths::IsSetAsideName(found.Files()[0]));
  ASSERT_TRUE(process.Terminate(0, true));
  for (int i = 0; i < 600 && base::PathExists(found.Files()[0]); ++i)
    ::Sleep(100);
  EXPECT_FALSE(base::PathExists(found.Files()[0]));
  run.Close();
  WaitForBatches();
  EXPECT_EQ(std::vector<base::string16>(), BesideJournal());
  EXPECT_TRUE(base::PathExists(Path(L"src.txt")));
}

// A leftover journal whose batch went, or was never started, gets one at
// the next take-back while its files are in use; while one is there, which
// may still wait, none other is written or started. A batch whose leftover
// journal is gone goes at the next take-back, and leftovers wait while a
// run holds the journal.
TEST_F(RollbackJournalTest, ALeftoverJournalHasOneBatchAtATime) {
  const base::FilePath file = Path(L"run.exe");
  ASSERT_NO_FATAL_FAILURE(CopyProgram(file));
  WriteJournal({RollbackRecord::CreatedFile(file)}, "");
  base::Process process = Run(file);
  ASSERT_TRUE(process.IsValid());
  RollbackJournal::SetStopPointForTesting(
      RollbackJournal::StopPoint::kBatchWritten);
  RollbackJournal::Replay(journal_path_, scope_);
  RollbackJournal::SetStopPointForTesting(RollbackJournal::StopPoint::kNone);
  const std::vector<base::string16> kept = BesideJournal();
  ASSERT_EQ(2u, kept.size());
  const base::FilePath batch = journal_dir_.path().Append(
      base::EndsWith16(kept[0], L".bat", base::CompareCase::SENSITIVE)
          ? kept[0]
          : kept[1]);
  base::File::Info written;
  ASSERT_TRUE(base::GetFileInfo(batch, &written));
  ::Sleep(20);
  EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
  base::File::Info again;
  ASSERT_TRUE(base::GetFileInfo(batch, &again));
  EXPECT_EQ(written.last_modified, again.last_modified);

  ASSERT_TRUE(base::DeleteFile(batch, false));
  EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
  EXPECT_EQ(kept, BesideJournal());
  ASSERT_TRUE(process.Terminate(0, true));
  WaitForBatches();
  EXPECT_EQ(std::vector<base::string16>(), BesideJournal());

  const base::FilePath orphan(LeftoverPath(9).value() + L".bat");
  Write(L"made.txt", "made");
  {
    RollbackJournal run;
    ASSERT_TRUE(run.Open(journal_path_, scope_));
    ASSERT_EQ(3, base::WriteFile(orphan, "del", 3));
    WriteLeftoverAt(LeftoverPath(1), {RollbackRecord::KeptFile(
                                         Path(L"made.txt"), base::FilePath(),
                                         FileIdentity::Of(Path(L"made.txt")))});
    EXPECT_TRUE(RollbackJournal::HasLeftovers(journal_path_));
    EXPECT_FALSE(RollbackJournal::Replay(journal_path_, scope_));
    EXPECT_TRUE(base::PathExists(Path(L"made.txt")));
    EXPECT_TRUE(base::PathExists(orphan));
    run.Close();
  }
  EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
  EXPECT_FALSE(base::PathExists(Path(L"made.txt")));
  EXPECT_EQ(std::vector<base::string16>(), BesideJournal());
}

// A run started by another for the same folder continues the journal that
// the other holds open; a killed one's records are replayed by the other,
// a finished one's are gone, and the other's stay.
TEST_F(RollbackJournalTest, ARunStartedByAnotherContinuesItsJournal) {
  RollbackJournal first;
  ASSERT_TRUE(first.Open(journal_path_, scope_));
  ASSERT_TRUE(first.Append(RollbackRecord::CreatedFile(Path(L"src.txt"))));
  const int64_t first_size = JournalSize();
  EXPECT_FALSE(RollbackJournal::Replay(journal_path_, scope_));

  for (bool killed : {true, false}) {
    SCOPED_TRACE(killed ? "killed" : "finished");
    Write(L"second.txt", "second");
    {
      RollbackJournal second;
      ASSERT_TRUE(second.Open(journal_path_, scope_));
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

// A run that continues the journal of the run that started it and
// succeeds takes the records of that run with it when that run was killed
// meanwhile; one that fails leaves them for a replay, and a starter that
// still runs keeps its own.
TEST_F(RollbackJournalTest,
       ASucceedingRunTakesOverTheRecordsOfItsKilledStarter) {
  const struct {
    const char* name;
    bool starter_killed;
    bool succeeded;
    bool journal_left;
  } kCases[] = {
      {"starter running, success", false, true, true},
      {"starter killed, success", true, true, false},
      {"starter killed, failure", true, false, true},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    Write(L"first.txt", "first");
    auto first = std::make_unique<RollbackJournal>();
    ASSERT_TRUE(first->Open(journal_path_, scope_));
    ASSERT_TRUE(first->Append(RollbackRecord::CreatedFile(Path(L"first.txt"))));
    const int64_t first_size = JournalSize();
    RollbackJournal second;
    ASSERT_TRUE(second.Open(journal_path_, scope_));
    Write(L"second.txt", "second");
    ASSERT_TRUE(
        second.Append(RollbackRecord::CreatedFile(Path(L"second.txt"))));
    // A killed process leaves its records and its handle goes.
    if (test.starter_killed)
      first.reset();
    if (test.succeeded)
      second.Commit();
    else
      second.Close();
    EXPECT_FALSE(second.is_open());
    EXPECT_EQ(test.journal_left ? first_size : -1, JournalSize());
    if (first)
      first->Close();
    ASSERT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
    EXPECT_FALSE(base::PathExists(journal_path_));
    // Only a replay of the killed starter's records takes its file back.
    EXPECT_EQ(!test.starter_killed || test.succeeded,
              base::PathExists(Path(L"first.txt")));
    EXPECT_TRUE(base::PathExists(Path(L"second.txt")));
  }
}

// A key that a run created on the way to one that others share goes only
// while nothing in it holds a value: what others wrote there since stays.
TEST_F(RollbackJournalTest, AKeyOnTheWayGoesOnlyWhileItHoldsNoValue) {
  RollbackScope scope(temp_.path());
  scope.AddSharedValues(Key(L"made\\shared"), L"Ours");
  const struct {
    const char* name;
    const wchar_t* theirs;
    bool stays;
  } kCases[] = {
      {"empty keys", nullptr, false},
      {"a value in it", L"made", true},
      {"a value below", L"made\\shared\\below", true},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    base::win::RegKey made;
    ASSERT_EQ(ERROR_SUCCESS,
              made.Create(HKEY_CURRENT_USER,
                          Key(L"made\\shared\\below").c_str(), KEY_READ));
    made.Close();
    if (test.theirs)
      SetValue(test.theirs, L"theirs", REG_SZ, "x");
    const Snapshot before = TakeSnapshot();
    WriteJournal({RollbackRecord::CreatedKey(HKEY_CURRENT_USER, Key(L"made"))},
                 "");
    ASSERT_TRUE(RollbackJournal::Replay(journal_path_, scope));
    EXPECT_EQ(test.stays, made.Open(HKEY_CURRENT_USER, Key(L"made").c_str(),
                                    KEY_READ) == ERROR_SUCCESS);
    if (test.stays) {
      EXPECT_EQ(before, TakeSnapshot());
    }
    made.Close();
    ::SHDeleteKeyW(HKEY_CURRENT_USER, Key(L"made").c_str());
  }
}

// The lines logged while a test runs.
std::string* g_logged = nullptr;

bool CaptureLine(int /* severity */,
                 const char* /* file */,
                 int /* line */,
                 size_t /* message_start */,
                 const std::string& text) {
  if (g_logged)
    *g_logged += text;
  return false;
}

// A journal that anyone else wrote, as the runs of its folder never do,
// with right checksums.
class PlantedJournalTest : public RollbackJournalTest {
 protected:
  PlantedJournalTest()
      : victim_(journal_dir_.path().Append(L"victim.txt")),
        foreign_key_(key_path_ + L"Foreign") {}

  void SetUp() override {
    RollbackJournalTest::SetUp();
    g_logged = &logged_;
    base::SetLogMessageHandler(&CaptureLine);
  }
  void TearDown() override {
    base::SetLogMessageHandler(nullptr);
    g_logged = nullptr;
    ::SHDeleteKeyW(HKEY_CURRENT_USER, foreign_key_.c_str());
    RollbackJournalTest::TearDown();
  }

  // Where refused journals went: the files beside the journal that no run
  // reads.
  std::vector<base::FilePath> KeptAside() const {
    std::vector<base::FilePath> kept;
    base::FileEnumerator files(journal_dir_.path(), false,
                               base::FileEnumerator::FILES, L"j.*.refused");
    for (base::FilePath file = files.Next(); !file.empty(); file = files.Next())
      kept.push_back(file);
    return kept;
  }

  // What lies outside the test's folder and key that a journal could name.
  std::string Outside() const {
    std::string state;
    std::string content;
    state += base::ReadFileToString(victim_, &content) ? content : "none";
    state += base::PathExists(journal_dir_.path().Append(L"moved.txt"))
                 ? " moved"
                 : "";
    state += base::DirectoryExists(journal_dir_.path().Append(L"empty"))
                 ? " empty"
                 : "";
    base::win::RegKey key;
    base::string16 value;
    state += key.Open(HKEY_CURRENT_USER, foreign_key_.c_str(), KEY_READ) ==
                     ERROR_SUCCESS
                 ? (key.ReadValue(L"v", &value) == ERROR_SUCCESS
                        ? " key " + base::UTF16ToUTF8(value)
                        : " key")
                 : "";
    state += key.Open(HKEY_CURRENT_USER, (foreign_key_ + L"\\new").c_str(),
                      KEY_READ) == ERROR_SUCCESS
                 ? " new key"
                 : "";
    return state;
  }

  const base::FilePath victim_;
  // Beside the test's key, with a name that begins like it.
  const base::string16 foreign_key_;
  std::string logged_;
};

// A record of its own making, word by word.
base::Pickle Words(std::initializer_list<uint32_t> words) {
  base::Pickle record;
  for (uint32_t word : words)
    record.Write4Bytes(word);
  return record;
}

// A journal with one record naming anything a run of its folder does not
// change, or that cannot be read whole, is refused whole: nothing in it is
// done, the run is told, and the journal is kept aside where no run reads
// it.
TEST_F(PlantedJournalTest, ARecordOutsideTheScopeRefusesTheJournal) {
  const base::string16 escape =
      L"..\\" + journal_dir_.path().BaseName().value() + L"\\victim.txt";
  const std::vector<uint8_t> evil = {'e', 0, 'v', 0, 0, 0};
  base::Pickle huge_values = Words({7, 0x80000001u});
  huge_values.WriteString16(Key(L"gone"));
  huge_values.Write4Bytes(0x7FFFFFFF);
  base::Pickle huge_name = Words({1, 0x7FFFFFFF});
  base::Pickle huge_bytes = Words({4});
  huge_bytes.WriteString16(Path(L"prefs.json").value());
  huge_bytes.WriteBool(true);
  huge_bytes.Write4Bytes(0x7FFFFFF0);
  base::Pickle cut = Words({3});
  cut.WriteString16(Path(L"src.txt").value());
  const base::string16 too_long(40000, L'a');
  // Where the record is planted: a journal, an earlier build's leftover
  // journal, or a leftover journal.
  enum { kJournal = 1, kEarlierLeftover = 2, kLeftover = 4 };
  const struct {
    const char* name;
    base::Pickle record;
    int refused_in = kJournal | kEarlierLeftover | kLeftover;
  } kCases[] = {
      {"a file outside", RollbackRecord::CreatedFile(victim_)},
      {"a '..' escape", RollbackRecord::CreatedFile(Path(escape))},
      {"a file rewritten outside",
       RollbackRecord::FileContent(victim_, true, "written")},
      {"a file deleted outside",
       RollbackRecord::FileContent(victim_, false, "")},
      {"a file moved out",
       RollbackRecord::Renamed(journal_dir_.path().Append(L"moved.txt"),
                               Path(L"src.txt"))},
      {"a file moved in", RollbackRecord::Renamed(Path(L"in.txt"), victim_)},
      {"folders outside",
       RollbackRecord::CreatedFolders(journal_dir_.path().Append(L"empty"),
                                      journal_dir_.path())},
      {"folders up to no ancestor",
       RollbackRecord::CreatedFolders(Path(L"new"), journal_dir_.path())},
      {"a value of another key",
       RollbackRecord::RegistryValue(HKEY_CURRENT_USER, foreign_key_, L"v",
                                     true, REG_SZ, evil)},
      {"another key created",
       RollbackRecord::CreatedKey(HKEY_CURRENT_USER, foreign_key_)},
      {"another key deleted",
       RollbackRecord::DeletedKey(HKEY_CURRENT_USER, foreign_key_ + L"\\new",
                                  {{L"v", REG_SZ, evil}})},
      {"another hive",
       RollbackRecord::CreatedKey(HKEY_CLASSES_ROOT, Key(L"k"))},
      {"values beyond its bytes", std::move(huge_values)},
      {"a name beyond its bytes", std::move(huge_name)},
      {"content beyond its bytes", std::move(huge_bytes)},
      {"a record cut within", std::move(cut)},
      {"paths longer than the file system takes",
       RollbackRecord::Renamed(Path(too_long), Path(too_long + L"b"))},
      {"an unknown kind", Words({99})},
      {"no kind", base::Pickle()},
      {"a kept file outside",
       RollbackRecord::KeptFile(victim_, base::FilePath(), FileIdentity())},
      {"a kept file set aside outside",
       RollbackRecord::KeptFile(Path(L"src.txt"), victim_, FileIdentity())},
      {"a rename back out",
       RollbackRecord::RenameBack(journal_dir_.path().Append(L"moved.txt"),
                                  Path(L"src.txt"), FileIdentity())},
      {"a rename back in",
       RollbackRecord::RenameBack(Path(L"in.txt"), victim_, FileIdentity())},
      // What one kind of journal holds is refused in the other.
      {"a take-back's kept file",
       RollbackRecord::KeptFile(Path(L"made.txt"), base::FilePath(),
                                FileIdentity()),
       kJournal | kEarlierLeftover},
      {"a take-back's rename back",
       RollbackRecord::RenameBack(Path(L"made.txt"), Path(L"src.txt"),
                                  FileIdentity()),
       kJournal | kEarlierLeftover},
      {"a file's content",
       RollbackRecord::FileContent(Path(L"src.txt"), true, "written"),
       kEarlierLeftover | kLeftover},
      {"a created file", RollbackRecord::CreatedFile(Path(L"src.txt")),
       kLeftover},
  };
  std::set<base::string16> seen;
  for (const int kind : {kJournal, kEarlierLeftover, kLeftover}) {
    for (const auto& test : kCases) {
      if (!(test.refused_in & kind))
        continue;
      SCOPED_TRACE(std::string(test.name) + (kind == kJournal ? " in a journal"
                                             : kind == kLeftover
                                                 ? " in a leftover journal"
                                                 : " in an earlier build's "
                                                   "leftover journal"));
      ASSERT_TRUE(base::WriteFile(victim_, "victim", 6));
      ASSERT_TRUE(base::CreateDirectory(journal_dir_.path().Append(L"empty")));
      base::win::RegKey foreign;
      ASSERT_EQ(ERROR_SUCCESS,
                foreign.Create(HKEY_CURRENT_USER, foreign_key_.c_str(),
                               KEY_SET_VALUE));
      ASSERT_EQ(ERROR_SUCCESS, foreign.WriteValue(L"v", L"old"));
      foreign.Close();
      Write(L"made.txt", "made");
      // Beside what a run (or a take-back) of the folder would have kept.
      const base::FilePath planted_path =
          kind == kJournal ? journal_path_ : LeftoverPath(kind);
      if (kind == kLeftover) {
        WriteLeftoverAt(planted_path, {RollbackRecord::KeptFile(
                                           Path(L"made.txt"), base::FilePath(),
                                           FileIdentity::Of(Path(L"made.txt"))),
                                       test.record});
      } else {
        WriteJournalAt(
            planted_path,
            {RollbackRecord::CreatedFile(Path(L"made.txt")), test.record}, "");
      }
      std::string planted;
      ASSERT_TRUE(base::ReadFileToString(planted_path, &planted));
      const Snapshot before = TakeSnapshot();
      const std::string outside = Outside();
      logged_.clear();

      EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
      EXPECT_EQ(before, TakeSnapshot());
      EXPECT_EQ(outside, Outside());
      EXPECT_NE(std::string::npos,
                logged_.find("Refusing the rollback journal"));
      EXPECT_FALSE(base::PathExists(planted_path));
      EXPECT_FALSE(RollbackJournal::HasLeftovers(journal_path_));
      // Each kept under a name of its own, also within one second.
      std::vector<base::FilePath> kept = KeptAside();
      kept.erase(std::remove_if(kept.begin(), kept.end(),
                                [&](const base::FilePath& file) {
                                  return seen.count(file.value()) > 0;
                                }),
                 kept.end());
      ASSERT_EQ(1u, kept.size());
      seen.insert(kept[0].value());
      std::string content;
      EXPECT_TRUE(base::ReadFileToString(kept[0], &content));
      EXPECT_EQ(planted, content);
    }
  }
}

// Records that a foreign writer put behind a run's own, where a run it
// started would have written, are kept aside and never done; the run's own
// stay.
TEST_F(PlantedJournalTest, ForeignRecordsBehindARunAreKeptAside) {
  RollbackJournal first;
  ASSERT_TRUE(first.Open(journal_path_, scope_));
  ASSERT_TRUE(first.Append(RollbackRecord::CreatedFile(Path(L"src.txt"))));
  const int64_t first_size = JournalSize();
  Write(L"second.txt", "second");
  ASSERT_TRUE(base::WriteFile(victim_, "victim", 6));
  {
    RollbackJournal second;
    ASSERT_TRUE(second.Open(journal_path_, scope_));
    ASSERT_TRUE(
        second.Append(RollbackRecord::CreatedFile(Path(L"second.txt"))));
    ASSERT_TRUE(second.Append(RollbackRecord::CreatedFile(victim_)));
  }
  first.ReplayAbandoned();
  EXPECT_EQ(first_size, JournalSize());
  EXPECT_TRUE(base::PathExists(Path(L"second.txt")));
  EXPECT_TRUE(base::PathExists(victim_));
  EXPECT_EQ(1u, KeptAside().size());
  EXPECT_NE(std::string::npos, logged_.find("Refusing the rollback records"));
  first.Close();
  EXPECT_TRUE(base::PathExists(Path(L"src.txt")));
}

// A journal of more records than any run writes is kept aside whole,
// without a record undone: replaying it would hold the next run for
// minutes.
TEST_F(PlantedJournalTest, AJournalOfMoreRecordsThanAnyRunsIsKeptAside) {
  const base::Pickle record = RollbackRecord::CreatedFile(Path(L"src.txt"));
  std::string bytes(static_cast<const char*>(record.data()), record.size());
  const uint32_t checksum =
      base::SuperFastHash(bytes.data(), static_cast<int>(bytes.size()));
  bytes.append(reinterpret_cast<const char*>(&checksum), sizeof(checksum));
  std::string records;
  for (int i = 0; i <= 1 << 14; ++i)
    records += bytes;
  WriteJournal({}, records);
  EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
  EXPECT_TRUE(base::PathExists(Path(L"src.txt")));
  EXPECT_EQ(1u, KeptAside().size());
  EXPECT_NE(std::string::npos, logged_.find("more records than any run"));
}

// The owner and access lists of a journal and of its folder, from text in
// place of the platform's, which keeps no owner of a file.
const wchar_t* g_security[2] = {};

DWORD ReadTestSecurity(HANDLE file,
                       const base::FilePath& /* path */,
                       PSECURITY_DESCRIPTOR* descriptor) {
  return ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
             g_security[file ? 0 : 1], SDDL_REVISION_1, descriptor, nullptr)
             ? ERROR_SUCCESS
             : ::GetLastError();
}

// The owners and access lists of a journal and its folder, and whether an
// administrator's run takes such a journal.
constexpr wchar_t kAdministratorsOnly[] = L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)";
const struct {
  const wchar_t* journal;
  const wchar_t* folder;
  bool taken;
} kSecurityCases[] = {
    {kAdministratorsOnly, kAdministratorsOnly, true},
    {L"O:BAD:(A;;FA;;;BA)(A;;FA;;;BU)", kAdministratorsOnly, false},
    {L"O:BUD:(A;;FA;;;BA)", kAdministratorsOnly, false},
    {kAdministratorsOnly, L"O:BUD:(A;OICI;FA;;;BU)", false},
};

// An administrator's run neither replays nor continues a journal that
// others could have written, nor one in a folder someone else made: it is
// kept aside untouched, and continuing it is refused. Nor does it take back
// such a leftover journal, which an uninstallation does not find either.
TEST_F(PlantedJournalTest, AnAdministratorsRunTakesNoJournalOthersCouldWrite) {
  FakeSecurityChecks administrator;
  for (const auto& test : kSecurityCases) {
    SCOPED_TRACE(base::UTF16ToUTF8(test.journal) + " in " +
                 base::UTF16ToUTF8(test.folder));
    g_security[0] = test.journal;
    g_security[1] = test.folder;
    // What the row before left open and unrecorded.
    base::DeleteFile(journal_path_, false);
    Write(L"made.txt", "made");
    size_t kept = KeptAside().size();
    WriteLeftoverAt(LeftoverPath(1), {RollbackRecord::KeptFile(
                                         Path(L"made.txt"), base::FilePath(),
                                         FileIdentity::Of(Path(L"made.txt")))});
    RollbackJournal::SetSecurityReaderForTesting(&ReadTestSecurity);
    RollbackLeftovers found;
    std::vector<base::FilePath> files;
    RollbackJournal::FindLeftovers(journal_path_, scope_, &found, &files);
    EXPECT_EQ(test.taken ? 1u : 0u, files.size());
    RollbackJournal::Replay(journal_path_, scope_);
    RollbackJournal::SetSecurityReaderForTesting(nullptr);
    EXPECT_EQ(test.taken, !base::PathExists(Path(L"made.txt")));
    EXPECT_EQ(test.taken ? kept : kept + 1, KeptAside().size());
    EXPECT_FALSE(base::PathExists(LeftoverPath(1)));

    Write(L"made.txt", "made");
    kept = KeptAside().size();
    WriteJournal({RollbackRecord::CreatedFile(Path(L"made.txt"))}, "");
    RollbackJournal first;
    for (bool replay : {true, false}) {
      RollbackJournal::SetSecurityReaderForTesting(&ReadTestSecurity);
      RollbackJournal second;
      EXPECT_EQ(test.taken,
                replay ? RollbackJournal::Replay(journal_path_, scope_) &&
                             !base::PathExists(Path(L"made.txt"))
                       : second.Open(journal_path_, scope_));
      RollbackJournal::SetSecurityReaderForTesting(nullptr);
      if (replay) {
        EXPECT_EQ(test.taken ? kept : kept + 1, KeptAside().size());
        ASSERT_TRUE(first.Open(journal_path_, scope_));
      }
    }
  }
}

// The machine's folder of journals that someone else made, with a journal
// in it, is set aside whole and unread by an administrator's run, which
// makes its own and records there.
TEST_F(PlantedJournalTest, AnAdministratorsRunSetsAsideAFolderOthersMade) {
  FakeSecurityChecks administrator;
  const ScopedPathOverride machine_data(base::DIR_COMMON_APP_DATA,
                                        journal_dir_.path());
  const base::FilePath journal = RollbackJournal::PathFor(temp_.path());
  const base::FilePath folder = journal.DirName();
  Write(L"made.txt", "made");
  WriteJournalAt(journal, {RollbackRecord::CreatedFile(Path(L"made.txt"))}, "");
  std::string planted;
  ASSERT_TRUE(base::ReadFileToString(journal, &planted));
  // The platform keeps no owner: the folder says whose it is.
  ASSERT_EQ(0, base::WriteFile(folder.Append(L"others"), "", 0));
  RollbackJournal::SetSecurityReaderForTesting(
      [](HANDLE file, const base::FilePath& path,
         PSECURITY_DESCRIPTOR* descriptor) -> DWORD {
        const bool others = !file && base::PathExists(path.Append(L"others"));
        return ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                   others ? L"O:BUD:(A;OICI;FA;;;BU)"
                          : L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)",
                   SDDL_REVISION_1, descriptor, nullptr)
                   ? ERROR_SUCCESS
                   : ::GetLastError();
      });
  {
    RollbackJournal run;
    EXPECT_TRUE(run.Open(journal, scope_));
    RollbackJournal::SetSecurityReaderForTesting(nullptr);
    EXPECT_TRUE(run.Append(RollbackRecord::CreatedFile(Path(L"src.txt"))));
  }
  EXPECT_TRUE(RollbackJournal::Replay(journal, scope_));
  EXPECT_FALSE(base::PathExists(Path(L"src.txt")));
  EXPECT_TRUE(base::PathExists(Path(L"made.txt")));
  base::FileEnumerator aside(journal_dir_.path(), false,
                             base::FileEnumerator::DIRECTORIES,
                             L"vexlo_rollback.*.refused");
  const base::FilePath kept = aside.Next();
  std::string content;
  EXPECT_TRUE(
      base::ReadFileToString(kept.Append(journal.BaseName()), &content));
  EXPECT_EQ(planted, content);
  EXPECT_TRUE(aside.Next().empty());
}

// A journal larger than any run's is never read into memory, and is kept
// aside.
TEST_F(PlantedJournalTest, AJournalLargerThanAnyRunsIsKeptAside) {
  WriteJournal({RollbackRecord::CreatedFile(Path(L"src.txt"))}, "");
  base::win::ScopedHandle file(
      ::CreateFileW(journal_path_.value().c_str(), GENERIC_WRITE, 0, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.IsValid());
  LARGE_INTEGER size;
  size.QuadPart = (64 << 20) + 1;
  ASSERT_TRUE(::SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN));
  ASSERT_TRUE(::SetEndOfFile(file.Get()));
  file.Close();
  EXPECT_TRUE(RollbackJournal::Replay(journal_path_, scope_));
  EXPECT_TRUE(base::PathExists(Path(L"src.txt")));
  EXPECT_FALSE(base::PathExists(journal_path_));
  EXPECT_EQ(1u, KeptAside().size());
}

// An administrator's run keeps its journals in the machine's folder, where
// no journal a process of the user wrote in its temporary folder is read;
// the user's own run still reads the user's.
TEST_F(RollbackJournalTest, AnAdministratorsRunReadsNoJournalOfTheUser) {
  FakeSecurityChecks checks;
  checks.set_administrator(false);
  const base::FilePath user_journal = RollbackJournal::PathFor(temp_.path());
  base::FilePath user_temp;
  ASSERT_TRUE(base::GetTempDir(&user_temp));
  EXPECT_EQ(user_temp.StripTrailingSeparators(), user_journal.DirName());
  checks.set_administrator(true);
  const base::FilePath journal = RollbackJournal::PathFor(temp_.path());
  base::FilePath machine_data;
  ASSERT_TRUE(base::PathService::Get(base::DIR_COMMON_APP_DATA, &machine_data));
  EXPECT_EQ(machine_data.Append(L"vexlo_rollback"), journal.DirName());
  EXPECT_EQ(user_journal.BaseName(), journal.BaseName());

  checks.set_administrator(false);
  WriteJournalAt(user_journal, {RollbackRecord::CreatedFile(Path(L"src.txt"))},
                 "");
  checks.set_administrator(true);
  EXPECT_TRUE(RollbackJournal::Replay(journal, scope_));
  EXPECT_TRUE(base::PathExists(Path(L"src.txt")));
  EXPECT_TRUE(base::PathExists(user_journal));

  // The administrator's own journal is replayed by the next of its runs.
  {
    RollbackJournal killed;
    ASSERT_TRUE(killed.Open(journal, scope_));
    ASSERT_TRUE(killed.Append(RollbackRecord::CreatedFile(Path(L"made.txt"))));
    Write(L"made.txt", "made");
  }
  EXPECT_TRUE(RollbackJournal::Replay(journal, scope_));
  EXPECT_FALSE(base::PathExists(Path(L"made.txt")));
  EXPECT_FALSE(base::PathExists(journal));

  checks.set_administrator(false);
  EXPECT_TRUE(RollbackJournal::Replay(user_journal, scope_));
  EXPECT_FALSE(base::PathExists(Path(L"src.txt")));
  EXPECT_FALSE(base::PathExists(user_journal));
}

// A journal is read for an administrator only when none but administrators
// and the system own it or may change it.
TEST(RollbackJournalSecurityTest, OnlyAdministratorsWrite) {
  const struct {
    const wchar_t* sddl;
    bool trusted;
  } kCases[] = {
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", true},
      {L"O:SYD:(A;;FA;;;SY)(A;;0x1200a9;;;WD)", true},
      {L"O:S-1-5-80-956008885-3425870490-2839906345-1681787880-2239733470"
       L"D:(A;;FA;;;BA)",
       true},
      {L"O:BAD:", true},
      {L"O:BAD:(A;OICIIO;FA;;;CO)(A;;FA;;;BA)", true},
      {L"O:BAD:(D;;FA;;;WD)(A;;FA;;;BA)", true},
      {L"O:BUD:(A;;FA;;;BA)", false},
      {L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;BA)", false},
      {L"O:BAD:(A;;FA;;;BA)(A;;FA;;;BU)", false},
      {L"O:BAD:(A;;0x2;;;WD)", false},
      {L"O:BAD:(A;;0x4;;;AU)", false},
      {L"O:BAD:(A;;0x40;;;BU)", false},
      {L"O:BAD:(A;;GW;;;AU)", false},
      {L"O:BAD:(A;;GA;;;AU)", false},
      {L"O:BAD:(A;;SD;;;WD)", false},
      {L"O:BAD:(A;;WD;;;WD)", false},
      {L"O:BAD:(A;;WO;;;S-1-5-21-1-2-3-1001)", false},
      {L"O:BAD:(A;OICI;FA;;;CO)", false},
      {L"D:(A;;FA;;;BA)", false},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(base::UTF16ToUTF8(test.sddl));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        test.sddl, SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_EQ(test.trusted,
              RollbackJournal::OnlyAdministratorsWrite(descriptor));
    ::LocalFree(descriptor);
  }
  // No access list at all lets everyone in.
  SECURITY_DESCRIPTOR open = {};
  char administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(administrators);
  ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr,
                                   administrators, &size));
  ASSERT_TRUE(
      ::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorOwner(&open, administrators, FALSE));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
  EXPECT_FALSE(RollbackJournal::OnlyAdministratorsWrite(&open));
  // An entry of a kind not understood might grant anything.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"O:BAD:(A;;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr));
  EXPECT_TRUE(RollbackJournal::OnlyAdministratorsWrite(descriptor));
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  void* entry = nullptr;
  ASSERT_TRUE(
      ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(::GetAce(dacl, 0, &entry));
  static_cast<ACE_HEADER*>(entry)->AceType = ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
  EXPECT_FALSE(RollbackJournal::OnlyAdministratorsWrite(descriptor));
  ::LocalFree(descriptor);
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
