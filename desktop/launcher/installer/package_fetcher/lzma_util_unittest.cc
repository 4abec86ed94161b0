#include "desktop/launcher/installer/package_fetcher/lzma_util.h"

#include <map>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/package_fetcher/mapped_file_allocator.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher_delegate.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

class ProgressRecorder : public PackageFetcherDelegate {
 public:
  void SetTotalProgress(int32_t total) override { total_ = total; }
  void SetCurrentProgress(int32_t current) override {
    current_.push_back(current);
  }
  void NotifyStalled() override {}
  void NotifyStatusChanged(PackageFetcher::Status) override {}
  void NotifyTrackingDataObtained(const std::string&) override {}

  int32_t total_ = -1;
  std::vector<int32_t> current_;
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
}

TEST(LzmaExtractorTest, RefusesDamagedAndEscapingArchives) {
  const struct {
    const wchar_t* archive;
    const char* log;
  } cases[] = {
      {L"truncated.7z", "Error returned by SzArchiveOpen: "},
      {L"flipped.7z", "Error returned by SzExtract: "},
      {L"nameless.7z", "Couldn't get file name"},
      {L"dotdot.7z", "Refusing an item outside the target folder: "},
      {L"absolute.7z", "Refusing an item outside the target folder: "},
      {L"drive.7z", "Refusing an item outside the target folder: "},
      {L"blob.bin", "Error returned by SzArchiveOpen: "},
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
  }
}

TEST(LzmaExtractorTest, ReportsOpenAndWriteFailures) {
  base::UniqueTestDir dir;
  LzmaExtractor extractor;
  EXPECT_EQ(LzmaExtractor::kArchiveError, extractor.Extract(dir.path()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND),
            extractor.Open(dir.path().Append(L"missing.7z")));
  EXPECT_EQ(LzmaExtractor::kArchiveError, extractor.Extract(dir.path()));

  const base::FilePath held = dir.path().Append(L"readme.txt");
  base::win::ScopedHandle holder(
      CreateFileW(held.value().c_str(), GENERIC_WRITE, 0, nullptr,
                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.IsValid());
  ScopedLogCapture log;
  EXPECT_EQ(ERROR_SHARING_VIOLATION,
            ExtractFixture(L"lzma_non_solid.7z", dir.path(), nullptr));
  EXPECT_TRUE(log.Saw("Error returned by CreateFile: 32"));
}

TEST(LzmaExtractorTest, KeepsItemNamesInsideTheFolder) {
  const struct {
    const wchar_t* name;
    bool safe;
  } cases[] = {
      {L"a.txt", true},     {L"sub\\a.txt", true}, {L"sub/a..b/c", true},
      {L".hidden", true},   {L"", false},          {L"\\a", false},
      {L"/a", false},       {L"C:\\a", false},     {L"C:a", false},
      {L"a:stream", false}, {L"..", false},        {L"a\\..\\..\\b", false},
      {L"a/../b", false},   {L".", false},         {L"a\\.\\b", false},
      {L"a/..", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.safe, LzmaExtractor::IsSafeItemName(c.name));
  }
}

TEST(MappedFileAllocatorTest, BacksBlocksWithATemporaryFile) {
  base::UniqueTestDir dir;
  {
    MappedFileAllocator allocator(dir.path());
    EXPECT_EQ(nullptr, allocator.Allocate(0));
    EXPECT_EQ(1u, Listing(dir.path()).size());
    for (size_t size : {size_t{1}, size_t{3} << 20}) {
      char* block = static_cast<char*>(allocator.Allocate(size));
      ASSERT_NE(nullptr, block);
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

}  // namespace
}  // namespace installer
}  // namespace vexlo
