#include "base/files/file_util.h"

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/time/time.h"
#include "gtest/gtest.h"

namespace base {

namespace {

// The same path in the form that no MAX_PATH limit applies to, so that a
// test can build and inspect long paths without the code under test.
string16 LongForm(const FilePath& path) {
  return L"\\\\?\\" + path.value();
}

bool ExistsLongForm(const FilePath& path) {
  return ::GetFileAttributesW(LongForm(path).c_str()) !=
         INVALID_FILE_ATTRIBUTES;
}

bool WriteText(const FilePath& path, const std::string& text) {
  return WriteFile(path, text.data(), static_cast<int>(text.size())) ==
         static_cast<int>(text.size());
}

std::string ReadText(const FilePath& path) {
  std::string text;
  if (!ReadFileToString(path, &text))
    return "(unreadable)";
  return text;
}

bool IsReadOnly(const FilePath& path) {
  const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_READONLY);
}

bool MakeReadOnly(const FilePath& path) {
  const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         ::SetFileAttributesW(path.value().c_str(),
                              attributes | FILE_ATTRIBUTE_READONLY);
}

// Every path below |root|, relative to it, in any order.
std::set<string16> ListTree(const FilePath& root) {
  std::set<string16> entries;
  FileEnumerator enumerator(
      root, true, FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  for (FilePath path = enumerator.Next(); !path.empty();
       path = enumerator.Next()) {
    FilePath relative;
    if (root.AppendRelativePath(path, &relative))
      entries.insert(relative.value());
  }
  return entries;
}

class FileUtilTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.IsValid()); }

  FilePath PathOf(const wchar_t* name) const {
    return temp_dir_.path().Append(name);
  }

  // A path of exactly |length| units below the test folder whose folders
  // exist (made through the long form) and whose last component does not.
  FilePath MakeLongPath(size_t length) {
    FilePath path = temp_dir_.path();
    while (length - path.value().length() > 101) {
      path = path.Append(string16(100, L'd'));
      if (!::CreateDirectoryW(LongForm(path).c_str(), nullptr) &&
          ::GetLastError() != ERROR_ALREADY_EXISTS) {
        return FilePath();
      }
    }
    return path.Append(string16(length - path.value().length() - 1, L'f'));
  }

  UniqueTestDir temp_dir_;
};

TEST_F(FileUtilTest, ExistenceAndWritability) {
  const FilePath file = PathOf(L"file.txt");
  EXPECT_FALSE(PathExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_FALSE(PathIsWritable(file));
  ASSERT_TRUE(WriteText(file, "abc"));
  EXPECT_TRUE(PathExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(PathIsWritable(file));
  EXPECT_TRUE(DirectoryExists(temp_dir_.path()));
  EXPECT_TRUE(PathIsWritable(temp_dir_.path()));

  {
    // Writable means openable for writing beside users who share.
    File reader(file, File::FLAG_OPEN | File::FLAG_READ);
    ASSERT_TRUE(reader.IsValid());
    EXPECT_TRUE(PathIsWritable(file));
  }
  File locked(file,
              File::FLAG_OPEN | File::FLAG_READ | File::FLAG_EXCLUSIVE_WRITE);
  ASSERT_TRUE(locked.IsValid());
  EXPECT_FALSE(PathIsWritable(file));
  locked.Close();
  EXPECT_TRUE(PathIsWritable(file));
}

TEST_F(FileUtilTest, FileInfoAndSize) {
  const FilePath file = PathOf(L"file.bin");
  File::Info info;
  EXPECT_EQ(0, info.size);
  EXPECT_FALSE(info.is_directory);
  EXPECT_TRUE(info.last_modified.is_null());
  EXPECT_FALSE(GetFileInfo(file, &info));
  int64_t size = 42;
  EXPECT_FALSE(GetFileSize(file, &size));
  EXPECT_EQ(42, size);

  // A size above 4 GiB needs both halves.
  const int64_t kBigSize = (int64_t{5} << 30) + 3;
  {
    File writer(file, File::FLAG_CREATE | File::FLAG_WRITE);
    ASSERT_TRUE(writer.IsValid());
    ASSERT_TRUE(writer.SetLength(kBigSize));
    FILETIME written = {0x12345678, 0x01D00000};
    FILETIME accessed = {0x11111111, 0x01D10000};
    FILETIME created = {0x22222222, 0x01C00000};
    ASSERT_TRUE(
        ::SetFileTime(writer.GetPlatformFile(), &created, &accessed, &written));
  }
  ASSERT_TRUE(GetFileInfo(file, &info));
  EXPECT_EQ(kBigSize, info.size);
  EXPECT_FALSE(info.is_directory);
  EXPECT_FALSE(info.is_symbolic_link);
  EXPECT_EQ(Time::FromFileTime({0x12345678, 0x01D00000}), info.last_modified);
  EXPECT_EQ(Time::FromFileTime({0x11111111, 0x01D10000}), info.last_accessed);
  // Not every file system keeps a settable creation time.
  EXPECT_FALSE(info.creation_time.is_null());
  ASSERT_TRUE(GetFileSize(file, &size));
  EXPECT_EQ(kBigSize, size);

  ASSERT_TRUE(GetFileInfo(temp_dir_.path(), &info));
  EXPECT_TRUE(info.is_directory);
}

TEST_F(FileUtilTest, CurrentDirectoryAndAbsolutePaths) {
  FilePath original;
  ASSERT_TRUE(GetCurrentDirectory(&original));
  ASSERT_TRUE(SetCurrentDirectory(temp_dir_.path()));
  FilePath current;
  EXPECT_TRUE(GetCurrentDirectory(&current));
  // The system reports the folder with a trailing separator; it is dropped.
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(temp_dir_.path().value(),
                                           current.value()));
  const FilePath absolute = MakeAbsoluteFilePath(FilePath(L"a\\b\\..\\c"));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(
                   temp_dir_.path().Append(L"a\\c").value(), absolute.value()));
  EXPECT_FALSE(SetCurrentDirectory(PathOf(L"missing")));
  EXPECT_TRUE(SetCurrentDirectory(original));

  // The C runtime's limit is MAX_PATH units.
  EXPECT_TRUE(
      MakeAbsoluteFilePath(FilePath(L"C:\\" + string16(300, L'x'))).empty());

  FilePath root(L"C:\\");
  EXPECT_EQ(L"C:\\", MakeAbsoluteFilePath(root).value());
}

// Sets an environment variable for the life of the object.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const wchar_t* name, const string16& value)
      : name_(name) {
    wchar_t buffer[32768];
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, 32768);
    had_value_ = length > 0 && length < 32768;
    if (had_value_)
      old_value_.assign(buffer, length);
    ::SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnvironmentVariable() {
    ::SetEnvironmentVariableW(name_, had_value_ ? old_value_.c_str() : nullptr);
  }

 private:
  const wchar_t* name_;
  bool had_value_;
  string16 old_value_;
};

TEST_F(FileUtilTest, TempAndHomeDirectories) {
  FilePath temp_dir;
  ASSERT_TRUE(GetTempDir(&temp_dir));
  EXPECT_FALSE(temp_dir.empty());
  EXPECT_FALSE(FilePath::IsSeparator(temp_dir.value().back()));
  EXPECT_TRUE(DirectoryExists(temp_dir));

  {
    // 258 units and the separator the system adds: 259 fit.
    const string16 fits = L"C:\\" + string16(255, L't');
    ScopedEnvironmentVariable tmp(L"TMP", fits);
    ScopedEnvironmentVariable temp(L"TEMP", fits);
    ScopedEnvironmentVariable profile(L"USERPROFILE", fits);
    FilePath long_temp;
    ASSERT_TRUE(GetTempDir(&long_temp));
    EXPECT_EQ(fits, long_temp.value());
  }
  {
    const string16 too_long = L"C:\\" + string16(256, L't');
    ScopedEnvironmentVariable tmp(L"TMP", too_long);
    ScopedEnvironmentVariable temp(L"TEMP", too_long);
    ScopedEnvironmentVariable profile(L"USERPROFILE", too_long);
    FilePath long_temp(L"unchanged");
    EXPECT_FALSE(GetTempDir(&long_temp));
    EXPECT_EQ(L"unchanged", long_temp.value());
  }

  const FilePath home = GetHomeDir();
  EXPECT_TRUE(home.IsAbsolute());
  EXPECT_TRUE(DirectoryExists(home));
}

TEST_F(FileUtilTest, WholeFileReadsAndWrites) {
  const FilePath file = PathOf(L"file.bin");
  char buffer[16] = {};
  EXPECT_EQ(-1, ReadFile(file, buffer, sizeof(buffer)));
  EXPECT_FALSE(PathExists(file));

  EXPECT_EQ(6, WriteFile(file, "abcdef", 6));
  EXPECT_EQ(6, ReadFile(file, buffer, sizeof(buffer)));
  EXPECT_EQ("abcdef", std::string(buffer, 6));
  EXPECT_EQ(4, ReadFile(file, buffer, 4));
  EXPECT_EQ(0, ReadFile(file, buffer, 0));

  // A write replaces the whole file.
  EXPECT_EQ(2, WriteFile(file, "xy", 2));
  EXPECT_EQ("xy", ReadText(file));
  EXPECT_EQ(0, WriteFile(file, "", 0));
  EXPECT_EQ("", ReadText(file));

  // Negative sizes are refused before the buffer is touched.
  char* const kBadBuffer = reinterpret_cast<char*>(16);
  EXPECT_EQ(-1, ReadFile(file, kBadBuffer, -1));
  EXPECT_EQ(-1, WriteFile(file, kBadBuffer, -1));
  EXPECT_FALSE(AppendToFile(file, kBadBuffer, -1));

  // Appending needs an existing file and never creates one.
  const FilePath missing = PathOf(L"missing.txt");
  EXPECT_FALSE(AppendToFile(missing, "abc", 3));
  EXPECT_FALSE(PathExists(missing));
  EXPECT_TRUE(AppendToFile(file, "12", 2));
  EXPECT_TRUE(AppendToFile(file, "345", 3));
  EXPECT_EQ("12345", ReadText(file));

  {
    // Readers share reading and writing; writers and appenders share
    // nothing.
    File holder(file, File::FLAG_OPEN | File::FLAG_READ | File::FLAG_WRITE);
    ASSERT_TRUE(holder.IsValid());
    EXPECT_EQ(5, ReadFile(file, buffer, sizeof(buffer)));
    EXPECT_EQ(-1, WriteFile(file, "zz", 2));
    EXPECT_FALSE(AppendToFile(file, "zz", 2));
  }
  {
    File exclusive(
        file, File::FLAG_OPEN | File::FLAG_READ | File::FLAG_EXCLUSIVE_READ);
    ASSERT_TRUE(exclusive.IsValid());
    EXPECT_EQ(-1, ReadFile(file, buffer, sizeof(buffer)));
  }
  EXPECT_EQ("12345", ReadText(file));

  EXPECT_EQ(-1, WriteFile(PathOf(L"no\\such\\dir.txt"), "a", 1));
}

std::vector<std::string>* g_log_lines = nullptr;

bool CollectLogLine(int severity,
                    const char* /* file */,
                    int /* line */,
                    size_t message_start,
                    const std::string& str) {
  g_log_lines->push_back(IntToString(severity) + " " +
                         str.substr(message_start));
  return true;
}

TEST_F(FileUtilTest, AppendToFileLogsItsFailuresVerbosely) {
  std::vector<std::string> lines;
  g_log_lines = &lines;
  SetLogMessageHandler(&CollectLogLine);
  SetMinLogLevel(-1);
  const FilePath missing = PathOf(L"missing.txt");
  EXPECT_FALSE(AppendToFile(missing, "abc", 3));
  const FilePath file = PathOf(L"file.txt");
  ASSERT_TRUE(WriteText(file, "x"));
  EXPECT_TRUE(AppendToFile(file, "abc", 3));
  SetMinLogLevel(0);
  // Verbose lines are off again.
  EXPECT_FALSE(AppendToFile(missing, "abc", 3));
  SetLogMessageHandler(nullptr);
  g_log_lines = nullptr;

  // One line for the one failure while level 1 was on, with the system's
  // text of the error after the message.
  ASSERT_EQ(1u, lines.size());
  const std::string expected =
      "-1 CreateFile failed for path " + missing.AsUTF8() + ": ";
  EXPECT_EQ(expected, lines[0].substr(0, expected.size()));
  EXPECT_GT(lines[0].size(), expected.size() + 1);
}

TEST_F(FileUtilTest, ReadFileToStringLimits) {
  const FilePath file = PathOf(L"file.txt");
  ASSERT_TRUE(WriteText(file, "0123456789"));
  std::string contents = "old";
  EXPECT_TRUE(ReadFileToStringWithMaxSize(file, &contents, 10));
  EXPECT_EQ("0123456789", contents);
  EXPECT_FALSE(ReadFileToStringWithMaxSize(file, &contents, 9));
  EXPECT_EQ("012345678", contents);
  EXPECT_FALSE(ReadFileToStringWithMaxSize(file, &contents, 0));
  EXPECT_EQ("", contents);
  EXPECT_TRUE(ReadFileToStringWithMaxSize(file, nullptr, 10));
  EXPECT_FALSE(ReadFileToStringWithMaxSize(file, nullptr, 9));

  ASSERT_TRUE(CreateDirectory(PathOf(L"sub")));
  contents = "old";
  EXPECT_FALSE(ReadFileToString(temp_dir_.path().Append(L"sub\\..\\file.txt"),
                                &contents));
  EXPECT_EQ("", contents);
  contents = "old";
  EXPECT_FALSE(ReadFileToString(PathOf(L"missing.txt"), &contents));
  EXPECT_EQ("", contents);

  // Across the 64 KiB chunks of the reader.
  std::string big(65536 + 10, 'x');
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>('a' + i % 26);
  ASSERT_TRUE(WriteText(file, big));
  EXPECT_TRUE(ReadFileToString(file, &contents));
  EXPECT_EQ(big, contents);
  EXPECT_FALSE(ReadFileToStringWithMaxSize(file, &contents, 65536));
  EXPECT_EQ(big.substr(0, 65536), contents);
  EXPECT_FALSE(ReadFileToStringWithMaxSize(file, &contents, 65536 + 9));
  EXPECT_EQ(big.substr(0, 65536 + 9), contents);
  EXPECT_TRUE(ReadFileToStringWithMaxSize(file, &contents, 65536 + 10));
  EXPECT_EQ(big, contents);
}

TEST_F(FileUtilTest, OpenFileSharesEverything) {
  const FilePath file = PathOf(L"stream.txt");
  FILE* stream = OpenFile(file, "wb");
  ASSERT_NE(nullptr, stream);
  {
    // Others can read, write and delete beside the stream.
    File other(file, File::FLAG_OPEN | File::FLAG_READ | File::FLAG_WRITE);
    EXPECT_TRUE(other.IsValid());
  }
  EXPECT_EQ(3u, fwrite("abc", 1, 3, stream));
  EXPECT_EQ(0, fclose(stream));
  EXPECT_EQ("abc", ReadText(file));
  EXPECT_EQ(nullptr, OpenFile(PathOf(L"missing.txt"), "rb"));
}

TEST_F(FileUtilTest, CreateDirectoryAndGetError) {
  const FilePath nested = PathOf(L"a\\b\\c");
  File::Error error = File::FILE_OK;
  EXPECT_TRUE(CreateDirectoryAndGetError(nested, &error));
  EXPECT_EQ(File::FILE_OK, error);
  EXPECT_TRUE(DirectoryExists(nested));
  // An existing directory is success.
  EXPECT_TRUE(CreateDirectoryAndGetError(nested, &error));
  EXPECT_TRUE(CreateDirectory(PathOf(L"a\\b\\")));

  // A file on the way stops it with "not a directory".
  ASSERT_TRUE(WriteText(PathOf(L"file"), "x"));
  EXPECT_FALSE(CreateDirectoryAndGetError(PathOf(L"file\\x\\y"), &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_A_DIRECTORY, error);
  EXPECT_FALSE(CreateDirectoryAndGetError(PathOf(L"file"), nullptr));

  // A drive that does not exist ends at its root.
  error = File::FILE_OK;
  EXPECT_FALSE(CreateDirectoryAndGetError(FilePath(L"Q:\\x\\y"), &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, error);
}

TEST_F(FileUtilTest, CopyFile) {
  const FilePath from = PathOf(L"from.txt");
  const FilePath to = PathOf(L"to.txt");
  ASSERT_TRUE(WriteText(from, "new"));
  ASSERT_TRUE(WriteText(to, "old contents"));
  ASSERT_TRUE(MakeReadOnly(from));
  // Overwrites, and the copy of a read-only file is writable.
  EXPECT_TRUE(CopyFile(from, to));
  EXPECT_EQ("new", ReadText(to));
  EXPECT_FALSE(IsReadOnly(to));
  EXPECT_TRUE(IsReadOnly(from));

  EXPECT_FALSE(CopyFile(PathOf(L"missing"), PathOf(L"copy")));
  ASSERT_TRUE(CreateDirectory(PathOf(L"sub")));
  EXPECT_FALSE(
      CopyFile(temp_dir_.path().Append(L"sub\\..\\from.txt"), PathOf(L"copy")));
  EXPECT_FALSE(CopyFile(from, temp_dir_.path().Append(L"sub\\..\\copy")));
  EXPECT_FALSE(PathExists(PathOf(L"copy")));

  {
    File locked(from,
                File::FLAG_OPEN | File::FLAG_READ | File::FLAG_EXCLUSIVE_READ);
    ASSERT_TRUE(locked.IsValid());
    EXPECT_FALSE(CopyFile(from, PathOf(L"copy")));
  }

  // 259 units are fine; 260 are refused before the system sees them.
  const FilePath longest = MakeLongPath(259);
  ASSERT_FALSE(longest.empty());
  EXPECT_TRUE(CopyFile(from, longest));
  EXPECT_TRUE(ExistsLongForm(longest));
  const FilePath too_long = MakeLongPath(260);
  ASSERT_FALSE(too_long.empty());
  EXPECT_FALSE(CopyFile(from, too_long));
  EXPECT_FALSE(ExistsLongForm(too_long));
  ASSERT_TRUE(
      ::CopyFileW(from.value().c_str(), LongForm(too_long).c_str(), FALSE));
  EXPECT_FALSE(CopyFile(too_long, PathOf(L"copy")));
  EXPECT_FALSE(PathExists(PathOf(L"copy")));
}

class CopyDirectoryTest : public FileUtilTest {
 protected:
  void SetUp() override {
    FileUtilTest::SetUp();
    source_ = PathOf(L"Source");
    ASSERT_TRUE(CreateDirectory(source_.Append(L"sub\\deeper")));
    ASSERT_TRUE(CreateDirectory(source_.Append(L"empty")));
    ASSERT_TRUE(WriteText(source_.Append(L"top.txt"), "top"));
    ASSERT_TRUE(WriteText(source_.Append(L"sub\\mid.txt"), "mid"));
    ASSERT_TRUE(WriteText(source_.Append(L"sub\\deeper\\low.txt"), "low"));
    ASSERT_TRUE(MakeReadOnly(source_.Append(L"sub\\mid.txt")));
  }

  FilePath source_;
};

TEST_F(CopyDirectoryTest, RecursiveCopyToANewFolder) {
  const FilePath to = PathOf(L"copy");
  EXPECT_TRUE(CopyDirectory(source_, to, true));
  const std::set<string16> expected = {L"empty",        L"sub",
                                       L"sub\\deeper",  L"sub\\deeper\\low.txt",
                                       L"sub\\mid.txt", L"top.txt"};
  EXPECT_EQ(expected, ListTree(to));
  EXPECT_EQ("low", ReadText(to.Append(L"sub\\deeper\\low.txt")));
  EXPECT_FALSE(IsReadOnly(to.Append(L"sub\\mid.txt")));
  EXPECT_EQ(expected, ListTree(source_));
}

TEST_F(CopyDirectoryTest, RecursiveCopyIntoAnExistingFolder) {
  const FilePath to = PathOf(L"existing");
  ASSERT_TRUE(CreateDirectory(to));
  EXPECT_TRUE(CopyDirectory(source_, to, true));
  const std::set<string16> expected = {L"Source",
                                       L"Source\\empty",
                                       L"Source\\sub",
                                       L"Source\\sub\\deeper",
                                       L"Source\\sub\\deeper\\low.txt",
                                       L"Source\\sub\\mid.txt",
                                       L"Source\\top.txt"};
  EXPECT_EQ(expected, ListTree(to));
}

TEST_F(CopyDirectoryTest, NonRecursiveCopyTakesTopFilesOnly) {
  const FilePath to = PathOf(L"flat");
  EXPECT_TRUE(CopyDirectory(source_, to, false));
  EXPECT_EQ(std::set<string16>({L"top.txt"}), ListTree(to));

  // A single file is copied as a file.
  EXPECT_TRUE(
      CopyDirectory(source_.Append(L"top.txt"), PathOf(L"one.txt"), false));
  EXPECT_EQ("top", ReadText(PathOf(L"one.txt")));
  EXPECT_FALSE(CopyDirectory(PathOf(L"missing"), PathOf(L"x"), true));
  EXPECT_FALSE(PathExists(PathOf(L"x")));
}

TEST_F(CopyDirectoryTest, RefusesADestinationInsideTheSource) {
  const FilePath kInside[] = {
      source_,
      source_.Append(L"new"),
      source_.Append(L"sub"),
      PathOf(L"SOURCE\\sub\\new"),
      PathOf(L"source\\"),
      PathOf(L"source/sub"),
  };
  for (const FilePath& to : kInside) {
    EXPECT_FALSE(CopyDirectory(source_, to, true)) << to.AsUTF8();
    EXPECT_FALSE(CopyDirectory(PathOf(L"SOURCE\\"), to, true)) << to.AsUTF8();
  }
  EXPECT_FALSE(PathExists(source_.Append(L"new")));
  EXPECT_FALSE(PathExists(source_.Append(L"sub\\Source")));
  EXPECT_FALSE(PathExists(source_.Append(L"sub\\sub")));

  // A sibling whose name starts with the source's name is outside it.
  const FilePath sibling = PathOf(L"SourceCopy");
  EXPECT_TRUE(CopyDirectory(source_, sibling, true));
  EXPECT_EQ("top", ReadText(sibling.Append(L"top.txt")));
  ASSERT_TRUE(CreateDirectory(PathOf(L"sourcex")));
  EXPECT_TRUE(CopyDirectory(source_, PathOf(L"sourcex"), true));
  EXPECT_TRUE(PathExists(PathOf(L"sourcex\\Source\\top.txt")));
}

TEST_F(CopyDirectoryTest, StopsAtAFileInUse) {
  File locked(source_.Append(L"top.txt"),
              File::FLAG_OPEN | File::FLAG_READ | File::FLAG_EXCLUSIVE_READ);
  ASSERT_TRUE(locked.IsValid());
  const FilePath to = PathOf(L"copy");
  EXPECT_FALSE(CopyDirectory(source_, to, true));
  // The folder was made before the file failed; the rest never came.
  EXPECT_TRUE(DirectoryExists(to));
  EXPECT_FALSE(PathExists(to.Append(L"top.txt")));

  EXPECT_FALSE(CopyAndDeleteDirectory(source_, PathOf(L"moved")));
  EXPECT_TRUE(PathExists(source_.Append(L"top.txt")));
}

TEST_F(CopyDirectoryTest, RefusesLongPaths) {
  const FilePath too_long = MakeLongPath(260);
  ASSERT_FALSE(too_long.empty());
  EXPECT_FALSE(CopyDirectory(source_, too_long, true));
  EXPECT_FALSE(ExistsLongForm(too_long));
}

TEST_F(FileUtilTest, MoveFilesAndDirectories) {
  const FilePath from = PathOf(L"from.txt");
  const FilePath to = PathOf(L"to.txt");
  ASSERT_TRUE(WriteText(from, "new"));
  ASSERT_TRUE(WriteText(to, "old"));
  EXPECT_TRUE(Move(from, to));
  EXPECT_FALSE(PathExists(from));
  EXPECT_EQ("new", ReadText(to));

  // A failed move leaves the move's own error behind.
  ::SetLastError(0);
  EXPECT_FALSE(Move(PathOf(L"missing"), PathOf(L"elsewhere")));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());

  {
    File in_use(to, File::FLAG_OPEN | File::FLAG_READ);
    ASSERT_TRUE(in_use.IsValid());
    ::SetLastError(0);
    EXPECT_FALSE(Move(to, PathOf(L"moved.txt")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
    EXPECT_TRUE(PathExists(to));
  }

  // A directory onto an existing one falls back to copy and delete, which
  // puts the source inside the destination.
  const FilePath dir = PathOf(L"dir");
  const FilePath existing = PathOf(L"existing");
  ASSERT_TRUE(CreateDirectory(dir.Append(L"sub")));
  ASSERT_TRUE(WriteText(dir.Append(L"sub\\a.txt"), "a"));
  ASSERT_TRUE(MakeReadOnly(dir.Append(L"sub\\a.txt")));
  ASSERT_TRUE(CreateDirectory(existing));
  ASSERT_TRUE(WriteText(existing.Append(L"keep.txt"), "keep"));
  EXPECT_TRUE(Move(dir, existing));
  EXPECT_FALSE(PathExists(dir));
  EXPECT_EQ("a", ReadText(existing.Append(L"dir\\sub\\a.txt")));
  EXPECT_EQ("keep", ReadText(existing.Append(L"keep.txt")));

  const FilePath renamed = PathOf(L"renamed");
  EXPECT_TRUE(Move(existing, renamed));
  EXPECT_EQ("a", ReadText(renamed.Append(L"dir\\sub\\a.txt")));

  const FilePath too_long = MakeLongPath(260);
  ASSERT_FALSE(too_long.empty());
  EXPECT_FALSE(Move(to, too_long));
  EXPECT_TRUE(PathExists(to));
  EXPECT_FALSE(ExistsLongForm(too_long));

  ASSERT_TRUE(CreateDirectory(PathOf(L"sub")));
  EXPECT_FALSE(MoveChecked(to, temp_dir_.path().Append(L"sub\\..\\moved.txt")));
  EXPECT_FALSE(MoveChecked(temp_dir_.path().Append(L"sub\\..\\to.txt"),
                           PathOf(L"moved.txt")));
  EXPECT_TRUE(PathExists(to));
  EXPECT_TRUE(MoveChecked(to, PathOf(L"moved.txt")));
  EXPECT_EQ("new", ReadText(PathOf(L"moved.txt")));
}

TEST_F(FileUtilTest, ReplaceFile) {
  const FilePath from = PathOf(L"from.txt");
  const FilePath to = PathOf(L"to.txt");
  ASSERT_TRUE(WriteText(from, "first"));
  File::Error error = File::FILE_OK;
  EXPECT_TRUE(ReplaceFile(from, to, &error));
  EXPECT_EQ("first", ReadText(to));
  EXPECT_FALSE(PathExists(from));

  ASSERT_TRUE(WriteText(from, "second"));
  EXPECT_TRUE(ReplaceFile(from, to, &error));
  EXPECT_EQ("second", ReadText(to));
  EXPECT_FALSE(PathExists(from));
  EXPECT_EQ(File::FILE_OK, error);

  EXPECT_FALSE(ReplaceFile(PathOf(L"missing"), PathOf(L"missing2"), &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, error);
  EXPECT_FALSE(ReplaceFile(PathOf(L"missing"), to, nullptr));
  EXPECT_EQ("second", ReadText(to));
}

TEST_F(FileUtilTest, DeleteFilesAndDirectories) {
  EXPECT_TRUE(DeleteFile(FilePath(), false));
  EXPECT_TRUE(DeleteFile(PathOf(L"missing"), false));
  EXPECT_TRUE(DeleteFile(PathOf(L"missing\\deeper"), true));

  const FilePath file = PathOf(L"file.txt");
  ASSERT_TRUE(WriteText(file, "x"));
  ASSERT_TRUE(MakeReadOnly(file));
  EXPECT_TRUE(DeleteFile(file, false));
  EXPECT_FALSE(PathExists(file));

  const FilePath dir = PathOf(L"dir");
  ASSERT_TRUE(CreateDirectory(dir.Append(L"sub")));
  ASSERT_TRUE(WriteText(dir.Append(L"sub\\a.txt"), "a"));
  ASSERT_TRUE(MakeReadOnly(dir.Append(L"sub\\a.txt")));
  ASSERT_TRUE(MakeReadOnly(dir.Append(L"sub")));
  // Not recursive: only an empty folder goes.
  EXPECT_FALSE(DeleteFile(dir, false));
  EXPECT_TRUE(PathExists(dir.Append(L"sub\\a.txt")));
  EXPECT_TRUE(DeleteFile(dir, true));
  EXPECT_FALSE(PathExists(dir));
  ASSERT_TRUE(CreateDirectory(dir));
  EXPECT_TRUE(DeleteFile(dir, false));
  EXPECT_FALSE(PathExists(dir));
}

TEST_F(FileUtilTest, DeleteStopsAtAFileInUse) {
  const FilePath dir = PathOf(L"dir");
  ASSERT_TRUE(CreateDirectory(dir.Append(L"sub")));
  ASSERT_TRUE(WriteText(dir.Append(L"sub\\busy.txt"), "busy"));
  File busy(dir.Append(L"sub\\busy.txt"), File::FLAG_OPEN | File::FLAG_READ);
  ASSERT_TRUE(busy.IsValid());
  EXPECT_FALSE(DeleteFile(dir, true));
  EXPECT_TRUE(PathExists(dir.Append(L"sub\\busy.txt")));
  EXPECT_FALSE(DeleteFile(dir.Append(L"sub\\busy.txt"), false));
  busy.Close();
  EXPECT_TRUE(DeleteFile(dir, true));
  EXPECT_FALSE(PathExists(dir));
}

TEST_F(FileUtilTest, DeleteByPattern) {
  const FilePath dir = PathOf(L"dir");
  ASSERT_TRUE(CreateDirectory(dir.Append(L"keep")));
  ASSERT_TRUE(CreateDirectory(dir.Append(L"all.tmp")));
  ASSERT_TRUE(WriteText(dir.Append(L"a.tmp"), "a"));
  ASSERT_TRUE(WriteText(dir.Append(L"b.tmp"), "b"));
  ASSERT_TRUE(WriteText(dir.Append(L"c.txt"), "c"));
  ASSERT_TRUE(MakeReadOnly(dir.Append(L"b.tmp")));
  ASSERT_TRUE(WriteText(dir.Append(L"keep\\d.tmp"), "d"));
  ASSERT_TRUE(WriteText(dir.Append(L"all.tmp\\e.tmp"), "e"));

  // Not recursive: matching files go, folders stay.
  EXPECT_TRUE(DeleteFile(dir.Append(L"*.tmp"), false));
  EXPECT_EQ(std::set<string16>({L"all.tmp", L"all.tmp\\e.tmp", L"c.txt",
                                L"keep", L"keep\\d.tmp"}),
            ListTree(dir));

  // Recursive: a matching folder goes only when it holds nothing else
  // than entries that match too.
  EXPECT_FALSE(DeleteFile(dir.Append(L"?ll.tmp"), true));
  EXPECT_TRUE(PathExists(dir.Append(L"all.tmp\\e.tmp")));
  EXPECT_TRUE(DeleteFile(dir.Append(L"*.tmp"), true));
  EXPECT_EQ(std::set<string16>({L"c.txt", L"keep", L"keep\\d.tmp"}),
            ListTree(dir));

  // A matching folder that keeps other entries cannot be removed.
  ASSERT_TRUE(CreateDirectory(dir.Append(L"x.tmp")));
  ASSERT_TRUE(WriteText(dir.Append(L"x.tmp\\other.txt"), "o"));
  EXPECT_FALSE(DeleteFile(dir.Append(L"*.tmp"), true));
  EXPECT_TRUE(PathExists(dir.Append(L"x.tmp\\other.txt")));
  EXPECT_TRUE(DeleteFile(dir.Append(L"*.none"), true));
}

TEST_F(FileUtilTest, DeleteFailsWhenThePathCannotBeExamined) {
  // A name the system refuses is not "missing": nothing says it is gone.
  const FilePath invalid = PathOf(L"bad\x01name");
  ::SetLastError(0);
  const DWORD attributes = ::GetFileAttributesW(invalid.value().c_str());
  ASSERT_EQ(INVALID_FILE_ATTRIBUTES, attributes);
  const DWORD error = ::GetLastError();
  ASSERT_NE(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
  ASSERT_NE(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
  EXPECT_FALSE(DeleteFile(invalid, false));
}

TEST_F(FileUtilTest, DeleteRefusesLongPaths) {
  const FilePath too_long = MakeLongPath(260);
  ASSERT_FALSE(too_long.empty());
  ASSERT_TRUE(::CreateDirectoryW(LongForm(too_long).c_str(), nullptr));
  EXPECT_FALSE(DeleteFile(too_long, true));
  EXPECT_TRUE(ExistsLongForm(too_long));
  EXPECT_FALSE(DeleteFileAfterReboot(too_long));
  EXPECT_TRUE(::RemoveDirectoryW(LongForm(too_long).c_str()));
}

TEST_F(FileUtilTest, DeleteFileAfterRebootRecordsThePath) {
  const FilePath file = PathOf(L"later.txt");
  ASSERT_TRUE(WriteText(file, "x"));
  EXPECT_TRUE(DeleteFileAfterReboot(file));
  EXPECT_TRUE(PathExists(file));

  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS,
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            L"SYSTEM\\CurrentControlSet\\Control\\Session "
                            L"Manager",
                            0, KEY_QUERY_VALUE, &key));
  std::vector<wchar_t> value(65536);
  DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  const LONG result =
      ::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(value.data()), &size);
  ::RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, result);
  const string16 pending(value.data(), size / sizeof(wchar_t));
  EXPECT_NE(string16::npos, pending.find(file.BaseName().value()));
}

TEST_F(FileUtilTest, TemporaryFiles) {
  FilePath first;
  FilePath second;
  ASSERT_TRUE(CreateTemporaryFileInDir(temp_dir_.path(), &first));
  ASSERT_TRUE(CreateTemporaryFileInDir(temp_dir_.path(), &second));
  EXPECT_NE(first, second);
  EXPECT_EQ(temp_dir_.path(), first.DirName());
  int64_t size = -1;
  EXPECT_TRUE(GetFileSize(first, &size));
  EXPECT_EQ(0, size);

  FilePath untouched(L"untouched");
  EXPECT_FALSE(CreateTemporaryFileInDir(PathOf(L"missing"), &untouched));
  EXPECT_EQ(L"untouched", untouched.value());

  FilePath in_temp;
  ASSERT_TRUE(CreateTemporaryFile(&in_temp));
  FilePath temp_dir;
  ASSERT_TRUE(GetTempDir(&temp_dir));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(temp_dir.value(),
                                           in_temp.DirName().value()));
  EXPECT_TRUE(PathExists(in_temp));
  EXPECT_TRUE(DeleteFile(in_temp, false));
}

}  // namespace

}  // namespace base
