// First, so that the package headers are shown to compile after the COM
// headers, which define plain words such as "interface" as macros.
#include <objbase.h>

#include "desktop/launcher/installer/package_fetcher/lzma_util.h"

#include <functional>
#include <map>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/test/folder_link.h"
#include "base/test/process_test_child_command.h"
#include "base/test/unique_test_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/package_fetcher/mapped_file_allocator.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher_delegate.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "desktop/launcher/installer/package_fetcher/tree_deleter.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

class ProgressRecorder : public PackageFetcherDelegate {
 public:
  void SetTotalProgress(int32_t total) override { total_ = total; }
  void SetCurrentProgress(int32_t current) override {
    current_.push_back(current);
    if (on_item_)
      on_item_(current);
  }
  void NotifyStalled() override {}
  void NotifyStatusChanged(PackageFetcher::Status) override {}
  void NotifyTrackingDataObtained(const std::string&) override {}

  int32_t total_ = -1;
  std::vector<int32_t> current_;
  // Called as each item is reported, before it is unpacked.
  std::function<void(int32_t)> on_item_;
};

// Every entry below |root| by relative path: a file's bytes and last-write
// time, or "folder".
std::map<base::string16, std::string> Listing(const base::FilePath& root) {
  std::map<base::string16, std::string> listing;
  base::FileEnumerator entries(
      root, true,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = entries.Next(); !path.empty();
       path = entries.Next()) {
    const base::FileEnumerator::FileInfo info = entries.GetInfo();
    const FILETIME& time = info.find_data().ftLastWriteTime;
    const base::string16 name = path.value().substr(root.value().size() + 1);
    listing[name] = info.IsDirectory()
                        ? "folder"
                        : ReadWholeFile(path) + " @" +
                              std::to_string(time.dwHighDateTime) + "." +
                              std::to_string(time.dwLowDateTime);
  }
  return listing;
}

int32_t ExtractFixture(const wchar_t* archive,
                       const base::FilePath& target,
                       PackageFetcherDelegate* delegate) {
  LzmaExtractor extractor;
  EXPECT_EQ(0u, extractor.Open(PackageFixture(archive)));
  extractor.set_delegate(delegate);
  return extractor.Extract(target);
}

TEST(LzmaExtractorTest, UnpacksEveryKindByteForByte) {
  const auto tree = Listing(PackageFixture(L"tree"));
  ASSERT_EQ(10u, tree.size());
  const wchar_t* const archives[] = {L"lzma2_bcj.7z", L"lzma_non_solid.7z",
                                     L"bcj2.7z", L"ppmd.7z",
                                     L"plain_header.7z"};
  for (const wchar_t* archive : archives) {
    SCOPED_TRACE(archive);
    base::UniqueTestDir dir;
    ProgressRecorder progress;
    EXPECT_EQ(0, ExtractFixture(archive, dir.path(), &progress));
    // Also shows that the block's temporary file is gone.
    EXPECT_EQ(tree, Listing(dir.path()));
    EXPECT_EQ(10, progress.total_);
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}),
              progress.current_);
  }
  base::UniqueTestDir dir;
  EXPECT_EQ(0, ExtractFixture(L"deep_only.7z", dir.path(), nullptr));
  const base::FilePath deep = dir.path().Append(L"sub\\deeper\\counting.txt");
  EXPECT_EQ(ReadWholeFile(PackageFixture(L"tree\\sub\\deeper\\counting.txt")),
            ReadWholeFile(deep));
  // Written from inside the tree: "./" before every name and a "." entry in
  // place of the empty folder's.
  base::UniqueTestDir current;
  EXPECT_EQ(0, ExtractFixture(L"current_folder.7z", current.path(), nullptr));
  auto without_empty_folder = tree;
  without_empty_folder.erase(L"empty_folder");
  EXPECT_EQ(without_empty_folder, Listing(current.path()));
  // A folder entry whose name differs in case from its items' paths names
  // the same folder, as Windows compares names.
  base::UniqueTestDir mixed;
  EXPECT_EQ(0, ExtractFixture(L"mixed_case.7z", mixed.path(), nullptr));
  EXPECT_EQ(ReadWholeFile(PackageFixture(L"tree\\sub\\random.bin")),
            ReadWholeFile(mixed.path().Append(L"sub\\random.bin")));
}

TEST(LzmaExtractorTest, RefusesDamagedAndEscapingArchives) {
  const char* const kUnsafe = "Refusing an unsafe item name: ";
  // |empty|: the failure comes before anything is written.
  const struct {
    const wchar_t* archive;
    const char* log;
    bool empty;
  } cases[] = {
      {L"truncated.7z", "Error returned by SzArchiveOpen: ", true},
      {L"flipped.7z", "Error returned by SzExtract: "},
      {L"nameless.7z", "Couldn't get file name", true},
      {L"dotdot.7z", kUnsafe},
      {L"absolute.7z", kUnsafe},
      {L"drive.7z", kUnsafe},
      {L"device.7z", kUnsafe},
      // "vxq40. ", "vxq42...", "...", ". ", "a\...\x", "a\b\c\.. \.. \x".
      {L"unspellable0.7z", kUnsafe},
      {L"unspellable1.7z", kUnsafe},
      {L"unspellable2.7z", kUnsafe},
      {L"unspellable3.7z", kUnsafe},
      {L"unspellable4.7z", kUnsafe},
      {L"unspellable5.7z", kUnsafe},
      {L"blob.bin", "Error returned by SzArchiveOpen: ", true},
      // Its one block claims 2^42 bytes, refused before the block's file is
      // sized.
      {L"huge_block.7z", "A block of 4398046511104 bytes exceeds the ", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.archive);
    base::UniqueTestDir dir;
    const base::FilePath target = dir.path().Append(L"target");
    ASSERT_TRUE(base::CreateDirectory(target));
    ScopedLogCapture log;
    EXPECT_EQ(LzmaExtractor::kArchiveError,
              ExtractFixture(c.archive, target, nullptr));
    EXPECT_TRUE(log.Saw(c.log));
    // Nothing beside the target folder.
    EXPECT_EQ(1u, Listing(dir.path()).size() - Listing(target).size());
    EXPECT_TRUE(!c.empty || Listing(target).empty());
    // Nothing is left that the package's teardown cannot reach.
    EXPECT_TRUE(TreeDeleter(target).Delete());
    EXPECT_TRUE(Listing(dir.path()).empty());
  }
}

TEST(LzmaExtractorTest, ReportsOpenAndWriteFailures) {
  base::UniqueTestDir dir;
  LzmaExtractor extractor;
  EXPECT_EQ(LzmaExtractor::kArchiveError, extractor.Extract(dir.path()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND),
            extractor.Open(dir.path().Append(L"missing.7z")));
  EXPECT_EQ(LzmaExtractor::kArchiveError, extractor.Extract(dir.path()));

  // A file that is there already, held open or not, is never replaced.
  const base::FilePath held = dir.path().Append(L"readme.txt");
  base::win::ScopedHandle holder(
      CreateFileW(held.value().c_str(), GENERIC_WRITE, 0, nullptr,
                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.IsValid());
  ScopedLogCapture log;
  EXPECT_EQ(ERROR_FILE_EXISTS,
            ExtractFixture(L"lzma_non_solid.7z", dir.path(), nullptr));
  EXPECT_TRUE(log.Saw("Error returned by CreateFile: 80"));
}

// Whatever stood in the folder before is left as it was: a hard link to a
// file elsewhere, a link to a folder elsewhere, a folder of the same name in
// another case. The extraction fails at that item.
TEST(LzmaExtractorTest, NeverWritesThroughWhatWasThereBefore) {
  base::UniqueTestDir outside;
  const base::FilePath victim = outside.path().Append(L"victim.txt");
  ASSERT_EQ(9, base::WriteFile(victim, "user data", 9));
  const base::FilePath victim_folder = outside.path().Append(L"folder");
  ASSERT_TRUE(base::CreateDirectory(victim_folder));
  const auto hard_link = [&victim](const base::FilePath& target) {
    return CreateHardLinkW(target.Append(L"README.TXT").value().c_str(),
                           victim.value().c_str(), nullptr) != FALSE;
  };
  const auto folder_link = [&victim_folder](const base::FilePath& target) {
    return base::MakeFolderLink(target.Append(L"sub"), victim_folder);
  };
  const auto other_case = [](const base::FilePath& target) {
    return base::CreateDirectory(target.Append(L"SUB"));
  };
  const struct {
    const char* name;
    std::function<bool(const base::FilePath&)> plant;
    int32_t result;
    const char* log;
  } cases[] = {
      {"hard link", hard_link, ERROR_FILE_EXISTS,
       "Error returned by CreateFile: 80"},
      {"folder", other_case, ERROR_ALREADY_EXISTS,
       "Error returned by CreateDirectory: 183"},
      // Last: the test folder's own clean-up may not yet keep out of links.
      {"folder link", folder_link, ERROR_ALREADY_EXISTS,
       "Error returned by CreateDirectory: 183"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    base::UniqueTestDir dir;
    ASSERT_TRUE(c.plant(dir.path()));
    ScopedLogCapture log;
    EXPECT_EQ(c.result, ExtractFixture(L"lzma2_bcj.7z", dir.path(), nullptr));
    EXPECT_TRUE(log.Saw(c.log));
    EXPECT_EQ("user data", ReadWholeFile(victim));
    EXPECT_TRUE(Listing(victim_folder).empty());
    EXPECT_EQ(2u, Listing(outside.path()).size());
  }
}

// A folder the extraction made is entered again through the handle it was
// made with, never by a name: neither a folder whose name extends it nor
// another process that tries to move it away and put a link to elsewhere in
// its place meanwhile takes its items elsewhere. The archive holds
// z0\f00.txt, z0x\f00.txt, z1\f00.txt, z1\f01.txt and z0\f02.txt.
TEST(LzmaExtractorTest, EntersAFolderItMadeAgainThroughItsHandle) {
  base::UniqueTestDir dir;
  const base::FilePath outside = dir.path().Append(L"outside");
  const base::FilePath target = dir.path().Append(L"target");
  ASSERT_TRUE(base::CreateDirectory(outside));
  ASSERT_TRUE(base::CreateDirectory(target));
  ProgressRecorder progress;
  progress.on_item_ = [&target, &outside, &dir](int32_t item) {
    if (item == 3 &&
        MoveFileExW(target.Append(L"z0").value().c_str(),
                    dir.path().Append(L"moved").value().c_str(), 0)) {
      EXPECT_TRUE(base::MakeFolderLink(target.Append(L"z0"), outside));
    }
  };
  EXPECT_EQ(0, ExtractFixture(L"reentered.7z", target, &progress));
  EXPECT_TRUE(Listing(outside).empty());
  const auto left = Listing(target);
  std::vector<base::string16> names;
  for (const auto& entry : left)
    names.push_back(entry.first);
  EXPECT_EQ((std::vector<base::string16>{L"z0", L"z0\\f00.txt", L"z0\\f02.txt",
                                         L"z0x", L"z0x\\f00.txt", L"z1",
                                         L"z1\\f00.txt", L"z1\\f01.txt"}),
            names);
  EXPECT_EQ("top 004\n", ReadWholeFile(target.Append(L"z0\\f02.txt")));
  EXPECT_EQ("top 001\n", ReadWholeFile(target.Append(L"z0x\\f00.txt")));
}

// Many files are written at once, yet what a failure leaves is what
// unpacking one item after the other leaves: every item before the first
// failing one, nothing after it, and only that item's error logged. The
// archive holds a000.txt to a199.txt and then four folders of 30 files that
// have no entries of their own.
TEST(LzmaExtractorTest, AFailureLeavesWhatOneItemAtATimeWould) {
  const auto many = Listing(PackageFixture(L"many"));
  ASSERT_EQ(324u, many.size());
  // The source's entries up to the top file numbered |last|.
  const auto up_to = [&many](int last) {
    std::map<base::string16, std::string> expected;
    for (int i = 0; i <= last; ++i) {
      wchar_t name[16];
      swprintf(name, 16, L"a%03d.txt", i);
      expected[name] = many.at(name);
    }
    return expected;
  };
  auto planted = up_to(149);
  planted[L"a150.txt"] = ReadWholeFile(PackageFixture(L"many\\a000.txt"));
  const struct {
    const char* name;
    const wchar_t* archive;
    // A copy of a000.txt planted as a150.txt.
    bool plant;
    int32_t result;
    const char* log;
    std::map<base::string16, std::string> left;
  } cases[] = {
      {"taken name", L"many.7z", true, ERROR_FILE_EXISTS,
       "Error returned by CreateFile: ", planted},
      // a021.txt is named A020.TXT: the earlier item keeps the name.
      {"same name twice", L"many_twice.7z", false, ERROR_FILE_EXISTS,
       "Error returned by CreateFile: ", up_to(20)},
      // z0\f00.txt is named a199.txt\f00.txt, just after the file a199.txt.
      {"file then folder", L"many_nested.7z", false, ERROR_ALREADY_EXISTS,
       "Error returned by CreateDirectory: ", up_to(199)},
      // a199.txt is named ..\a199.txt.
      {"refused name", L"many_unsafe.7z", false, LzmaExtractor::kArchiveError,
       "Refusing an unsafe item name: ", up_to(198)},
      // The earlier item's failure wins over the refusal found later.
      {"failure before a refusal", L"many_unsafe.7z", true, ERROR_FILE_EXISTS,
       "Error returned by CreateFile: ", planted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    base::UniqueTestDir dir;
    if (c.plant) {
      ASSERT_TRUE(base::CopyFile(PackageFixture(L"many\\a000.txt"),
                                 dir.path().Append(L"a150.txt")));
    }
    ScopedLogCapture log;
    EXPECT_EQ(c.result, ExtractFixture(c.archive, dir.path(), nullptr));
    EXPECT_EQ(1u, log.Count("Error returned by ") +
                      log.Count("Refusing an unsafe item name: "));
    EXPECT_TRUE(log.Saw(c.log));
    auto left = Listing(dir.path());
    // The planted file keeps its bytes; its time is the copy's.
    if (c.plant) {
      left[L"a150.txt"] =
          left[L"a150.txt"].substr(0, left[L"a150.txt"].find(" @"));
    }
    auto expected = c.left;
    if (c.plant)
      expected[L"a150.txt"] = "top 000\n";
    EXPECT_EQ(expected, left);
  }
  // And without a failure every file is there, its progress in order.
  base::UniqueTestDir dir;
  ProgressRecorder progress;
  EXPECT_EQ(0, ExtractFixture(L"many.7z", dir.path(), &progress));
  EXPECT_EQ(many, Listing(dir.path()));
  EXPECT_EQ(320, progress.total_);
  ASSERT_EQ(320u, progress.current_.size());
  for (int32_t i = 0; i < 320; ++i)
    EXPECT_EQ(i, progress.current_[i]);
}

// What Extract left, returned and logged, and the items it reported.
struct Outcome {
  int32_t result;
  std::map<base::string16, std::string> left;
  std::vector<std::string> log;
  std::vector<int32_t> progress;
  size_t blocks_in_steps;
};

// |plant|, when set, is a file put in the target before, whose time is
// left out of the listing.
Outcome ExtractOutcome(const wchar_t* archive,
                       const wchar_t* plant,
                       bool in_steps) {
  base::UniqueTestDir dir;
  if (plant) {
    const base::FilePath planted = dir.path().Append(plant);
    EXPECT_TRUE(base::CreateDirectory(planted.DirName()));
    EXPECT_EQ(7, base::WriteFile(planted, "planted", 7));
  }
  ProgressRecorder progress;
  LzmaExtractor extractor;
  EXPECT_EQ(0u, extractor.Open(PackageFixture(archive)));
  extractor.set_delegate(&progress);
  extractor.set_decode_in_steps(in_steps);
  ScopedLogCapture log;
  Outcome outcome;
  outcome.result = extractor.Extract(dir.path());
  outcome.left = Listing(dir.path());
  if (plant)
    outcome.left[plant] = ReadWholeFile(dir.path().Append(plant));
  outcome.log = log.lines();
  outcome.progress = progress.current_;
  outcome.blocks_in_steps = extractor.blocks_decoded_in_steps();
  return outcome;
}

// Decoding a block a step at a time while its files are written leaves
// what decoding it whole first leaves: the same files, bytes and times, the
// same result and one log line. A block whose data fails to decode, found
// only after some of its files were written (the progress shows how far),
// fails at its first item: its files and the folders made for them are
// gone, and it wins over a failure of a later item found before it. The
// stream archives hold 4 empty files (making d1 and d2), then blocks of 30
// and 30 files, or one of 60, in folders d0-d3 and e, which only the last
// block needs.
TEST(LzmaExtractorTest, DecodingInStepsLeavesWhatDecodingWholeLeaves) {
  const auto stream = Listing(PackageFixture(L"stream"));
  ASSERT_EQ(69u, stream.size());
  const char* const kDataError = "Error returned by SzExtract: 1";
  const struct {
    const wchar_t* archive;
    // A file put in the target before: s00.dat is item 44, in the last
    // block, and e\x.dat makes item 39 find its folder e there already.
    const wchar_t* plant;
    size_t blocks_in_steps;
    int32_t result;
    // The one line logged, if any.
    const char* log;
    // Entries left in the target; all of the source's for 69.
    size_t left;
    // Whether the decoder fails after the block's first item is reported.
    bool fails_late;
  } cases[] = {
      {L"stream_lzma2.7z", nullptr, 2, 0, nullptr, 69},
      {L"stream_lzma.7z", nullptr, 1, 0, nullptr, 69},
      // Flipped bytes and a packed stream cut short in the middle of the
      // last block: every item before its first, 34 or 4, is left.
      {L"stream_lzma2_flipped.7z", nullptr, 2, 6, kDataError, 38, true},
      {L"stream_lzma_flipped.7z", nullptr, 1, 6, kDataError, 6, true},
      {L"stream_lzma2_short.7z", nullptr, 2, 6, kDataError, 38, true},
      {L"stream_lzma_short.7z", nullptr, 1, 6, kDataError, 6, true},
      // Item 58's checksum: items 0-57 and the five folders.
      {L"stream_lzma2_bad_crc.7z", nullptr, 2, 6,
       "Error returned by SzExtract: 3", 63},
      // Item 58's time, which Windows refuses: its file is taken back too.
      {L"stream_lzma2_bad_time.7z", nullptr, 2, ERROR_INVALID_PARAMETER,
       "Error returned by SetFileTime: 87", 63},
      // The block's end checks: an end mark 1000 bytes before the size the
      // one block claims, and 16 packed bytes after the data.
      {L"stream_lzma2_one.7z", nullptr, 1, 0, nullptr, 69},
      {L"stream_lzma2_long.7z", nullptr, 1, 6, kDataError, 6, true},
      {L"stream_lzma2_long_packed.7z", nullptr, 2, 6, kDataError, 38, true},
      {L"stream_lzma_long_packed.7z", nullptr, 1, 6, kDataError, 6, true},
      // A checksum of the whole block, which only decoding it whole checks.
      {L"stream_lzma_block_crc.7z", nullptr, 0, 6,
       "Error returned by SzExtract: 3", 6},
      // A later item that cannot be written: its failure stands when the
      // block decodes, and gives way when the block does not.
      {L"stream_lzma2.7z", L"s00.dat", 2, ERROR_FILE_EXISTS,
       "Error returned by CreateFile: 80", 50},
      {L"stream_lzma2_bad_crc.7z", L"s00.dat", 2, ERROR_FILE_EXISTS,
       "Error returned by CreateFile: 80", 50},
      {L"stream_lzma2_flipped.7z", L"s00.dat", 2, 6, kDataError, 39, true},
      {L"stream_lzma2_flipped.7z", L"e\\x.dat", 2, 6, kDataError, 40, true},
      // Blocks of one file each; the second one is damaged.
      {L"lzma_non_solid.7z", nullptr, 4, 0, nullptr, 0},
      {L"flipped.7z", nullptr, 2, 6, kDataError, 0},
      // A block decoded in steps, then one decoded whole.
      {L"stream_mixed.7z", nullptr, 1, 0, nullptr, 0},
      // Configurations that are decoded whole.
      {L"stream_bcj.7z", nullptr, 0, 0, nullptr, 69},
      {L"stream_copy.7z", nullptr, 0, 0, nullptr, 69},
      {L"bcj2.7z", nullptr, 0, 0, nullptr, 0},
      {L"ppmd.7z", nullptr, 0, 0, nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.archive);
    const Outcome whole = ExtractOutcome(c.archive, c.plant, false);
    const Outcome steps = ExtractOutcome(c.archive, c.plant, true);
    EXPECT_EQ(0u, whole.blocks_in_steps);
    EXPECT_EQ(c.blocks_in_steps, steps.blocks_in_steps);
    EXPECT_EQ(c.result, whole.result);
    EXPECT_EQ(c.result, steps.result);
    EXPECT_EQ(whole.left, steps.left);
    if (c.left == stream.size()) {
      EXPECT_EQ(stream, steps.left);
    } else if (c.left != 0) {
      EXPECT_EQ(c.left, steps.left.size());
    }
    EXPECT_EQ(whole.log, steps.log);
    ASSERT_EQ(c.log ? 1u : 0u, steps.log.size());
    if (c.log) {
      EXPECT_EQ(std::string(c.log) + "\n", steps.log[0]);
    }
    // The items are reported in order. How far depends on when the writing
    // threads report a failure, but when the block's data fails, the whole
    // block's decode stops at the block's first item.
    for (size_t i = 0; i < steps.progress.size(); ++i)
      EXPECT_EQ(static_cast<int32_t>(i), steps.progress[i]);
    if (c.result == 0 || c.result == LzmaExtractor::kArchiveError) {
      EXPECT_LE(whole.progress.size(), steps.progress.size());
      EXPECT_EQ(c.fails_late, whole.progress.size() < steps.progress.size());
    }
  }
}

// The item is refused: the target folder itself would be a path of
// nearly 34,000 characters, and a crash would end only the child.
TEST(LzmaExtractorTest, RefusesAnItemBelow17000FoldersInAChild) {
  base::UniqueTestDir dir;
  base::FilePath exe;
  ASSERT_TRUE(base::PathService::Get(base::FILE_EXE, &exe));
  const base::string16 command =
      L"\"" + exe.DirName().Append(L"lzma_util_test_child.exe").value() +
      L"\" \"" + PackageFixture(L"deep.7z").value() + L"\" \"" +
      dir.path().value() + L"\"";
  base::Process child = base::LaunchProcess(command, base::LaunchOptions());
  ASSERT_TRUE(child.IsValid());
  EXPECT_EQ(static_cast<DWORD>(LzmaExtractor::kArchiveError),
            base::WaitForTestChildExit(child.Handle()));
  EXPECT_TRUE(Listing(dir.path()).empty());
}

TEST(LzmaExtractorTest, KeepsItemNamesInsideTheFolder) {
  // "." names the folder it stands in, as does an empty component.
  const struct {
    const wchar_t* name;
    const wchar_t* relative;
  } kept[] = {
      {L"a.txt", L"a.txt"},
      {L"sub\\a.txt", L"sub\\a.txt"},
      {L"sub/a..b/c", L"sub\\a..b\\c"},
      {L".hidden", L".hidden"},
      {L".", L""},
      {L"./", L""},
      {L"a\\.\\b", L"a\\b"},
      {L"a//b/", L"a\\b"},
      {L"./bin/app.exe", L"bin\\app.exe"},
      {L"com0", L"com0"},
      {L"com10", L"com10"},
      {L"lpt", L"lpt"},
      {L"comx", L"comx"},
      {L"nula", L"nula"},
      {L"a nul", L"a nul"},
      {L"conin", L"conin"},
      {L"console.txt", L"console.txt"},
      {L" lead", L" lead"},
      {L"a.b/.c", L"a.b\\.c"},
  };
  for (const auto& c : kept) {
    SCOPED_TRACE(c.name);
    base::string16 relative = L"left over";
    EXPECT_TRUE(LzmaExtractor::GetSafeRelativePath(c.name, &relative));
    EXPECT_EQ(c.relative, relative);
  }
  // Empty, rooted, a drive or stream, "..", and a device in any component;
  // and components a path cannot spell, whose trailing dots and spaces
  // Windows drops, or which it reads as "..", as "...".
  const wchar_t* const refused[] = {
      L"",           L"\\a",      L"/a",          L"C:\\a",         L"C:a",
      L"a:stream",   L"sub\\a:s", L"..",          L"a\\..\\..\\b",  L"a/../b",
      L"a/..",       L"./..",     L"NUL",         L"nul.txt",       L"a\\NUL",
      L"AUX.dat",    L"nul ",     L"nul .txt",    L"Nul. .",        L"con",
      L"PRN.tar.gz", L"CONIN$",   L"conout$.log", L"sub/com1/x",    L"COM9.txt",
      L"lpt1",       L"LPT9 ",    L"com\u00B9",   L"lpt\u00B3.txt", L". ",
      L"a \\b",      L"a.\\b",    L"vxq40. ",     L"a. ",           L"vxq42...",
      L"c\\.. \\x",  L"...",      L"a\\...\\x",
  };
  for (const wchar_t* name : refused) {
    base::string16 relative;
    EXPECT_FALSE(LzmaExtractor::GetSafeRelativePath(name, &relative)) << name;
  }
}

TEST(MappedFileAllocatorTest, BacksBlocksWithATemporaryFile) {
  base::UniqueTestDir dir;
  {
    MappedFileAllocator allocator(dir.path());
    EXPECT_EQ(nullptr, allocator.Allocate(0));
    EXPECT_EQ(1u, Listing(dir.path()).size());
    // No volume here has 2^42 bytes free: the block is refused before the
    // file is filled.
    {
      ScopedLogCapture log;
      EXPECT_EQ(nullptr, allocator.Allocate(size_t{1} << 42));
      EXPECT_TRUE(log.Saw("A block of 4398046511104 bytes exceeds the "));
    }
    base::FileEnumerator files(dir.path(), false, base::FileEnumerator::FILES);
    ASSERT_FALSE(files.Next().empty());
    // A copy: the find data of a temporary would be gone by the check.
    const base::FileEnumerator::FileInfo info = files.GetInfo();
    EXPECT_EQ(0u,
              info.find_data().nFileSizeHigh | info.find_data().nFileSizeLow);
    // The file holds exactly the block, in zeros, also across the pieces
    // it is written in and when a smaller block follows a larger one.
    for (size_t size :
         {size_t{1}, (size_t{3} << 20) + 5, size_t{1} << 20, size_t{4097}}) {
      SCOPED_TRACE(size);
      char* block = static_cast<char*>(allocator.Allocate(size));
      ASSERT_NE(nullptr, block);
      EXPECT_EQ(std::string(size, '\0'), std::string(block, size));
      base::FileEnumerator sized(dir.path(), false,
                                 base::FileEnumerator::FILES);
      ASSERT_FALSE(sized.Next().empty());
      EXPECT_EQ(size, sized.GetInfo().find_data().nFileSizeLow);
      block[0] = 'a';
      block[size - 1] = 'z';
      allocator.Free(block);
    }
    allocator.Free(nullptr);
  }
  EXPECT_TRUE(Listing(dir.path()).empty());
  // Without its folder it uses the heap.
  MappedFileAllocator heap(dir.path().Append(L"missing"));
  void* block = heap.Allocate(16);
  EXPECT_NE(nullptr, block);
  heap.Free(block);
}

// An archive that ends inside its signature header ends the read with the
// read error, not with a short read that would call it no archive at all.
TEST(LzmaExtractorTest, AnEndOfFileInsideTheHeaderIsAReadError) {
  base::UniqueTestDir dir;
  const base::FilePath archive = dir.path().Append(L"short.7z");
  ASSERT_EQ(6, base::WriteFile(archive, "7z\xBC\xAF\x27\x1C", 6));
  LzmaExtractor extractor;
  ASSERT_EQ(0u, extractor.Open(archive));
  ScopedLogCapture log;
  EXPECT_EQ(LzmaExtractor::kArchiveError, extractor.Extract(dir.path()));
  EXPECT_TRUE(log.Saw("Error returned by SzArchiveOpen: 8"));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
