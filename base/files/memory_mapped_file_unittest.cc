#include "base/files/memory_mapped_file.h"

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_util.h"
#include "base/sys_info.h"
#include "base/test/unique_test_dir.h"
#include "gtest/gtest.h"

namespace base {

namespace {

// Byte |i| of every test file.
uint8_t PatternByte(size_t i) {
  return static_cast<uint8_t>(i * 7 + i / 251);
}

bool HoldsPattern(const MemoryMappedFile& mapped, size_t start) {
  for (size_t i = 0; i < mapped.length(); ++i) {
    if (mapped.data()[i] != PatternByte(start + i))
      return false;
  }
  return mapped.length() > 0;
}

bool IsMapped(const void* address) {
  MEMORY_BASIC_INFORMATION info = {};
  return ::VirtualQuery(address, &info, sizeof(info)) == sizeof(info) &&
         info.State == MEM_COMMIT && info.Type == MEM_MAPPED;
}

class MemoryMappedFileTest : public testing::Test {
 protected:
  // A file of |size| pattern bytes in the test folder.
  FilePath MakeFile(const wchar_t* name, size_t size) {
    std::string contents(size, '\0');
    for (size_t i = 0; i < size; ++i)
      contents[i] = static_cast<char>(PatternByte(i));
    const FilePath path = dir_.path().Append(name);
    EXPECT_EQ(static_cast<int>(size),
              WriteFile(path, contents.data(), static_cast<int>(size)));
    return path;
  }

  UniqueTestDir dir_;
};

TEST_F(MemoryMappedFileTest, MapsTheWholeFileOrARegion) {
  const FilePath file = MakeFile(L"big", 200000);
  const int64_t granularity = SysInfo::VMAllocationGranularity();
  const struct {
    MemoryMappedFile::Region region;
    size_t length;
  } kMaps[] = {
      {MemoryMappedFile::Region::kWholeFile, 200000},
      // The view starts at the granule boundary below the region.
      {{70000, 1000}, 1000},
      // A region that ends at the end of the file.
      {{199990, 10}, 10},
      {{2 * granularity - 1, 2}, 2},
  };
  for (const auto& map : kMaps) {
    SCOPED_TRACE(map.region.offset);
    auto mapped = std::make_unique<MemoryMappedFile>();
    ASSERT_TRUE(mapped->Initialize(file, map.region));
    ASSERT_EQ(map.length, mapped->length());
    EXPECT_TRUE(HoldsPattern(*mapped, map.region.offset));
    const uint8_t* data = mapped->data();
    MEMORY_BASIC_INFORMATION info = {};
    ASSERT_EQ(sizeof(info), ::VirtualQuery(data, &info, sizeof(info)));
    EXPECT_EQ(map.region.offset % granularity,
              data - static_cast<uint8_t*>(info.AllocationBase));
    // A mapped object keeps its mapping, until it goes.
    EXPECT_FALSE(mapped->Initialize(file));
    EXPECT_EQ(data, mapped->data());
    mapped.reset();
    EXPECT_FALSE(IsMapped(data));
  }
  // Nothing holds the file open any more.
  EXPECT_TRUE(::DeleteFileW(file.value().c_str()));
}

TEST_F(MemoryMappedFileTest, FailuresLeaveTheObjectReusable) {
  const FilePath file = MakeFile(L"big", 200000);
  const FilePath empty = MakeFile(L"empty", 0);
  MemoryMappedFile mapped;
  const MemoryMappedFile::Region kBadRegions[] = {
      {199990, 11}, {300000, 10}, {-1, 10}, {65536, 0}, {10, -5},
  };
  for (const auto& region : kBadRegions) {
    EXPECT_FALSE(mapped.Initialize(file, region))
        << region.offset << " " << region.size;
  }
  // Each failed attempt closes its file again.
  EXPECT_TRUE(::DeleteFileW(file.value().c_str()));
  EXPECT_FALSE(mapped.Initialize(empty));
  EXPECT_TRUE(::DeleteFileW(empty.value().c_str()));
  EXPECT_FALSE(mapped.Initialize(dir_.path().Append(L"missing")));
  EXPECT_FALSE(mapped.IsValid());
  EXPECT_EQ(0u, mapped.length());
  const FilePath small = MakeFile(L"small", 3);
  ASSERT_TRUE(mapped.Initialize(small));
  EXPECT_TRUE(mapped.IsValid());
  EXPECT_TRUE(HoldsPattern(mapped, 0));
  EXPECT_EQ(3u, mapped.length());
}

TEST_F(MemoryMappedFileTest, AlignedBoundariesAndRegions) {
  // A region that crosses a boundary spans two granules.
  const int64_t granularity = SysInfo::VMAllocationGranularity();
  int64_t aligned_start = -1;
  int64_t aligned_size = -1;
  int32_t offset = -1;
  MemoryMappedFile::CalculateVMAlignedBoundaries(
      3 * granularity - 1, 2, &aligned_start, &aligned_size, &offset);
  EXPECT_EQ(2 * granularity, aligned_start);
  EXPECT_EQ(2 * granularity, aligned_size);
  EXPECT_EQ(granularity - 1, offset);
  EXPECT_TRUE(MemoryMappedFile::Region::kWholeFile ==
              (MemoryMappedFile::Region{0, 0}));
  EXPECT_TRUE(MemoryMappedFile::Region::kWholeFile !=
              (MemoryMappedFile::Region{0, 1}));
}

}  // namespace

}  // namespace base
