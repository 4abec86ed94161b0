#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_OPERATION_TEST_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_OPERATION_TEST_H_

#include <windows.h>

#include <aclapi.h>

#include <map>
#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/test/unique_test_dir.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

// Every file (attributes, time of last write, bytes; its security apart) and
// folder below the test folder, and every key (owner, group, access list) and
// value (type, bytes) below the test key, one entry each.
using Snapshot = std::map<base::string16, std::string>;

// A test with a folder and a key, HKCU\Software\VexloTest\<unique>, of its
// own, both deleted afterwards.
class OperationTest : public testing::Test {
 protected:
  // Owner SYSTEM and no right for anyone to change the key or its access
  // list: no grant opens it, but it can be deleted.
  static const wchar_t kLockedKey[];

  OperationTest();
  ~OperationTest() override;

  void SetUp() override;

  base::FilePath Path(const base::string16& relative) const;
  // Writes the file, creating its folders.
  void Write(const base::string16& relative,
             const std::string& content,
             DWORD attributes = FILE_ATTRIBUTE_NORMAL);
  // Holds the file open with |share| while the result lives.
  std::shared_ptr<void> Lock(const base::string16& relative, DWORD share) const;
  // Refuses the rights on the file while the result lives.
  std::shared_ptr<void> Deny(const base::string16& relative) const;

  // The key |relative| below the test key (the test key itself when empty).
  base::string16 Key(const base::string16& relative) const;
  // The key's name for the security functions.
  base::string16 ObjectName(const base::string16& key) const;
  void SetValue(const base::string16& key,
                const base::string16& name,
                DWORD type,
                const std::string& bytes);
  // "<type in hexadecimal>:<bytes>", or "none".
  std::string ReadValue(const base::string16& key,
                        const base::string16& name) const;
  // Gives the key, created when missing, the owner, group and access list
  // of |sddl|. (A key whose
  // security was never set may report another owner and group once its
  // access list changes on the test platform.) A key left unopenable fails
  // the test's cleanup.
  void SetKeySecurity(const base::string16& key, const wchar_t* sddl);
  // The owner, group and access list as text, or "error <code>".
  std::string KeySecurity(const base::string16& key) const;
  static std::string SecurityText(const base::string16& object_name,
                                  SE_OBJECT_TYPE object_type);

  Snapshot TakeSnapshot() const;

  base::UniqueTestDir temp_;
  const base::string16 key_path_;

 private:
  void SnapshotKey(const base::string16& relative, Snapshot* snapshot) const;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_TEST_OPERATION_TEST_H_
