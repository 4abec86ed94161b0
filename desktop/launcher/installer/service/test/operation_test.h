#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_OPERATION_TEST_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_OPERATION_TEST_H_

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/test/unique_test_dir.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

// What the tests compare before and after: every file (attributes, time of
// last write, bytes) and folder below the test folder, and every key
// (owner, group, access list) and value (type, bytes) below the test key.
using Snapshot = std::map<base::string16, std::string>;

// A test with a folder of its own and a registry key of its own,
// HKCU\Software\VexloTest\<unique>, both deleted afterwards.
class OperationTest : public testing::Test {
 protected:
  // Owner SYSTEM, the access list refusing the current user every change,
  // even of the access list: no grant can open it, but it can be deleted.
  static const wchar_t kLockedKey[];

  OperationTest();
  ~OperationTest() override;

  void SetUp() override;

  base::FilePath Path(const base::string16& relative) const;
  // Writes |content| to the file |relative|, creating its folders.
  void Write(const base::string16& relative,
             const std::string& content,
             DWORD attributes = FILE_ATTRIBUTE_NORMAL);
  std::string Read(const base::string16& relative) const;

  // The key |relative| below the test key (the test key when empty).
  base::string16 Key(const base::string16& relative) const;
  void SetValue(const base::string16& key,
                const base::string16& name,
                DWORD type,
                const std::string& bytes);
  // "<type in hexadecimal>:<bytes>", or "none".
  std::string ReadValue(const base::string16& key,
                        const base::string16& name) const;
  // Gives the key the owner, group and access list of |sddl|. A key that
  // never had its security set may report another owner and group after
  // its access list changes on the test platform: tests set it first.
  void SetKeySecurity(const base::string16& key, const wchar_t* sddl);
  // Owner, group and access list as text, or the error code.
  std::string KeySecurity(const base::string16& key) const;

  Snapshot TakeSnapshot() const;

  base::UniqueTestDir temp_;
  const base::string16 key_path_;

 private:
  void SnapshotKey(const base::string16& relative, Snapshot* snapshot) const;

  // Keys whose security a test changed, opened up again before cleanup.
  std::vector<base::string16> secured_keys_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_OPERATION_TEST_H_
