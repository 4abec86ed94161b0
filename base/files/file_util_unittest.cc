#include "base/files/file_util.h"

#include <malloc.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>

#include "base/files/file_enumerator.h"
#include "base/logging.h"
#include "base/test/folder_link.h"
#include "base/test/unique_test_dir.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {

namespace {

// The same path in the form that no MAX_PATH limit applies to, so that a
// test can build and inspect long paths without the code under test.
string16 LongForm(const FilePath& path) {
  return L"\\\\?\\" + path.value();
}

bool Write(const FilePath& path, const std::string& text) {
  return WriteFile(path, text.data(), static_cast<int>(text.size())) ==
         static_cast<int>(text.size());
}

std::string Read(const FilePath& path) {
  std::string text;
  return ReadFileToString(path, &text) ? text : "(unreadable)";
}

bool IsReadOnly(const FilePath& path) {
  return ::GetFileAttributesW(path.value().c_str()) & FILE_ATTRIBUTE_READONLY;
}

bool MakeReadOnly(const FilePath& path) {
  return ::SetFileAttributesW(path.value().c_str(), FILE_ATTRIBUTE_READONLY);
}

File Hold(const FilePath& path, uint32_t flags) {
  return File(path, File::FLAG_OPEN | File::FLAG_READ | flags);
}

// Every path below |root|, relative to it.
std::set<string16> Tree(const FilePath& root) {
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

  FilePath Path(const wchar_t* name) const {
    return temp_dir_.path().Append(name);
  }

  // A path of exactly |length| units below the test folder whose folders
  // exist (made through the long form) and whose last component does not.
  FilePath LongPath(size_t length) const {
    FilePath path = temp_dir_.path();
    while (length - path.value().length() > 101) {
      path = path.Append(string16(100, L'd'));
      ::CreateDirectoryW(LongForm(path).c_str(), nullptr);
    }
    return path.Append(string16(length - path.value().length() - 1, L'f'));
  }

  UniqueTestDir temp_dir_;
};

TEST_F(FileUtilTest, ExistenceInfoAndWritability) {
  const FilePath file = Path(L"file.bin");
  File::Info info;
  int64_t size = 42;
  EXPECT_FALSE(PathExists(file) || PathIsWritable(file) ||
               GetFileInfo(file, &info) || GetFileSize(file, &size));
  EXPECT_EQ(42, size);
  // A size above 4 GiB needs both halves.
  const int64_t kBigSize = (int64_t{5} << 30) + 3;
  const FILETIME written = {0x12345678, 0x01D00000};
  const FILETIME accessed = {0x11111111, 0x01D10000};
  {
    File writer(file, File::FLAG_CREATE | File::FLAG_WRITE);
    ASSERT_TRUE(writer.SetLength(kBigSize));
    ASSERT_TRUE(
        ::SetFileTime(writer.GetPlatformFile(), nullptr, &accessed, &written));
    // Writable means openable for writing beside users who share.
    EXPECT_TRUE(PathIsWritable(file));
  }
  ASSERT_TRUE(GetFileInfo(file, &info) && GetFileSize(file, &size));
  EXPECT_TRUE(kBigSize == info.size && kBigSize == size);
  EXPECT_FALSE(info.is_directory || DirectoryExists(file));
  EXPECT_EQ(Time::FromFileTime(written), info.last_modified);
  EXPECT_EQ(Time::FromFileTime(accessed), info.last_accessed);
  ASSERT_TRUE(GetFileInfo(temp_dir_.path(), &info));
  EXPECT_TRUE(info.is_directory && DirectoryExists(temp_dir_.path()) &&
              PathIsWritable(temp_dir_.path()));
  File locked = Hold(file, File::FLAG_EXCLUSIVE_WRITE);
  EXPECT_FALSE(PathIsWritable(file));
}

TEST_F(FileUtilTest, CurrentTempAndHomeDirectories) {
  FilePath original;
  FilePath current;
  ASSERT_TRUE(GetCurrentDirectory(&original));
  ASSERT_TRUE(SetCurrentDirectory(temp_dir_.path()));
  EXPECT_TRUE(GetCurrentDirectory(&current));
  const FilePath absolute = MakeAbsoluteFilePath(FilePath(L"a\\..\\c"));
  EXPECT_FALSE(SetCurrentDirectory(Path(L"missing")));
  EXPECT_TRUE(SetCurrentDirectory(original));
  // The system reports the folder with a trailing separator; it is dropped.
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(temp_dir_.path().value(),
                                           current.value()));
  EXPECT_EQ(0,
            FilePath::CompareIgnoreCase(Path(L"c").value(), absolute.value()));

  // The temporary folder comes from TMP: 258 units and the separator the
  // system adds fit in MAX_PATH, one more does not.
  wchar_t saved_tmp[MAX_PATH + 1];
  const DWORD saved_length =
      ::GetEnvironmentVariableW(L"TMP", saved_tmp, MAX_PATH + 1);
  for (size_t length : {255, 256}) {
    const string16 tmp = L"C:\\" + string16(length, L't');
    ::SetEnvironmentVariableW(L"TMP", tmp.c_str());
    FilePath temp_dir(L"unchanged");
    EXPECT_EQ(length == 255, GetTempDir(&temp_dir)) << length;
    EXPECT_EQ(length == 255 ? tmp : L"unchanged", temp_dir.value());
  }
  ::SetEnvironmentVariableW(L"TMP", saved_length ? saved_tmp : nullptr);
  EXPECT_TRUE(DirectoryExists(GetHomeDir()));
}

std::string* g_log = nullptr;

bool CollectLog(int level, const char*, int, size_t at, const std::string& s) {
  *g_log += std::to_string(level) + " " + s.substr(at);
  return true;
}

TEST_F(FileUtilTest, WholeFileReadsAndWrites) {
  const FilePath file = Path(L"file.bin");
  char buffer[16] = {};
  EXPECT_EQ(-1, ReadFile(file, buffer, sizeof(buffer)));
  EXPECT_EQ(6, WriteFile(file, "abcdef", 6));
  EXPECT_EQ(4, ReadFile(file, buffer, 4));
  EXPECT_EQ(0, ReadFile(file, buffer, 0));
  EXPECT_EQ(6, ReadFile(file, buffer, sizeof(buffer)));
  EXPECT_EQ("abcdef", std::string(buffer, 6));
  EXPECT_EQ(2, WriteFile(file, "xy", 2));
  // Negative sizes are refused before the buffer is touched.
  char* const kBadBuffer = reinterpret_cast<char*>(16);
  EXPECT_EQ(-1, ReadFile(file, kBadBuffer, -1));
  EXPECT_EQ(-1, WriteFile(file, kBadBuffer, -1));
  EXPECT_FALSE(AppendToFile(file, kBadBuffer, -1));
  EXPECT_TRUE(AppendToFile(file, "345", 3));
  {
    // Readers share reading and writing; writers and appenders share
    // nothing.
    File holder = Hold(file, File::FLAG_WRITE);
    EXPECT_EQ(5, ReadFile(file, buffer, sizeof(buffer)));
    EXPECT_EQ(-1, WriteFile(file, "zz", 2));
    EXPECT_FALSE(AppendToFile(file, "zz", 2));
  }
  EXPECT_EQ("xy345", Read(file));
  // A stream shares everything.
  FILE* stream = OpenFile(file, "rb");
  ASSERT_NE(nullptr, stream);
  EXPECT_TRUE(Hold(file, File::FLAG_WRITE).IsValid() && !fclose(stream));

  // Appending never creates a file, and says why at verbose level 1.
  std::string log;
  g_log = &log;
  SetLogMessageHandler(&CollectLog);
  SetMinLogLevel(-1);
  EXPECT_FALSE(AppendToFile(Path(L"missing"), "abc", 3));
  SetMinLogLevel(0);
  EXPECT_FALSE(AppendToFile(Path(L"missing"), "abc", 3));
  SetLogMessageHandler(nullptr);
  const std::string expected =
      "-1 CreateFile failed for path " + Path(L"missing").AsUTF8() + ": ";
  EXPECT_EQ(expected, log.substr(0, expected.size()));
  EXPECT_EQ(1, std::count(log.begin(), log.end(), '\n')) << log;
  EXPECT_GT(log.size(), expected.size() + 2) << "the system's error text";
  EXPECT_FALSE(PathExists(Path(L"missing")));
}

// Writes to an open handle go out in pieces; the bytes land as one write
// would put them, after what the handle's position already holds.
TEST_F(FileUtilTest, WriteToHandleWritesEveryPieceInOrder) {
  std::string data(3 * kWritePieceSize + 5, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7 + i / kWritePieceSize);
  const FilePath file = Path(L"pieces.bin");
  for (size_t size : {size_t{0}, size_t{1}, kWritePieceSize - 1,
                      kWritePieceSize, kWritePieceSize + 1, data.size()}) {
    SCOPED_TRACE(size);
    win::ScopedHandle handle(::CreateFileW(file.value().c_str(), GENERIC_WRITE,
                                           0, nullptr, CREATE_ALWAYS, 0,
                                           nullptr));
    ASSERT_TRUE(handle.IsValid());
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(handle.Get(), "ab", 2, &written, nullptr));
    EXPECT_TRUE(WriteToHandle(handle.Get(), data.data(), size));
    handle.Close();
    EXPECT_TRUE(Read(file) == "ab" + data.substr(0, size));
  }
  // A handle that may not write fails the first piece, with its reason.
  win::ScopedHandle reader(::CreateFileW(file.value().c_str(), GENERIC_READ,
                                         FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reader.IsValid());
  ::SetLastError(NO_ERROR);
  EXPECT_FALSE(WriteToHandle(reader.Get(), data.data(), data.size()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());
}

// A pipe that does not wait takes what its reader makes room for, often
// less than a piece and at times nothing: every byte still arrives, once
// and in order.
TEST_F(FileUtilTest, WriteToHandleGoesOnAfterShortWrites) {
  constexpr DWORD kPipeBuffer = 4096;
  std::string data(kWritePieceSize + kPipeBuffer + 5, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7 + i / 251);
  const string16 name = L"\\\\.\\pipe\\" + temp_dir_.path().BaseName().value();
  win::ScopedHandle server(::CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
      kPipeBuffer, kPipeBuffer, 0, nullptr));
  ASSERT_TRUE(server.IsValid());
  win::ScopedHandle client(
      ::CreateFileW(name.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0,
                    nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(client.IsValid());
  DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
  ASSERT_TRUE(::SetNamedPipeHandleState(client.Get(), &mode, nullptr, nullptr));
  std::string received;
  std::thread reader([&server, &received] {
    char chunk[kPipeBuffer / 4];
    DWORD read = 0;
    while (::ReadFile(server.Get(), chunk, sizeof(chunk), &read, nullptr))
      received.append(chunk, read);
  });
  EXPECT_TRUE(WriteToHandle(client.Get(), data.data(), data.size()));
  client.Close();
  reader.join();
  EXPECT_EQ(data.size(), received.size());
  EXPECT_TRUE(data == received);
}

TEST_F(FileUtilTest, ReadFileToStringLimits) {
  // Across the 64 KiB chunks of the reader.
  std::string big(65536 + 10, 'x');
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>('a' + i % 26);
  const FilePath file = Path(L"file.txt");
  ASSERT_TRUE(Write(file, big));
  std::string contents;
  for (size_t max_size : {size_t{0}, size_t{9}, size_t{65536}, big.size() - 1,
                          big.size(), size_t(-1)}) {
    const bool fits = max_size >= big.size();
    EXPECT_EQ(fits, ReadFileToStringWithMaxSize(file, &contents, max_size));
    EXPECT_EQ(big.substr(0, max_size), contents) << max_size;
    EXPECT_EQ(fits, ReadFileToStringWithMaxSize(file, nullptr, max_size));
  }
  // Every read closed the file again.
  EXPECT_TRUE(Write(file, "x"));
  for (const wchar_t* unreadable : {L"sub\\..\\file.txt", L"missing"}) {
    EXPECT_FALSE(ReadFileToString(Path(unreadable), &contents));
    EXPECT_EQ("", contents);
  }
}

TEST_F(FileUtilTest, CreateDirectoryAndGetError) {
  File::Error error = File::FILE_OK;
  EXPECT_TRUE(CreateDirectoryAndGetError(Path(L"a\\b\\c"), &error));
  EXPECT_TRUE(DirectoryExists(Path(L"a\\b\\c")));
  EXPECT_TRUE(CreateDirectory(Path(L"a\\b\\")));
  EXPECT_EQ(File::FILE_OK, error);
  // A file on the way stops it with "not a directory".
  ASSERT_TRUE(Write(Path(L"file"), "x"));
  EXPECT_FALSE(CreateDirectoryAndGetError(Path(L"file\\x\\y"), &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_A_DIRECTORY, error);
  EXPECT_FALSE(CreateDirectoryAndGetError(Path(L"file"), nullptr));
  // A drive that does not exist ends at its root.
  EXPECT_FALSE(CreateDirectoryAndGetError(FilePath(L"Q:\\x\\y"), &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, error);
}

// |call| with no more than 64 KiB of the thread's stack left to it, which a
// call per folder of a deep chain would overrun.
template <typename Call>
bool OnLittleStack(const Call& call) {
  MEMORY_BASIC_INFORMATION stack = {};
  if (!::VirtualQuery(&stack, &stack, sizeof(stack)))
    return false;
  const size_t free_below = reinterpret_cast<char*>(&stack) -
                            static_cast<char*>(stack.AllocationBase);
  // The guard pages at the bottom of the stack are not the call's to use.
  constexpr size_t kLeft = 64 * 1024 + 16 * 4096;
  if (free_below <= kLeft)
    return false;
  volatile char* const filler = static_cast<char*>(_alloca(free_below - kLeft));
  filler[0] = 0;
  return call();
}

bool CreateDirectoryOnLittleStack(const FilePath& path, File::Error* error) {
  return OnLittleStack(
      [&path, error] { return CreateDirectoryAndGetError(path, error); });
}

// A chain of folders is made from the top down, without a call per folder;
// one that the system refuses half way reports the refusal and keeps the
// folders made before it.
TEST_F(FileUtilTest, CreateDirectoryMakesDeepChains) {
  FilePath chain = Path(L"chain");
  for (int i = 0; i < 200; ++i)
    chain = chain.Append(L"a");
  File::Error error = File::FILE_OK;
  EXPECT_TRUE(CreateDirectoryAndGetError(chain, &error));
  EXPECT_EQ(File::FILE_OK, error);
  int made = 0;
  for (FilePath folder = Path(L"chain"); DirectoryExists(folder);
       folder = folder.Append(L"a")) {
    ++made;
  }
  EXPECT_EQ(201, made);
  // The test folder's removal stops at paths of MAX_PATH units or more.
  for (FilePath folder = chain; folder != temp_dir_.path();
       folder = folder.DirName()) {
    ::RemoveDirectoryW(LongForm(folder).c_str());
  }

  // Four thousand folders on a drive that does not exist: each is looked
  // at before the missing root ends the walk.
  FilePath deep(L"Q:");
  for (int i = 0; i < 4000; ++i)
    deep = deep.Append(L"a");
  EXPECT_FALSE(CreateDirectoryOnLittleStack(deep, &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, error);

  EXPECT_FALSE(
      CreateDirectoryAndGetError(Path(L"half\\way\\c<d\\e\\f"), &error));
  EXPECT_EQ(File::FILE_ERROR_FAILED, error);
  EXPECT_EQ(std::set<string16>{L"way"}, Tree(Path(L"half")));
}

// Paths through a parent reference and of 260 units or more are refused
// before the system sees them; nothing is made or removed.
TEST_F(FileUtilTest, RefusesParentReferencesAndLongPaths) {
  const FilePath file = Path(L"file.txt");
  const FilePath long_file = LongPath(260);
  const FilePath long_dir = LongPath(261);
  const FilePath long_new = LongPath(262);
  ASSERT_TRUE(Write(file, "x") && CreateDirectory(Path(L"sub")) &&
              Write(Path(L"sub\\f"), "x"));
  ASSERT_TRUE(
      ::CopyFileW(file.value().c_str(), LongForm(long_file).c_str(), FALSE));
  ASSERT_TRUE(::CreateDirectoryW(LongForm(long_dir).c_str(), nullptr));
  const FilePath via_parent = Path(L"sub\\..\\file.txt");
  const FilePath new_via_parent = Path(L"sub\\..\\new.txt");
  const FilePath fresh = Path(L"new.txt");
  using Operation = bool (*)(const FilePath&, const FilePath&);
  const Operation copy_directory = [](const FilePath& from,
                                      const FilePath& to) {
    return CopyDirectory(from, to, true);
  };
  const struct {
    Operation operation;
    FilePath from;
    FilePath to;
  } kRefused[] = {
      {&CopyFile, via_parent, fresh},
      {&CopyFile, file, new_via_parent},
      {&CopyFile, long_file, fresh},
      {&CopyFile, file, long_new},
      {&Move, long_file, fresh},
      {&Move, file, long_new},
      {&MoveChecked, via_parent, fresh},
      {&MoveChecked, file, new_via_parent},
      {copy_directory, long_dir, fresh},
      {copy_directory, Path(L"sub"), long_new},
  };
  for (const auto& refused : kRefused) {
    EXPECT_FALSE(refused.operation(refused.from, refused.to))
        << refused.from.AsUTF8() << " -> " << refused.to.AsUTF8();
  }
  EXPECT_FALSE(DeleteFile(long_dir, true) || DeleteFileAfterReboot(long_file));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES,
            ::GetFileAttributesW(LongForm(long_dir).c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
            ::GetFileAttributesW(LongForm(long_new).c_str()));
  EXPECT_TRUE(PathExists(file) && !PathExists(fresh));
  // 259 units are fine.
  EXPECT_TRUE(CopyFile(file, LongPath(259)));
}

// What the installer's transfers build on: a copy that never replaces, and
// the error that tells a taken name or a missing folder from other failures.
TEST_F(FileUtilTest, CopyWithoutReplacingLeavesWhatIsThere) {
  const FilePath source = Path(L"source");
  const FilePath taken = Path(L"taken");
  ASSERT_TRUE(Write(source, "new") && Write(taken, "old") &&
              MakeReadOnly(source));
  const struct {
    FilePath from;
    FilePath to;
    DWORD error;
  } kRefused[] = {
      {source, taken, ERROR_FILE_EXISTS},
      {source, source, ERROR_FILE_EXISTS},
      {source, Path(L"missing\\copy"), ERROR_PATH_NOT_FOUND},
      {Path(L"x\\..\\source"), Path(L"copy"), ERROR_BAD_PATHNAME},
  };
  for (const auto& refused : kRefused) {
    ::SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CopyFileWithoutReplacing(refused.from, refused.to))
        << refused.to.AsUTF8();
    EXPECT_EQ(refused.error, ::GetLastError()) << refused.to.AsUTF8();
  }
  EXPECT_EQ("old", Read(taken));
  const FilePath copy = Path(L"copy");
  ASSERT_TRUE(CopyFileWithoutReplacing(source, copy));
  EXPECT_EQ("new", Read(copy));
  EXPECT_FALSE(IsReadOnly(copy));
  EXPECT_TRUE(IsReadOnly(source));
}

class CopyDirectoryTest : public FileUtilTest {
 protected:
  void SetUp() override {
    FileUtilTest::SetUp();
    source_ = Path(L"Source");
    ASSERT_TRUE(CreateDirectory(source_.Append(L"sub\\deeper")));
    ASSERT_TRUE(CreateDirectory(source_.Append(L"empty")));
    ASSERT_TRUE(Write(source_.Append(L"top.txt"), "top"));
    ASSERT_TRUE(Write(source_.Append(L"sub\\deeper\\low.txt"), "low"));
    ASSERT_TRUE(MakeReadOnly(source_.Append(L"sub\\deeper\\low.txt")));
  }

  FilePath source_;
  const std::set<string16> tree_ = {L"empty", L"sub", L"sub\\deeper",
                                    L"sub\\deeper\\low.txt", L"top.txt"};
};

TEST_F(CopyDirectoryTest, CopiesToNewAndIntoExistingFolders) {
  const FilePath to = Path(L"copy");
  EXPECT_TRUE(CopyDirectory(source_, to, true));
  EXPECT_EQ(tree_, Tree(to));
  // The copy of a read-only file is writable, and replaces a file.
  EXPECT_FALSE(IsReadOnly(to.Append(L"sub\\deeper\\low.txt")));
  EXPECT_TRUE(
      CopyFile(source_.Append(L"sub\\deeper\\low.txt"), to.Append(L"top.txt")));
  EXPECT_EQ("low", Read(to.Append(L"top.txt")));
  // Into an existing folder the source folder is recreated.
  EXPECT_TRUE(CopyDirectory(source_, to, true));
  EXPECT_EQ(1u, Tree(to).count(L"Source\\sub\\deeper\\low.txt"));
  EXPECT_EQ(tree_.size() * 2 + 1, Tree(to).size());
  // Not recursive: the top files only; a file is copied as a file.
  EXPECT_TRUE(CopyDirectory(source_, Path(L"flat"), false));
  EXPECT_EQ(std::set<string16>({L"top.txt"}), Tree(Path(L"flat")));
  EXPECT_TRUE(CopyDirectory(source_.Append(L"top.txt"), Path(L"1"), false));
  EXPECT_EQ("top", Read(Path(L"1")));
  EXPECT_FALSE(CopyDirectory(Path(L"missing"), Path(L"x"), true));
  EXPECT_FALSE(CopyFile(Path(L"missing"), Path(L"x")));
  EXPECT_FALSE(PathExists(Path(L"x")));
  EXPECT_EQ(tree_, Tree(source_));
}

TEST_F(CopyDirectoryTest, RefusesTheSourceAndStopsAtAFileInUse) {
  for (const wchar_t* inside : {L"Source", L"Source\\new", L"SOURCE\\sub\\new",
                                L"source\\", L"source/sub"}) {
    EXPECT_FALSE(CopyDirectory(source_, Path(inside), true)) << inside;
    EXPECT_FALSE(CopyDirectory(Path(L"SOURCE\\"), Path(inside), true))
        << inside;
  }
  EXPECT_EQ(tree_, Tree(source_));
  // A folder whose name starts with the source's name is outside it.
  ASSERT_TRUE(CreateDirectory(Path(L"sourcex")));
  EXPECT_TRUE(CopyDirectory(source_, Path(L"sourcex"), true));
  EXPECT_EQ(1u, Tree(Path(L"sourcex")).count(L"Source\\top.txt"));

  File locked = Hold(source_.Append(L"top.txt"), File::FLAG_EXCLUSIVE_READ);
  EXPECT_FALSE(CopyDirectory(source_, Path(L"copy"), true));
  // The folder was made before the file failed.
  EXPECT_TRUE(DirectoryExists(Path(L"copy")));
  EXPECT_FALSE(PathExists(Path(L"copy\\top.txt")));
  EXPECT_FALSE(CopyAndDeleteDirectory(source_, Path(L"moved")));
  EXPECT_EQ(tree_, Tree(source_));
}

TEST_F(FileUtilTest, MoveAndReplace) {
  const FilePath from = Path(L"from.txt");
  const FilePath to = Path(L"to.txt");
  ASSERT_TRUE(Write(from, "new") && Write(to, "old"));
  EXPECT_TRUE(MoveChecked(from, to));
  EXPECT_EQ("new", Read(to));
  // A failed move leaves the move's own error behind.
  EXPECT_FALSE(Move(from, Path(L"elsewhere")));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
  {
    File in_use = Hold(to, 0);
    EXPECT_FALSE(Move(to, from));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
  }
  // A folder onto an existing one falls back to copy and delete, which puts
  // the source inside the destination.
  const FilePath dir = Path(L"dir");
  const FilePath existing = Path(L"existing");
  ASSERT_TRUE(CreateDirectory(dir) && CreateDirectory(existing));
  ASSERT_TRUE(Write(dir.Append(L"a.txt"), "a"));
  ASSERT_TRUE(MakeReadOnly(dir.Append(L"a.txt")));
  EXPECT_TRUE(Move(dir, existing));
  EXPECT_FALSE(PathExists(dir));

  File::Error error = File::FILE_OK;
  EXPECT_TRUE(ReplaceFile(to, from, &error));
  ASSERT_TRUE(Write(to, "newer"));
  EXPECT_TRUE(ReplaceFile(to, from, &error));
  EXPECT_EQ(File::FILE_OK, error);
  EXPECT_FALSE(ReplaceFile(to, from, &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, error);
  EXPECT_FALSE(ReplaceFile(from, existing, &error));
  EXPECT_EQ(File::FILE_ERROR_ACCESS_DENIED, error);
  EXPECT_FALSE(ReplaceFile(from, existing, nullptr));
  EXPECT_EQ("newer", Read(from));
  EXPECT_EQ("a", Read(existing.Append(L"dir\\a.txt")));
}

// A target that a reader holds on to is left whole, the new file beside
// it, even when the reader shares deletion, which would let an in-place
// replace move the target aside for a moment.
TEST_F(FileUtilTest, ReplaceLeavesATargetHeldOpenWhole) {
  const FilePath from = Path(L"from");
  const FilePath to = Path(L"to");
  ASSERT_TRUE(Write(from, "new") && Write(to, "old"));
  for (uint32_t sharing : {0u, uint32_t{File::FLAG_SHARE_DELETE}}) {
    File held = Hold(to, sharing);
    File::Error error = File::FILE_OK;
    EXPECT_FALSE(ReplaceFile(from, to, &error)) << sharing;
    EXPECT_EQ(File::FILE_ERROR_ACCESS_DENIED, error) << sharing;
    EXPECT_EQ("old", Read(to));
    EXPECT_EQ("new", Read(from));
  }
  EXPECT_EQ((std::set<string16>{L"from", L"to"}), Tree(temp_dir_.path()));
}

TEST_F(FileUtilTest, Delete) {
  EXPECT_TRUE(DeleteFile(FilePath(), false));
  EXPECT_TRUE(DeleteFile(Path(L"missing\\deeper"), true));
  // A name the system refuses is not "missing": nothing says it is gone.
  EXPECT_FALSE(DeleteFile(Path(L"bad\x01name"), false));
  const FilePath dir = Path(L"dir");
  const FilePath file = dir.Append(L"sub\\file.txt");
  ASSERT_TRUE(CreateDirectory(file.DirName()) && Write(file, "x"));
  {
    File in_use = Hold(file, 0);
    EXPECT_FALSE(DeleteFile(dir, true) || DeleteFile(file, false));
  }
  // Read-only entries go too; not recursive, only an empty folder goes.
  ASSERT_TRUE(MakeReadOnly(file) && MakeReadOnly(file.DirName()));
  EXPECT_FALSE(DeleteFile(dir, false));
  EXPECT_TRUE(DeleteFile(dir, true));
  ASSERT_TRUE(CreateDirectory(dir) && Write(file.DirName(), "x"));
  ASSERT_TRUE(MakeReadOnly(file.DirName()));
  EXPECT_TRUE(DeleteFile(file.DirName(), false));
  EXPECT_TRUE(DeleteFile(dir, false));
  EXPECT_FALSE(PathExists(dir));

  // A pattern, not recursive, takes matching files and leaves folders.
  ASSERT_TRUE(CreateDirectory(dir.Append(L"all.tmp")));
  for (const wchar_t* name : {L"a.tmp", L"b.tmp", L"c.txt", L"all.tmp\\e.tmp"})
    ASSERT_TRUE(Write(dir.Append(name), "x"));
  ASSERT_TRUE(MakeReadOnly(dir.Append(L"b.tmp")));
  EXPECT_TRUE(DeleteFile(dir.Append(L"*.tmp"), false));
  EXPECT_EQ(std::set<string16>({L"all.tmp", L"all.tmp\\e.tmp", L"c.txt"}),
            Tree(dir));
  // Recursive, a matching folder goes only when it holds nothing else than
  // entries that match too.
  EXPECT_FALSE(DeleteFile(dir.Append(L"?ll.tmp"), true));
  EXPECT_TRUE(DeleteFile(dir.Append(L"*.tmp"), true));
  EXPECT_EQ(std::set<string16>({L"c.txt"}), Tree(dir));
  // Deleting at the next start leaves the file until then.
  EXPECT_TRUE(DeleteFileAfterReboot(dir.Append(L"c.txt")));
  EXPECT_TRUE(PathExists(dir.Append(L"c.txt")));
}

// A path spelled with "/" for "\\" deletes as the same path would, also
// where the tree below it reaches past MAX_PATH.
TEST_F(FileUtilTest, DeletesPathsSpelledWithForwardSlashes) {
  const struct {
    const wchar_t* name;
    int depth;  // Of the folders below the path; -1: the path is a file.
  } kCases[] = {{L"file.txt", -1}, {L"short", 2}, {L"long", 20}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const FilePath root = Path(c.name);
    FilePath bottom = root;
    for (int level = 0; level <= c.depth; ++level) {
      ASSERT_TRUE(::CreateDirectoryW(LongForm(bottom).c_str(), nullptr));
      bottom = bottom.Append(string16(20, L'd'));
    }
    win::ScopedHandle made(::CreateFileW(LongForm(bottom).c_str(),
                                         GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         0, nullptr));
    ASSERT_TRUE(made.IsValid());
    made.Close();
    string16 slashed = root.value();
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    EXPECT_TRUE(DeleteFile(FilePath(slashed), true));
    EXPECT_FALSE(PathExists(root));
  }
}

class DeleteThroughLinksTest : public FileUtilTest {
 protected:
  void SetUp() override {
    FileUtilTest::SetUp();
    // What links point to: data that is not the deleted tree's.
    ASSERT_TRUE(CreateDirectory(Path(L"userdata\\sub")) &&
                CreateDirectory(Path(L"empty")) &&
                Write(Path(L"userdata\\keep.txt"), "keep") &&
                Write(Path(L"userdata\\sub\\deep.txt"), "deep"));
    ASSERT_TRUE(MakeReadOnly(Path(L"userdata\\keep.txt")));
  }

  // Whether what the links point to is as it was made.
  void ExpectLinkedDataWhole() const {
    EXPECT_EQ("keep", Read(Path(L"userdata\\keep.txt")));
    EXPECT_TRUE(IsReadOnly(Path(L"userdata\\keep.txt")));
    EXPECT_EQ("deep", Read(Path(L"userdata\\sub\\deep.txt")));
    EXPECT_EQ(std::set<string16>{}, Tree(Path(L"empty")));
    EXPECT_TRUE(DirectoryExists(Path(L"empty")));
  }
};

// A recursive delete removes the links it meets, and a link given to it,
// as links: what they point to stays whole.
TEST_F(DeleteThroughLinksTest, RemovesLinksAndNeverWhatTheyPointTo) {
  const FilePath install = Path(L"install");
  ASSERT_TRUE(CreateDirectory(install.Append(L"app")) &&
              Write(install.Append(L"app\\app.exe"), "x"));
  ASSERT_TRUE(
      MakeFolderLink(install.Append(L"app\\cache"), Path(L"userdata")) &&
      MakeFolderLink(install.Append(L"app\\spare"), Path(L"empty")));
  ASSERT_TRUE(IsLink(install.Append(L"app\\cache")));
  ASSERT_FALSE(IsLink(install.Append(L"app")));
  EXPECT_TRUE(DeleteFile(install, true));
  EXPECT_FALSE(PathExists(install));
  ExpectLinkedDataWhole();

  // The link itself given, recursive or not.
  for (bool recursive : {true, false}) {
    const FilePath link = Path(L"link");
    ASSERT_TRUE(MakeFolderLink(link, Path(L"userdata")));
    EXPECT_TRUE(DeleteFile(link, recursive)) << recursive;
    EXPECT_FALSE(PathExists(link)) << recursive;
    ExpectLinkedDataWhole();
  }

  // A pattern: not recursive, a matching link to a folder is left like a
  // folder; recursive, it goes as a link.
  const FilePath dir = Path(L"dir");
  ASSERT_TRUE(CreateDirectory(dir) && Write(dir.Append(L"a.tmp"), "x") &&
              MakeFolderLink(dir.Append(L"b.tmp"), Path(L"userdata")));
  EXPECT_TRUE(DeleteFile(dir.Append(L"*.tmp"), false));
  EXPECT_EQ(std::set<string16>{L"b.tmp"}, Tree(dir));
  EXPECT_TRUE(DeleteFile(dir.Append(L"*.tmp"), true));
  EXPECT_EQ(std::set<string16>{}, Tree(dir));
  ExpectLinkedDataWhole();
}

// A chain of folders hundreds deep, far past MAX_PATH, goes whole from its
// short root without a call per level; a link at its bottom goes as a link.
// (Wine reaches no deeper than its host's path limit of 4096 bytes, and
// takes a time that grows with the cube of the depth.)
TEST_F(DeleteThroughLinksTest, DeletesFoldersOfAnyDepth) {
  const FilePath root = Path(L"deep");
  FilePath folder = root;
  ASSERT_TRUE(CreateDirectory(folder));
  constexpr int kDepth = 600;
  for (int level = 1; level <= kDepth; ++level) {
    folder = folder.Append(L"d");
    ASSERT_TRUE(::CreateDirectoryW(LongForm(folder).c_str(), nullptr)) << level;
    if (level % 200 == 0) {
      const string16 file = LongForm(folder.Append(L"f.txt"));
      win::ScopedHandle made(::CreateFileW(file.c_str(), GENERIC_WRITE, 0,
                                           nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_READONLY, nullptr));
      ASSERT_TRUE(made.IsValid()) << level;
    }
  }
  ASSERT_TRUE(MakeFolderLink(FilePath(LongForm(folder.Append(L"cache"))),
                             Path(L"userdata")));
  EXPECT_TRUE(OnLittleStack([&root] { return DeleteFile(root, true); }));
  EXPECT_FALSE(PathExists(root));
  ExpectLinkedDataWhole();
}

TEST_F(FileUtilTest, TemporaryFiles) {
  FilePath first;
  FilePath second(L"untouched");
  EXPECT_FALSE(CreateTemporaryFileInDir(Path(L"missing"), &second));
  EXPECT_EQ(L"untouched", second.value());
  ASSERT_TRUE(CreateTemporaryFileInDir(temp_dir_.path(), &first));
  EXPECT_EQ(temp_dir_.path(), first.DirName());
  EXPECT_EQ("", Read(first));
  FilePath temp_dir;
  ASSERT_TRUE(CreateTemporaryFile(&second) && GetTempDir(&temp_dir));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(temp_dir.value(),
                                           second.DirName().value()));
  EXPECT_TRUE(DeleteFile(second, false));
}

}  // namespace

}  // namespace base
