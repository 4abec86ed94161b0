#include "desktop/launcher/installer/service/transactions/file_snapshot_operation.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread.h"
#include "desktop/launcher/installer/service/test/operation_test.h"
#include "desktop/launcher/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

void SlowWrite(const base::FilePath& path, const std::string& content) {
  ::Sleep(200);
  base::WriteFile(path, content.data(), static_cast<int>(content.size()));
}

class FileSnapshotOperationTest : public OperationTest {
 protected:
  FileSnapshotOperationTest() : writer_("snapshot writer") {}

  void SetUp() override {
    OperationTest::SetUp();
    ASSERT_TRUE(writer_.Start());
  }

  // Keeps the file in |transaction| and has the writer change it late.
  bool KeepAndChange(Transaction* transaction) {
    const bool kept =
        transaction->Execute(std::make_unique<FileSnapshotOperation>(
            Path(L"prefs.json"), writer_.task_runner()));
    writer_.task_runner()->PostTask(
        LOCATION_FROM_HERE("KeepAndChange"),
        base::Bind(&SlowWrite, Path(L"prefs.json"), std::string("new")));
    return kept;
  }

  // The file once the writer has run what it was given.
  std::string Content() {
    base::WaitableEvent done(true, false);
    writer_.task_runner()->PostTask(
        LOCATION_FROM_HERE("Content"),
        base::Bind(&base::WaitableEvent::Signal, &done));
    done.Wait();
    std::string content;
    return base::ReadFileToString(Path(L"prefs.json"), &content) ? content
                                                                 : "none";
  }

  base::Thread writer_;
};

// The rollback waits for the late write, then puts back what was there.
TEST_F(FileSnapshotOperationTest, RollbackRestoresTheFileAfterPendingWrites) {
  for (const char* old : {"", "{\"a\":1}"}) {
    SCOPED_TRACE(old);
    if (*old)
      Write(L"prefs.json", old);
    Transaction transaction;
    ASSERT_TRUE(KeepAndChange(&transaction));
    transaction.RollbackAll();
    EXPECT_EQ(*old ? std::string(old) : "none", Content());
    base::DeleteFile(Path(L"prefs.json"), false);
  }
}

TEST_F(FileSnapshotOperationTest, CommitKeepsTheWritersChange) {
  Write(L"prefs.json", "old");
  {
    Transaction transaction;
    ASSERT_TRUE(KeepAndChange(&transaction));
  }
  EXPECT_EQ("new", Content());
}

// What cannot be read cannot be put back: the operation refuses.
TEST_F(FileSnapshotOperationTest, AnUnreadableFileFailsTheOperation) {
  Write(L"prefs.json", "old");
  const auto lock = Lock(L"prefs.json", 0);
  Transaction transaction;
  EXPECT_FALSE(transaction.Execute(std::make_unique<FileSnapshotOperation>(
      Path(L"prefs.json"), writer_.task_runner())));
  EXPECT_TRUE(transaction.empty());
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
