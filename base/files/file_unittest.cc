#include "base/files/file.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_tracing.h"
#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "gtest/gtest.h"

namespace base {

namespace {

// Short names for the flags the tables use.
constexpr uint32_t kOpen = File::FLAG_OPEN;
constexpr uint32_t kCreate = File::FLAG_CREATE;
constexpr uint32_t kOpenAlways = File::FLAG_OPEN_ALWAYS;
constexpr uint32_t kCreateAlways = File::FLAG_CREATE_ALWAYS;
constexpr uint32_t kTruncated = File::FLAG_OPEN_TRUNCATED;
constexpr uint32_t kRead = File::FLAG_READ;
constexpr uint32_t kWrite = File::FLAG_WRITE;

// Moves the file position as the system keeps it; the new position.
int64_t SeekTo(const File& file, int64_t position, DWORD method) {
  LARGE_INTEGER target;
  target.QuadPart = position;
  LARGE_INTEGER now;
  if (!::SetFilePointerEx(file.GetPlatformFile(), target, &now, method))
    return -1;
  return now.QuadPart;
}

std::string ReadAll(File* file) {
  std::string contents(static_cast<size_t>(file->GetLength()), '\0');
  const int size = static_cast<int>(contents.size());
  return size == 0 || file->Read(0, &contents[0], size) == size
             ? contents
             : "(read failed)";
}

class FileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.IsValid());
    path_ = temp_dir_.path().Append(L"file");
  }

  UniqueTestDir temp_dir_;
  FilePath path_;
};

TEST_F(FileTest, DefaultFileIsInvalidAndFails) {
  File file;
  EXPECT_FALSE(file.IsValid() || file.created() || file.async());
  EXPECT_EQ(File::FILE_ERROR_FAILED, file.error_details());
  char buffer[4];
  EXPECT_EQ(-1, file.Read(0, buffer, sizeof(buffer)));
  EXPECT_EQ(-1, file.Write(0, "abcd", 4));
  EXPECT_EQ(-1, file.GetLength());
  EXPECT_FALSE(file.SetLength(1) || file.Flush());
  EXPECT_EQ(File::FILE_ERROR_IN_USE,
            File::OSErrorToFileError(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(File::FILE_ERROR_FAILED,
            File::OSErrorToFileError(ERROR_INVALID_PARAMETER));
}

// One row per open: "file" exists and holds "12345", "new" does not.
TEST_F(FileTest, OpensAndTheirFailures) {
  const struct {
    const wchar_t* name;
    uint32_t flags;
    File::Error error;
    bool created = false;
    int64_t length = -1;
  } kOpens[] = {
      // A parent reference is refused before anything reaches the disk.
      {L"sub\\..\\new", kCreateAlways, File::FILE_ERROR_ACCESS_DENIED},
      {L"file", 0, File::FILE_ERROR_INVALID_OPERATION},
      {L"new", kOpen, File::FILE_ERROR_NOT_FOUND},
      {L"no\\such\\new", kCreateAlways, File::FILE_ERROR_NOT_FOUND},
      {L"new", kTruncated, File::FILE_ERROR_NOT_FOUND},
      {L"file", kCreate, File::FILE_ERROR_EXISTS},
      // A folder opens only with backup semantics.
      {L"sub", kOpen, File::FILE_ERROR_ACCESS_DENIED},
      {L"sub", kOpen | File::FLAG_BACKUP_SEMANTICS, File::FILE_OK, false, 0},
      {L"new", kOpenAlways, File::FILE_OK, true, 0},
      {L"file", kOpenAlways, File::FILE_OK, false, 5},
      {L"file", kOpen, File::FILE_OK, false, 5},
      {L"new", kCreate, File::FILE_OK, true, 0},
      // Replacing an existing file still counts as creating it.
      {L"file", kCreateAlways, File::FILE_OK, true, 0},
      {L"file", kTruncated, File::FILE_OK, false, 0},
      // The highest disposition flag wins.
      {L"file", kOpen | kCreate, File::FILE_ERROR_EXISTS},
      {L"new", kCreateAlways | kTruncated, File::FILE_ERROR_NOT_FOUND},
      {L"file", kOpenAlways | kCreateAlways, File::FILE_OK, true, 0},
  };
  ASSERT_TRUE(CreateDirectory(temp_dir_.path().Append(L"sub")));
  for (const auto& open : kOpens) {
    ASSERT_EQ(5, WriteFile(path_, "12345", 5));
    ASSERT_TRUE(DeleteFile(temp_dir_.path().Append(L"new"), false));
    File file(temp_dir_.path().Append(open.name), open.flags | kRead | kWrite);
    SCOPED_TRACE(testing::Message() << open.name << " " << open.flags);
    EXPECT_EQ(open.error, file.error_details());
    EXPECT_EQ(open.error == File::FILE_OK, file.IsValid());
    EXPECT_EQ(open.created, file.created());
    EXPECT_EQ(open.length, file.GetLength());
  }
  EXPECT_FALSE(PathExists(temp_dir_.path().Append(L"no")));
  // A running program cannot be written.
  wchar_t exe[MAX_PATH];
  ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, exe, MAX_PATH));
  EXPECT_EQ(File::FILE_ERROR_IN_USE,
            File(FilePath(exe), kOpen | kWrite).error_details());

  // A file that was valid before loses its old handle and reports why.
  File reopened(path_, kOpen | kRead);
  reopened.Initialize(path_, kRead);
  EXPECT_FALSE(reopened.IsValid());
  EXPECT_EQ(File::FILE_ERROR_INVALID_OPERATION, reopened.error_details());
  EXPECT_TRUE(::DeleteFileW(path_.value().c_str()));
}

TEST_F(FileTest, PositionalReadsWritesAndLength) {
  File file(path_, kCreate | kRead | kWrite);
  ASSERT_TRUE(file.IsValid());
  EXPECT_EQ(4, file.Write(6, "WXYZ", 4));
  // The file position does not decide where positional I/O goes.
  ASSERT_EQ(8, SeekTo(file, 8, FILE_BEGIN));
  EXPECT_EQ(3, file.Write(0, "abc", 3));
  EXPECT_EQ(std::string("abc\0\0\0WXYZ", 10), ReadAll(&file));
  char buffer[8] = {};
  EXPECT_EQ(2, file.Read(8, buffer, sizeof(buffer)));
  EXPECT_EQ("YZ", std::string(buffer, 2));
  // At and past the end of the file a read gives 0, not a failure.
  EXPECT_EQ(0, file.Read(10, buffer, sizeof(buffer)));
  EXPECT_EQ(0, file.Read(1000, buffer, sizeof(buffer)));
  EXPECT_EQ(0, file.Read(0, buffer, 0));
  // An address that faults when touched: negative sizes must not use it.
  char* const kBadBuffer = reinterpret_cast<char*>(16);
  EXPECT_EQ(-1, file.Read(0, kBadBuffer, -1));
  EXPECT_EQ(-1, file.Write(0, kBadBuffer, -2147483647 - 1));

  // A new length keeps the position, even beyond the end.
  ASSERT_EQ(7, SeekTo(file, 7, FILE_BEGIN));
  EXPECT_TRUE(file.SetLength(4));
  EXPECT_EQ(7, SeekTo(file, 0, FILE_CURRENT));
  EXPECT_TRUE(file.SetLength(6));
  EXPECT_EQ(std::string("abc\0\0\0", 6), ReadAll(&file));
  EXPECT_FALSE(file.SetLength(-1));
  EXPECT_EQ(6, file.GetLength());

  // Offsets beyond 4 GiB are carried in full.
  const int64_t kFar = (int64_t{1} << 32) + 5;
  EXPECT_EQ(2, file.Write(kFar, "hi", 2));
  EXPECT_EQ(kFar + 2, file.GetLength());
  EXPECT_EQ(2, file.Read(kFar, buffer, 2));
  EXPECT_EQ("hi", std::string(buffer, 2));
  EXPECT_EQ(1, file.Read(5, buffer, 1));
  EXPECT_EQ('\0', buffer[0]);
}

TEST_F(FileTest, AccessAndSharingFlags) {
  ASSERT_EQ(3, WriteFile(path_, "abc", 3));
  {
    File reader(path_, kOpen | kRead);
    EXPECT_EQ(-1, reader.Write(0, "x", 1));
    // Append access cannot write in place: the bytes go to the end.
    File appender(path_, kOpen | File::FLAG_APPEND);
    EXPECT_EQ(2, appender.Write(0, "de", 2));
    EXPECT_EQ("abcde", ReadAll(&reader));
    // Others may read and write beside, but not delete or read alone.
    EXPECT_FALSE(::DeleteFileW(path_.value().c_str()));
    EXPECT_EQ(
        File::FILE_ERROR_IN_USE,
        File(path_, kOpen | kRead | File::FLAG_EXCLUSIVE_READ).error_details());
  }
  File exclusive(path_, kOpen | kRead | File::FLAG_EXCLUSIVE_WRITE);
  EXPECT_EQ(File::FILE_ERROR_IN_USE,
            File(path_, kOpen | kWrite).error_details());
  EXPECT_TRUE(File(path_, kOpen | kRead).IsValid());
  exclusive.Close();
  File deletable(path_, kOpen | kRead | File::FLAG_SHARE_DELETE);
  EXPECT_TRUE(::DeleteFileW(path_.value().c_str()));
}

TEST_F(FileTest, AttributeAndLifetimeFlags) {
  {
    File file(path_, kCreateAlways | kWrite | File::FLAG_TEMPORARY |
                         File::FLAG_HIDDEN | File::FLAG_DELETE_ON_CLOSE);
    ASSERT_TRUE(file.IsValid());
    EXPECT_TRUE(::GetFileAttributesW(path_.value().c_str()) &
                FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(4, file.Write(0, "data", 4));
    EXPECT_TRUE(file.Flush());
  }
  EXPECT_FALSE(PathExists(path_));
  File async(path_, kCreate | kWrite | File::FLAG_ASYNC);
  EXPECT_TRUE(async.IsValid() && async.async());
  async.Close();
  EXPECT_EQ(nullptr, async.GetPlatformFile());
}

// Records every call of the tracing hook, "+" for the beginning of an
// operation and "-" for its end.
class RecordingProvider : public FileTracing::Provider {
 public:
  bool FileTracingCategoryIsEnabled() const override { return enabled; }
  void FileTracingEnable(const void* id) override {
    events += "enable;";
    last_id = id;
  }
  void FileTracingDisable(const void* id) override {
    events += id == last_id ? "disable;" : "disable of another id;";
  }
  void FileTracingEventBegin(const char* name,
                             const void* id,
                             const FilePath& path,
                             int64_t size) override {
    events += std::string("+") + name + "(" + path.BaseName().AsUTF8() + " " +
              std::to_string(size) + (id == last_id ? ");" : ", another id);");
  }
  void FileTracingEventEnd(const char* name, const void* id) override {
    events += std::string("-") + name + (id == last_id ? ";" : " of another;");
  }

  bool enabled = true;
  const void* last_id = nullptr;
  std::string events;
};

TEST_F(FileTest, ReportsOperationsToTheTracingProvider) {
  RecordingProvider provider;
  FileTracing::SetProvider(&provider);
  {
    File file(path_, kCreate | kRead | kWrite);
    file.Write(0, "abc", 3);
    char buffer[2];
    file.Read(1, buffer, 2);
    file.GetLength();
    file.SetLength(7);
  }
  // Registered, but with the category off no operation is reported.
  provider.enabled = false;
  File(path_, kOpen | kRead).GetLength();
  FileTracing::SetProvider(nullptr);
  File(path_, kOpen | kRead).GetLength();
  EXPECT_EQ(
      "enable;+File::Initialize(file 0);-File::Initialize;"
      "+File::Write(file 3);-File::Write;+File::Read(file 2);"
      "-File::Read;+File::GetLength(file 0);-File::GetLength;"
      "+File::SetLength(file 7);-File::SetLength;"
      "+File::Close(file 0);-File::Close;disable;enable;disable;",
      provider.events);
}

}  // namespace

}  // namespace base
