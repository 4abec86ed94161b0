#include "base/files/memory_mapped_file.h"

#include <windows.h>

#include <stdint.h>

#include <string>

#include "base/files/file_util.h"
#include "base/sys_info.h"
#include "gtest/gtest.h"

namespace base {

namespace {

// Byte |i| of every test file.
char PatternByte(size_t i) {
  return static_cast<char>((i * 7 + i / 251) & 0xFF);
}

// A temporary file of |size| pattern bytes, deleted at the end of the test.
class ScopedPatternFile {
 public:
  explicit ScopedPatternFile(size_t size) {
    EXPECT_TRUE(CreateTemporaryFile(&path_));
    std::string contents(size, '\0');
    for (size_t i = 0; i < size; ++i)
      contents[i] = PatternByte(i);
    EXPECT_EQ(static_cast<int>(size),
              WriteFile(path_, contents.data(), static_cast<int>(size)));
  }
  ~ScopedPatternFile() { DeleteFile(path_, false); }
  const FilePath& path() const { return path_; }

 private:
  FilePath path_;
};

bool HoldsPattern(const uint8_t* data, size_t start, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (data[i] != static_cast<uint8_t>(PatternByte(start + i)))
      return false;
  }
  return true;
}

bool IsMapped(const void* address) {
  MEMORY_BASIC_INFORMATION info = {};
  return ::VirtualQuery(address, &info, sizeof(info)) == sizeof(info) &&
         info.State == MEM_COMMIT && info.Type == MEM_MAPPED;
}

}  // namespace

TEST(MemoryMappedFileTest, MapsTheWholeFileOnce) {
  ScopedPatternFile file(100000);
  const uint8_t* data = nullptr;
  {
    MemoryMappedFile mapped;
    EXPECT_FALSE(mapped.IsValid());
    EXPECT_EQ(nullptr, mapped.data());
    EXPECT_EQ(0u, mapped.length());

    ASSERT_TRUE(mapped.Initialize(file.path()));
    ASSERT_TRUE(mapped.IsValid());
    ASSERT_EQ(100000u, mapped.length());
    EXPECT_TRUE(HoldsPattern(mapped.data(), 0, mapped.length()));
    data = mapped.data();

    // A mapped object keeps its mapping.
    ScopedPatternFile other(10);
    EXPECT_FALSE(mapped.Initialize(other.path()));
    EXPECT_EQ(data, mapped.data());
    EXPECT_EQ(100000u, mapped.length());
    EXPECT_TRUE(IsMapped(data));
  }
  EXPECT_FALSE(IsMapped(data));
  // Nothing holds the file open any more.
  EXPECT_TRUE(::DeleteFileW(file.path().value().c_str()));
}

TEST(MemoryMappedFileTest, FailuresLeaveTheObjectReusable) {
  MemoryMappedFile mapped;
  ScopedPatternFile empty(0);
  EXPECT_FALSE(mapped.Initialize(empty.path()));
  EXPECT_FALSE(mapped.IsValid());
  EXPECT_EQ(0u, mapped.length());
  // The failed attempt closed the file again.
  EXPECT_TRUE(::DeleteFileW(empty.path().value().c_str()));

  EXPECT_FALSE(mapped.Initialize(empty.path()));  // Gone now.
  EXPECT_FALSE(mapped.IsValid());

  ScopedPatternFile file(3);
  ASSERT_TRUE(mapped.Initialize(file.path()));
  EXPECT_EQ(3u, mapped.length());
  EXPECT_TRUE(HoldsPattern(mapped.data(), 0, 3));
}

TEST(MemoryMappedFileTest, AlignedBoundariesOfARegion) {
  const int64_t granularity =
      static_cast<int64_t>(SysInfo::VMAllocationGranularity());
  ASSERT_GT(granularity, 0);
  EXPECT_EQ(0, granularity & (granularity - 1)) << "not a power of two";

  int64_t aligned_start = -1;
  int64_t aligned_size = -1;
  int32_t offset = -1;
  MemoryMappedFile::CalculateVMAlignedBoundaries(
      granularity + 4464, 1000, &aligned_start, &aligned_size, &offset);
  EXPECT_EQ(granularity, aligned_start);
  EXPECT_EQ(4464, offset);
  EXPECT_EQ(granularity, aligned_size);

  // A region that crosses a boundary spans two granules.
  MemoryMappedFile::CalculateVMAlignedBoundaries(
      granularity - 1, 2, &aligned_start, &aligned_size, &offset);
  EXPECT_EQ(0, aligned_start);
  EXPECT_EQ(granularity - 1, offset);
  EXPECT_EQ(2 * granularity, aligned_size);

  MemoryMappedFile::CalculateVMAlignedBoundaries(
      2 * granularity, granularity, &aligned_start, &aligned_size, &offset);
  EXPECT_EQ(2 * granularity, aligned_start);
  EXPECT_EQ(0, offset);
  EXPECT_EQ(granularity, aligned_size);
}

TEST(MemoryMappedFileTest, MapsARegionInsideTheFile) {
  ScopedPatternFile file(200000);
  const size_t granularity = SysInfo::VMAllocationGranularity();
  const uint8_t* data = nullptr;
  {
    MemoryMappedFile mapped;
    ASSERT_TRUE(mapped.Initialize(file.path(), {70000, 1000}));
    ASSERT_EQ(1000u, mapped.length());
    EXPECT_TRUE(HoldsPattern(mapped.data(), 70000, 1000));
    data = mapped.data();
    // The view starts at the granule boundary below the region.
    MEMORY_BASIC_INFORMATION info = {};
    ASSERT_EQ(sizeof(info), ::VirtualQuery(data, &info, sizeof(info)));
    EXPECT_EQ(
        static_cast<size_t>(70000 % granularity),
        static_cast<size_t>(data - static_cast<uint8_t*>(info.AllocationBase)));
  }
  // The whole view is gone.
  EXPECT_FALSE(IsMapped(data));

  // A region that ends at the end of the file maps.
  MemoryMappedFile tail;
  ASSERT_TRUE(tail.Initialize(file.path(), {199990, 10}));
  EXPECT_TRUE(HoldsPattern(tail.data(), 199990, 10));
}

TEST(MemoryMappedFileTest, RegionsOutsideTheFileOrWithoutBytesFail) {
  ScopedPatternFile file(200000);
  const MemoryMappedFile::Region bad_regions[] = {
      {199990, 11}, {300000, 10}, {-1, 10}, {65536, 0}, {10, -5},
  };
  for (const auto& region : bad_regions) {
    MemoryMappedFile mapped;
    EXPECT_FALSE(mapped.Initialize(file.path(), region))
        << region.offset << " " << region.size;
    EXPECT_FALSE(mapped.IsValid());
    EXPECT_EQ(0u, mapped.length());
  }
  EXPECT_TRUE(MemoryMappedFile::Region::kWholeFile ==
              (MemoryMappedFile::Region{0, 0}));
  EXPECT_TRUE(MemoryMappedFile::Region::kWholeFile !=
              (MemoryMappedFile::Region{0, 1}));
  // Nothing holds the file open after the failures.
  EXPECT_TRUE(::DeleteFileW(file.path().value().c_str()));
}

}  // namespace base
