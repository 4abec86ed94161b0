#include "desktop/launcher/installer/uninstall_batch.h"

#include <windows.h>

#include <wchar.h>

#include <string>

#include "base/files/file_util.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/test/folder_link.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "desktop/launcher/installer/installer_startup.h"
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

constexpr unsigned kWesternOemCodePage = 850;

// One file left in a\b of the installation folder.
std::string BuildOneLeftover(const std::vector<uint32_t>& process_ids) {
  UninstallBatch batch;
  batch.AddLeftover(base::FilePath(L"C:\\Vexlo\\a\\b\\c.dll"), true);
  return batch.Build(process_ids, base::FilePath(), kWesternOemCodePage,
                     UninstallBatch::PathFallback());
}

// A new folder of the test's own in the temporary folder, whose name is
// its own short name, deleted with everything in it at the end. Wine makes
// up the short name of a longer name from a 15-bit hash of it and resolves
// a short name to the first name in the folder with that hash: a short path
// through one of the many test_* folders can name another test's folder.
class ShortNamedTestDir {
 public:
  ShortNamedTestDir() {
    base::FilePath temp;
    if (!base::GetTempDir(&temp))
      return;
    const unsigned seed = ::GetCurrentProcessId() * 2654435761u;
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
      wchar_t name[9];
      swprintf(name, 9, L"UB%06X", (seed + attempt) & 0xFFFFFF);
      const base::FilePath candidate = temp.Append(name);
      if (::CreateDirectoryW(candidate.value().c_str(), nullptr)) {
        path_ = candidate;
        return;
      }
    }
  }
  ShortNamedTestDir(const ShortNamedTestDir&) = delete;
  ShortNamedTestDir& operator=(const ShortNamedTestDir&) = delete;
  ~ShortNamedTestDir() {
    if (!path_.empty())
      base::DeleteFile(path_, true);
  }
  const base::FilePath& path() const { return path_; }

 private:
  base::FilePath path_;
};

}  // namespace

TEST(UninstallBatchTest, WaitsOnlyForTheKnownProcesses) {
  const char kLeftoverLines[] =
      "del \"C:\\Vexlo\\a\\b\\c.dll\"\n"
      "rmdir \"C:\\Vexlo\\a\\b\"\n"
      "rmdir \"C:\\Vexlo\\a\"\n"
      "rmdir \"C:\\Vexlo\"\n"
      "del \"%~f0\"\n";
  EXPECT_EQ(std::string("SET PID1_RUNNING=TRUE\n"
                        ":again\n"
                        "IF %PID1_RUNNING%==TRUE (\n"
                        "TASKLIST /FI \"PID eq 7\" | FIND /c /i \".exe\"\n"
                        "IF ERRORLEVEL 1 SET PID1_RUNNING=FALSE\n"
                        ")\n"
                        "ping -n 2 127.0.0.1\n"
                        "IF %PID1_RUNNING%==TRUE GOTO :again\n") +
                kLeftoverLines,
            BuildOneLeftover({7, 0, 0}));
  EXPECT_EQ(std::string("SET PID1_RUNNING=TRUE\n"
                        "SET PID2_RUNNING=TRUE\n"
                        "SET PID3_RUNNING=TRUE\n"
                        ":again\n"
                        "IF %PID1_RUNNING%==TRUE (\n"
                        "TASKLIST /FI \"PID eq 7\" | FIND /c /i \".exe\"\n"
                        "IF ERRORLEVEL 1 SET PID1_RUNNING=FALSE\n"
                        ")\n"
                        "IF %PID2_RUNNING%==TRUE (\n"
                        "TASKLIST /FI \"PID eq 4294967295\" | FIND /c /i "
                        "\".exe\"\n"
                        "IF ERRORLEVEL 1 SET PID2_RUNNING=FALSE\n"
                        ")\n"
                        "IF %PID3_RUNNING%==TRUE (\n"
                        "TASKLIST /FI \"PID eq 12\" | FIND /c /i \".exe\"\n"
                        "IF ERRORLEVEL 1 SET PID3_RUNNING=FALSE\n"
                        ")\n"
                        "ping -n 2 127.0.0.1\n"
                        "IF %PID1_RUNNING%==TRUE GOTO :again\n"
                        "IF %PID2_RUNNING%==TRUE GOTO :again\n"
                        "IF %PID3_RUNNING%==TRUE GOTO :again\n") +
                kLeftoverLines,
            BuildOneLeftover({7, 4294967295u, 12}));
  // The second process alone keeps its own number.
  EXPECT_NE(std::string::npos,
            BuildOneLeftover({7, 0, 12}).find("SET PID3_RUNNING=TRUE\n:again"));
}

// Every folder before the folder that holds it, whatever order the files
// came in; the last-resort folder after the batch is gone.
TEST(UninstallBatchTest, RemovesFoldersDeepestFirst) {
  UninstallBatch batch;
  batch.AddLeftover(base::FilePath(L"D:\\p\\a\\x.dll"), true);
  batch.AddLeftover(base::FilePath(L"D:\\p\\ab\\y.dll"), true);
  batch.AddLeftover(base::FilePath(L"D:\\p\\a\\b\\z.dll"), true);
  batch.AddLeftover(base::FilePath(L"D:\\p\\launcher.exe"), false);
  const std::string text =
      batch.Build({1, 0, 0}, base::FilePath(L"D:\\p"), kWesternOemCodePage,
                  UninstallBatch::PathFallback());
  EXPECT_EQ(
      "del \"D:\\p\\a\\x.dll\"\n"
      "del \"D:\\p\\ab\\y.dll\"\n"
      "del \"D:\\p\\a\\b\\z.dll\"\n"
      "del \"D:\\p\\launcher.exe\"\n"
      "rmdir \"D:\\p\\ab\"\n"
      "rmdir \"D:\\p\\a\\b\"\n"
      "rmdir \"D:\\p\\a\"\n"
      "rmdir \"D:\\p\"\n"
      "del \"%~f0\" & rmdir \"D:\\p\"\n",
      text.substr(text.find("del ")));
}

// A file that another process may still hold is deleted before anything
// else, the batch going round until that works; a folder added alone
// comes without the folders above it; what keeps the batch's work goes
// once all of it is done.
TEST(UninstallBatchTest, WaitsForFilesInUseBeforeDeletingTheRest) {
  UninstallBatch batch;
  batch.AddLast(base::FilePath(L"D:\\j.2.leftover"));
  batch.AddLeftover(base::FilePath(L"D:\\j.leftover"), false);
  batch.AddFileInUse(base::FilePath(L"D:\\p\\a\\x.exe"), false);
  batch.AddFileInUse(base::FilePath(L"D:\\p\\y.exe"), true);
  batch.AddFolder(base::FilePath(L"D:\\p\\a"));
  EXPECT_EQ(
      ":again\n"
      "ping -n 2 127.0.0.1\n"
      "del \"D:\\p\\a\\x.exe\"\n"
      "IF EXIST \"D:\\p\\a\\x.exe\" GOTO :again\n"
      "del \"D:\\p\\y.exe\"\n"
      "IF EXIST \"D:\\p\\y.exe\" GOTO :again\n"
      "del \"D:\\j.leftover\"\n"
      "rmdir \"D:\\p\\a\"\n"
      "rmdir \"D:\\p\"\n"
      "del \"D:\\j.2.leftover\"\n"
      "del \"%~f0\"\n",
      batch.Build({}, base::FilePath(), kWesternOemCodePage,
                  UninstallBatch::PathFallback()));
}

TEST(UninstallBatchTest, WritesPathsInTheConsoleCodePage) {
  const struct {
    const wchar_t* path;
    bool fallback;
    const char* line;
  } kCases[] = {
      {L"C:\\100%\\%PATH%.dll", false, "del \"C:\\100%%\\%%PATH%%.dll\"\n"},
      // U+00E9 is 0x82 in the western OEM code page.
      {L"C:\\caf\u00e9.dll", false, "del \"C:\\caf\x82.dll\"\n"},
      // U+0142 has no form there, and a best fit would name another file.
      {L"C:\\\u0142\u00f3d\u017a.dll", false, ""},
      {L"C:\\\u0142\u00f3d\u017a.dll", true, "del \"C:\\SHORT~1.DLL\"\n"},
      {L"C:\\\u2603.dll", false, ""},
  };
  for (const auto& test : kCases) {
    UninstallBatch batch;
    batch.AddLeftover(base::FilePath(test.path), false);
    UninstallBatch::PathFallback fallback;
    if (test.fallback) {
      fallback = [](const base::FilePath&) {
        return base::FilePath(L"C:\\SHORT~1.DLL");
      };
    }
    const std::string text =
        batch.Build({1, 0, 0}, base::FilePath(), kWesternOemCodePage, fallback);
    const size_t start = text.find("GOTO :again\n") + 12;
    EXPECT_EQ(std::string(test.line) + "del \"%~f0\"\n", text.substr(start))
        << test.path;
  }
}

// The batch run for real, once the process it waits for has ended: what
// it names goes, folders only when emptied. (The test platform's cmd.exe
// keeps the batch file open to its end, so the folder that holds it stays
// there; on Windows it goes on the last line.)
// A leftover's folder that is a link is never removed: the batch's rmdir
// would take what it points to on some systems.
TEST(UninstallBatchTest, LeavesFoldersThatAreLinks) {
  base::UniqueTestDir temp;
  const base::FilePath elsewhere = temp.path().Append(L"elsewhere");
  const base::FilePath linked = temp.path().Append(L"v\\linked");
  ASSERT_TRUE(base::CreateDirectory(elsewhere) &&
              base::CreateDirectory(linked.DirName()));
  ASSERT_TRUE(base::MakeFolderLink(linked, elsewhere));
  UninstallBatch batch;
  batch.AddLeftover(linked.Append(L"x.dll"), true);
  std::string folder;
  ASSERT_TRUE(EncodeBatchPath(linked.DirName(), CP_UTF8, &folder));
  const std::string text = batch.Build({}, base::FilePath(), CP_UTF8,
                                       UninstallBatch::PathFallback());
  EXPECT_NE(std::string::npos, text.find("rmdir \"" + folder + "\"\n"));
  EXPECT_EQ(std::string::npos, text.find("rmdir \"" + folder + "\\linked"));
  EXPECT_NE(std::string::npos, text.find("\\linked\\x.dll\"\n"));
}

TEST(UninstallBatchTest, DeletesItsLeftoversAndItself) {
  ShortNamedTestDir temp;
  ASSERT_FALSE(temp.path().empty());
  const base::FilePath install = temp.path().Append(L"Vexlo caf\u00e9");
  const base::FilePath kept = temp.path().Append(L"kept.txt");
  ASSERT_EQ(1, base::WriteFile(kept, "k", 1));
  UninstallBatch batch;
  for (const wchar_t* name :
       {L"v\\a b\\c&d.dll", L"v\\e.dll", L"launcher.exe", L"v\\f\\g.dat"}) {
    const base::FilePath file = install.Append(name);
    ASSERT_TRUE(base::CreateDirectory(file.DirName()));
    ASSERT_EQ(1, base::WriteFile(file, "x", 1));
    batch.AddLeftover(file, true);
  }
  // A name the code page cannot hold has a short form that it can.
  const base::FilePath short_form =
      GetShortPath(install.Append(L"v\\a b\\c&d.dll"));
  EXPECT_TRUE(base::PathExists(short_form));
  EXPECT_EQ(base::string16::npos, short_form.BaseName().value().find(L' '));
  EXPECT_TRUE(GetShortPath(install.Append(L"missing")).empty());
  // A file it does not name keeps its folder.
  ASSERT_EQ(1, base::WriteFile(install.Append(L"v\\f\\other"), "o", 1));
  base::LaunchOptions options;
  options.start_hidden = true;
  base::Process ended = base::LaunchProcess(L"cmd.exe /c exit 0", options);
  ASSERT_TRUE(ended.IsValid());
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(ended.Handle(), 60000));
  const std::string text =
      batch.Build({ended.Pid(), 0, 0}, install, ::GetOEMCP(), &GetShortPath);
  ASSERT_EQ(static_cast<int>(text.size()),
            base::WriteFile(install.Append(L"k.bat"), text.data(),
                            static_cast<int>(text.size())));
  RunUninstallBatch(install);
  for (int i = 0; i < 600 && base::PathExists(install.Append(L"k.bat")); ++i)
    base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(100));
  EXPECT_EQ((std::map<base::string16, std::string>{{L".", "<dir>"},
                                                   {L"v", "<dir>"},
                                                   {L"v\\f", "<dir>"},
                                                   {L"v\\f\\other", "o"}}),
            SnapshotFolder(install));
  EXPECT_TRUE(base::PathExists(kept));
}

}  // namespace installer
}  // namespace vexlo
