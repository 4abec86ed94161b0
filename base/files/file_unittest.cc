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

// The file position as the system keeps it.
int64_t GetPosition(const File& file) {
  LARGE_INTEGER zero = {};
  LARGE_INTEGER position;
  if (!::SetFilePointerEx(file.GetPlatformFile(), zero, &position,
                          FILE_CURRENT)) {
    return -1;
  }
  return position.QuadPart;
}

bool SetPosition(const File& file, int64_t position) {
  LARGE_INTEGER target;
  target.QuadPart = position;
  return ::SetFilePointerEx(file.GetPlatformFile(), target, nullptr,
                            FILE_BEGIN) != FALSE;
}

std::string ReadAll(File* file) {
  std::string contents(static_cast<size_t>(file->GetLength()), '\0');
  if (!contents.empty() &&
      file->Read(0, &contents[0], static_cast<int>(contents.size())) !=
          static_cast<int>(contents.size())) {
    return "(read failed)";
  }
  return contents;
}

class FileTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.IsValid()); }

  FilePath PathOf(const wchar_t* name) const {
    return temp_dir_.path().Append(name);
  }

  UniqueTestDir temp_dir_;
};

TEST_F(FileTest, MapsWindowsErrors) {
  const struct {
    DWORD os_error;
    File::Error expected;
  } kCases[] = {
      {ERROR_FILE_NOT_FOUND, File::FILE_ERROR_NOT_FOUND},
      {ERROR_PATH_NOT_FOUND, File::FILE_ERROR_NOT_FOUND},
      {ERROR_TOO_MANY_OPEN_FILES, File::FILE_ERROR_TOO_MANY_OPENED},
      {ERROR_ACCESS_DENIED, File::FILE_ERROR_ACCESS_DENIED},
      {ERROR_NOT_ENOUGH_MEMORY, File::FILE_ERROR_NO_MEMORY},
      {ERROR_OUTOFMEMORY, File::FILE_ERROR_NO_MEMORY},
      {ERROR_NOT_READY, File::FILE_ERROR_IO},
      {ERROR_SECTOR_NOT_FOUND, File::FILE_ERROR_IO},
      {ERROR_DEV_NOT_EXIST, File::FILE_ERROR_IO},
      {ERROR_IO_DEVICE, File::FILE_ERROR_IO},
      {ERROR_FILE_CORRUPT, File::FILE_ERROR_IO},
      {ERROR_DISK_CORRUPT, File::FILE_ERROR_IO},
      {ERROR_SHARING_VIOLATION, File::FILE_ERROR_IN_USE},
      {ERROR_HANDLE_DISK_FULL, File::FILE_ERROR_NO_SPACE},
      {ERROR_DISK_FULL, File::FILE_ERROR_NO_SPACE},
      {314, File::FILE_ERROR_NO_SPACE},  // Disk resources exhausted.
      {ERROR_FILE_EXISTS, File::FILE_ERROR_EXISTS},
      {ERROR_USER_MAPPED_FILE, File::FILE_ERROR_INVALID_OPERATION},
      // Outside the table.
      {ERROR_INVALID_PARAMETER, File::FILE_ERROR_FAILED},
      {ERROR_ALREADY_EXISTS, File::FILE_ERROR_FAILED},
      {ERROR_LOCK_VIOLATION, File::FILE_ERROR_FAILED},
      {ERROR_SUCCESS, File::FILE_ERROR_FAILED},
      {0xFFFFFFFF, File::FILE_ERROR_FAILED},
  };
  for (const auto& test_case : kCases) {
    EXPECT_EQ(test_case.expected, File::OSErrorToFileError(test_case.os_error))
        << "Windows error " << test_case.os_error;
  }
}

TEST_F(FileTest, DefaultFileIsInvalidAndFails) {
  File file;
  EXPECT_FALSE(file.IsValid());
  EXPECT_EQ(File::FILE_ERROR_FAILED, file.error_details());
  EXPECT_FALSE(file.created());
  EXPECT_FALSE(file.async());
  char buffer[4];
  EXPECT_EQ(-1, file.Read(0, buffer, sizeof(buffer)));
  EXPECT_EQ(-1, file.Write(0, "abcd", 4));
  EXPECT_EQ(-1, file.GetLength());
  EXPECT_FALSE(file.SetLength(1));
  EXPECT_FALSE(file.Flush());
  file.Close();
  EXPECT_FALSE(file.IsValid());
}

TEST_F(FileTest, RefusesParentReferencesBeforeOpening) {
  ASSERT_TRUE(CreateDirectory(PathOf(L"sub")));
  const FilePath kRefused[] = {
      temp_dir_.path().Append(L"sub\\..\\new.txt"),
      temp_dir_.path().Append(L"sub\\ ..\\new.txt"),
      temp_dir_.path().Append(L"sub/../new.txt"),
  };
  for (const FilePath& path : kRefused) {
    File file(path, File::FLAG_CREATE_ALWAYS | File::FLAG_WRITE);
    EXPECT_FALSE(file.IsValid()) << path.AsUTF8();
    EXPECT_EQ(File::FILE_ERROR_ACCESS_DENIED, file.error_details());
  }
  // Nothing reached the disk.
  EXPECT_FALSE(PathExists(PathOf(L"new.txt")));
  // Dots inside a name are not a parent reference.
  File dotted(PathOf(L"a..b"), File::FLAG_CREATE | File::FLAG_WRITE);
  EXPECT_TRUE(dotted.IsValid());
}

TEST_F(FileTest, NoDispositionIsAnInvalidOperation) {
  const FilePath path = PathOf(L"file.txt");
  ASSERT_EQ(3, WriteFile(path, "abc", 3));
  File file(path, File::FLAG_READ | File::FLAG_WRITE);
  EXPECT_FALSE(file.IsValid());
  EXPECT_EQ(File::FILE_ERROR_INVALID_OPERATION, file.error_details());

  // A file that was valid before loses its old handle and reports why.
  File reopened(path, File::FLAG_OPEN | File::FLAG_READ);
  ASSERT_TRUE(reopened.IsValid());
  reopened.Initialize(path, File::FLAG_READ);
  EXPECT_FALSE(reopened.IsValid());
  EXPECT_EQ(File::FILE_ERROR_INVALID_OPERATION, reopened.error_details());
  // The old handle is gone: nothing keeps the file from being deleted.
  EXPECT_TRUE(::DeleteFileW(path.value().c_str()));
}

TEST_F(FileTest, DispositionsAndCreatedFlag) {
  const FilePath path = PathOf(L"file.txt");

  File missing(path, File::FLAG_OPEN | File::FLAG_READ);
  EXPECT_FALSE(missing.IsValid());
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, missing.error_details());

  File in_missing_dir(PathOf(L"no\\such\\file.txt"),
                      File::FLAG_CREATE_ALWAYS | File::FLAG_WRITE);
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, in_missing_dir.error_details());

  File truncated_missing(path, File::FLAG_OPEN_TRUNCATED | File::FLAG_WRITE);
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, truncated_missing.error_details());

  {
    File created(path, File::FLAG_OPEN_ALWAYS | File::FLAG_WRITE);
    ASSERT_TRUE(created.IsValid());
    EXPECT_EQ(File::FILE_OK, created.error_details());
    EXPECT_TRUE(created.created());
    EXPECT_EQ(5, created.Write(0, "12345", 5));
  }
  {
    File opened(path, File::FLAG_OPEN_ALWAYS | File::FLAG_READ);
    ASSERT_TRUE(opened.IsValid());
    EXPECT_FALSE(opened.created());
    EXPECT_EQ(5, opened.GetLength());
  }
  {
    File exists(path, File::FLAG_CREATE | File::FLAG_WRITE);
    EXPECT_FALSE(exists.IsValid());
    EXPECT_EQ(File::FILE_ERROR_EXISTS, exists.error_details());
  }
  {
    File opened(path, File::FLAG_OPEN | File::FLAG_READ);
    ASSERT_TRUE(opened.IsValid());
    EXPECT_FALSE(opened.created());
  }
  {
    // Replacing an existing file still counts as creating it.
    File replaced(path, File::FLAG_CREATE_ALWAYS | File::FLAG_WRITE);
    ASSERT_TRUE(replaced.IsValid());
    EXPECT_TRUE(replaced.created());
    EXPECT_EQ(0, replaced.GetLength());
    EXPECT_EQ(3, replaced.Write(0, "abc", 3));
  }
  {
    File truncated(path, File::FLAG_OPEN_TRUNCATED | File::FLAG_WRITE);
    ASSERT_TRUE(truncated.IsValid());
    EXPECT_FALSE(truncated.created());
    EXPECT_EQ(0, truncated.GetLength());
  }
  {
    File created_new(PathOf(L"new.txt"), File::FLAG_CREATE | File::FLAG_WRITE);
    ASSERT_TRUE(created_new.IsValid());
    EXPECT_TRUE(created_new.created());
  }
}

TEST_F(FileTest, HighestDispositionFlagWins) {
  const FilePath path = PathOf(L"file.txt");
  ASSERT_EQ(3, WriteFile(path, "abc", 3));
  // CREATE over OPEN: the existing file makes it fail.
  File create_over_open(path,
                        File::FLAG_OPEN | File::FLAG_CREATE | File::FLAG_READ);
  EXPECT_EQ(File::FILE_ERROR_EXISTS, create_over_open.error_details());
  // OPEN_TRUNCATED over CREATE_ALWAYS: a missing file is not created.
  const FilePath missing = PathOf(L"missing.txt");
  File truncated_over_create(missing, File::FLAG_CREATE_ALWAYS |
                                          File::FLAG_OPEN_TRUNCATED |
                                          File::FLAG_WRITE);
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, truncated_over_create.error_details());
  EXPECT_FALSE(PathExists(missing));
  // CREATE_ALWAYS over OPEN_ALWAYS: the existing file is emptied.
  File always(path, File::FLAG_OPEN_ALWAYS | File::FLAG_CREATE_ALWAYS |
                        File::FLAG_WRITE);
  ASSERT_TRUE(always.IsValid());
  EXPECT_EQ(0, always.GetLength());
}

TEST_F(FileTest, PositionalReadsAndWrites) {
  File file(PathOf(L"file.bin"),
            File::FLAG_CREATE | File::FLAG_READ | File::FLAG_WRITE);
  ASSERT_TRUE(file.IsValid());

  EXPECT_EQ(4, file.Write(6, "WXYZ", 4));
  EXPECT_EQ(10, file.GetLength());
  // The file position does not decide where positional I/O goes.
  ASSERT_TRUE(SetPosition(file, 8));
  EXPECT_EQ(3, file.Write(0, "abc", 3));
  ASSERT_TRUE(SetPosition(file, 2));
  EXPECT_EQ(std::string("abc\0\0\0WXYZ", 10), ReadAll(&file));

  char buffer[8] = {};
  EXPECT_EQ(2, file.Read(8, buffer, sizeof(buffer)));
  EXPECT_EQ("YZ", std::string(buffer, 2));
  // At and past the end of the file a read gives 0, not a failure.
  EXPECT_EQ(0, file.Read(10, buffer, sizeof(buffer)));
  EXPECT_EQ(0, file.Read(1000, buffer, sizeof(buffer)));
  EXPECT_EQ(0, file.Read(0, buffer, 0));

  // Offsets beyond 4 GiB are carried in full.
  const int64_t kFar = (int64_t{1} << 32) + 5;
  EXPECT_EQ(2, file.Write(kFar, "hi", 2));
  EXPECT_EQ(kFar + 2, file.GetLength());
  EXPECT_EQ(2, file.Read(kFar, buffer, 2));
  EXPECT_EQ("hi", std::string(buffer, 2));
  EXPECT_EQ(1, file.Read(5, buffer, 1));
  EXPECT_EQ('\0', buffer[0]);
}

TEST_F(FileTest, NegativeSizesFailWithoutTouchingTheBuffer) {
  File file(PathOf(L"file.bin"),
            File::FLAG_CREATE | File::FLAG_READ | File::FLAG_WRITE);
  ASSERT_TRUE(file.IsValid());
  ASSERT_EQ(3, file.Write(0, "abc", 3));
  // An address that faults when touched: the calls must not use it.
  char* const kBadBuffer = reinterpret_cast<char*>(16);
  EXPECT_EQ(-1, file.Read(0, kBadBuffer, -1));
  EXPECT_EQ(-1, file.Write(0, kBadBuffer, -1));
  EXPECT_EQ(-1, file.Write(0, kBadBuffer, -2147483647 - 1));
  EXPECT_EQ(3, file.GetLength());
}

TEST_F(FileTest, SetLengthKeepsThePosition) {
  File file(PathOf(L"file.bin"),
            File::FLAG_CREATE | File::FLAG_READ | File::FLAG_WRITE);
  ASSERT_TRUE(file.IsValid());
  ASSERT_EQ(10, file.Write(0, "0123456789", 10));
  ASSERT_TRUE(SetPosition(file, 7));

  EXPECT_TRUE(file.SetLength(4));
  EXPECT_EQ(4, file.GetLength());
  EXPECT_EQ(7, GetPosition(file));
  EXPECT_EQ("0123", ReadAll(&file));

  ASSERT_TRUE(SetPosition(file, 7));
  EXPECT_TRUE(file.SetLength(6));
  EXPECT_EQ(6, file.GetLength());
  EXPECT_EQ(7, GetPosition(file));
  EXPECT_EQ(std::string("0123\0\0", 6), ReadAll(&file));

  EXPECT_TRUE(file.SetLength(0));
  EXPECT_EQ(0, file.GetLength());
  EXPECT_FALSE(file.SetLength(-1));
  EXPECT_EQ(0, file.GetLength());
}

TEST_F(FileTest, AccessAndSharingFlags) {
  const FilePath path = PathOf(L"file.txt");
  ASSERT_EQ(3, WriteFile(path, "abc", 3));
  {
    File read_only(path, File::FLAG_OPEN | File::FLAG_READ);
    ASSERT_TRUE(read_only.IsValid());
    EXPECT_EQ(-1, read_only.Write(0, "x", 1));
    // Others may read and write beside it, but not delete.
    File writer(path, File::FLAG_OPEN | File::FLAG_WRITE);
    EXPECT_TRUE(writer.IsValid());
    EXPECT_FALSE(::DeleteFileW(path.value().c_str()));
  }
  {
    File exclusive(
        path, File::FLAG_OPEN | File::FLAG_READ | File::FLAG_EXCLUSIVE_READ);
    ASSERT_TRUE(exclusive.IsValid());
    File second(path, File::FLAG_OPEN | File::FLAG_READ);
    EXPECT_FALSE(second.IsValid());
    EXPECT_EQ(File::FILE_ERROR_IN_USE, second.error_details());
    File writer(path, File::FLAG_OPEN | File::FLAG_WRITE);
    EXPECT_TRUE(writer.IsValid());
  }
  {
    File exclusive(
        path, File::FLAG_OPEN | File::FLAG_READ | File::FLAG_EXCLUSIVE_WRITE);
    ASSERT_TRUE(exclusive.IsValid());
    File writer(path, File::FLAG_OPEN | File::FLAG_WRITE);
    EXPECT_EQ(File::FILE_ERROR_IN_USE, writer.error_details());
    File reader(path, File::FLAG_OPEN | File::FLAG_READ);
    EXPECT_TRUE(reader.IsValid());
  }
  {
    File appender(path, File::FLAG_OPEN | File::FLAG_APPEND);
    ASSERT_TRUE(appender.IsValid());
    // Append access cannot write in place: the bytes go to the end.
    EXPECT_EQ(2, appender.Write(0, "de", 2));
  }
  std::string contents;
  ASSERT_TRUE(ReadFileToString(path, &contents));
  EXPECT_EQ("abcde", contents);
  {
    File deletable(path,
                   File::FLAG_OPEN | File::FLAG_READ | File::FLAG_SHARE_DELETE);
    ASSERT_TRUE(deletable.IsValid());
    EXPECT_TRUE(::DeleteFileW(path.value().c_str()));
  }
  EXPECT_FALSE(PathExists(path));
}

TEST_F(FileTest, RunningExecutableIsInUse) {
  wchar_t exe_name[MAX_PATH];
  ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, exe_name, MAX_PATH));
  File running(FilePath(exe_name), File::FLAG_OPEN | File::FLAG_WRITE);
  EXPECT_FALSE(running.IsValid());
  EXPECT_EQ(File::FILE_ERROR_IN_USE, running.error_details());
}

TEST_F(FileTest, AttributeAndLifetimeFlags) {
  const FilePath path = PathOf(L"temp.bin");
  {
    File file(path, File::FLAG_CREATE_ALWAYS | File::FLAG_WRITE |
                        File::FLAG_TEMPORARY | File::FLAG_HIDDEN |
                        File::FLAG_DELETE_ON_CLOSE);
    ASSERT_TRUE(file.IsValid());
    const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(4, file.Write(0, "data", 4));
    EXPECT_TRUE(file.Flush());
  }
  EXPECT_FALSE(PathExists(path));

  File async(path, File::FLAG_CREATE | File::FLAG_WRITE | File::FLAG_ASYNC);
  ASSERT_TRUE(async.IsValid());
  EXPECT_TRUE(async.async());
  async.Close();
  EXPECT_FALSE(async.IsValid());
  EXPECT_EQ(nullptr, async.GetPlatformFile());

  // Directories open only with backup semantics.
  File directory(temp_dir_.path(), File::FLAG_OPEN | File::FLAG_READ);
  EXPECT_FALSE(directory.IsValid());
  File with_backup(temp_dir_.path(), File::FLAG_OPEN | File::FLAG_READ |
                                         File::FLAG_BACKUP_SEMANTICS);
  EXPECT_TRUE(with_backup.IsValid());
}

// Records every call of the tracing hook.
class RecordingProvider : public FileTracing::Provider {
 public:
  bool FileTracingCategoryIsEnabled() const override { return enabled; }
  void FileTracingEnable(const void* id) override {
    events.push_back("enable");
    last_id = id;
  }
  void FileTracingDisable(const void* id) override {
    events.push_back(id == last_id ? "disable" : "disable of another id");
  }
  void FileTracingEventBegin(const char* name,
                             const void* id,
                             const FilePath& path,
                             int64_t size) override {
    events.push_back(std::string("begin ") + name + " " + path.AsUTF8() + " " +
                     std::to_string(size) +
                     (id == last_id ? "" : " (another id)"));
  }
  void FileTracingEventEnd(const char* name, const void* id) override {
    events.push_back(std::string("end ") + name +
                     (id == last_id ? "" : " (another id)"));
  }

  bool enabled = true;
  const void* last_id = nullptr;
  std::vector<std::string> events;
};

TEST_F(FileTest, ReportsOperationsToTheTracingProvider) {
  const FilePath path = PathOf(L"traced.bin");
  RecordingProvider provider;
  FileTracing::SetProvider(&provider);
  {
    File file(path, File::FLAG_CREATE | File::FLAG_READ | File::FLAG_WRITE);
    file.Write(0, "abc", 3);
    char buffer[2];
    file.Read(1, buffer, 2);
    file.GetLength();
    file.SetLength(7);
  }
  provider.enabled = false;
  {
    // Registered, but with the category off no operation is reported.
    File file(path, File::FLAG_OPEN | File::FLAG_READ);
    file.GetLength();
  }
  FileTracing::SetProvider(nullptr);
  {
    File file(path, File::FLAG_OPEN | File::FLAG_READ);
    file.GetLength();
  }
  const std::string traced = path.AsUTF8();
  const std::vector<std::string> expected = {
      "enable",
      "begin File::Initialize " + traced + " 0",
      "end File::Initialize",
      "begin File::Write " + traced + " 3",
      "end File::Write",
      "begin File::Read " + traced + " 2",
      "end File::Read",
      "begin File::GetLength " + traced + " 0",
      "end File::GetLength",
      "begin File::SetLength " + traced + " 7",
      "end File::SetLength",
      "begin File::Close " + traced + " 0",
      "end File::Close",
      "disable",
      "enable",
      "disable",
  };
  EXPECT_EQ(expected, provider.events);
}

}  // namespace

}  // namespace base
