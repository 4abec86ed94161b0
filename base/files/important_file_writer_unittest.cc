#include "base/files/important_file_writer.h"

#include <windows.h>

#include <set>
#include <string>

#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "gtest/gtest.h"

namespace base {

namespace {

class ImportantFileWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.IsValid());
    target_ = temp_dir_.path().Append(L"target.json");
  }

  // The names in the test folder: a temporary file left behind shows here.
  // Wine's ReplaceFileW leaves a backup of its own ("rf" and hex digits)
  // when it fails; the writer's files have no prefix, so they never start
  // with "rf".
  std::set<string16> Names() const {
    std::set<string16> names;
    FileEnumerator enumerator(
        temp_dir_.path(), false,
        FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
    for (FilePath path = enumerator.Next(); !path.empty();
         path = enumerator.Next()) {
      const string16 name = path.BaseName().value();
      if (name.compare(0, 2, L"rf") != 0)
        names.insert(name);
    }
    return names;
  }

  std::string Contents() const {
    std::string contents;
    if (!ReadFileToString(target_, &contents))
      return "(unreadable)";
    return contents;
  }

  UniqueTestDir temp_dir_;
  FilePath target_;
};

TEST_F(ImportantFileWriterTest, CreatesAndReplaces) {
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "first"));
  EXPECT_EQ("first", Contents());
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "2nd"));
  EXPECT_EQ("2nd", Contents());
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, ""));
  EXPECT_EQ("", Contents());
  const std::string binary("a\0b\r\n", 5);
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, binary));
  EXPECT_EQ(binary, Contents());
  EXPECT_EQ(std::set<string16>({L"target.json"}), Names());
}

TEST_F(ImportantFileWriterTest, MissingFolderCreatesNothing) {
  const FilePath target = temp_dir_.path().Append(L"missing\\target.json");
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(target, "data"));
  EXPECT_FALSE(PathExists(target));
  EXPECT_TRUE(Names().empty());
}

TEST_F(ImportantFileWriterTest, RefusesTwoGibibytesWithoutReadingThem) {
  // The data pointer faults when touched: the refusal must come first.
  const StringPiece huge(reinterpret_cast<const char*>(16), size_t{1} << 31);
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(target_, huge));
  EXPECT_TRUE(Names().empty());
}

TEST_F(ImportantFileWriterTest, TargetInUseKeepsItsContents) {
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "old"));
  {
    File holder(target_, File::FLAG_OPEN | File::FLAG_READ);
    ASSERT_TRUE(holder.IsValid());
    EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(target_, "new"));
  }
  EXPECT_EQ("old", Contents());
  // The temporary file went away with the failure.
  EXPECT_EQ(std::set<string16>({L"target.json"}), Names());
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(target_, "new"));
  EXPECT_EQ("new", Contents());
}

TEST_F(ImportantFileWriterTest, UnopenableTemporaryFileIsRemoved) {
  // The temporary file is created beside a target reached through '..',
  // which the file class refuses to open.
  ASSERT_TRUE(CreateDirectory(temp_dir_.path().Append(L"sub")));
  const FilePath target = temp_dir_.path().Append(L"sub\\..\\target.json");
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(target, "data"));
  EXPECT_EQ(std::set<string16>({L"sub"}), Names());
}

}  // namespace

}  // namespace base
