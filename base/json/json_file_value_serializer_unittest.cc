#include "base/json/json_file_value_serializer.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/test/unique_test_dir.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {

namespace {

class JSONFileValueDeserializerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.IsValid()); }

  FilePath WriteJson(const wchar_t* name, const std::string& text) {
    const FilePath path = temp_dir_.path().Append(name);
    if (WriteFile(path, text.data(), static_cast<int>(text.size())) !=
        static_cast<int>(text.size())) {
      ADD_FAILURE() << "could not write " << path.AsUTF8();
    }
    return path;
  }

  UniqueTestDir temp_dir_;
};

TEST_F(JSONFileValueDeserializerTest, ReadsAFile) {
  const std::string text = "{\"a\": [1, 2], \"b\": \"c\"}";
  JSONFileValueDeserializer deserializer(WriteJson(L"good.json", text));
  EXPECT_EQ(0u, deserializer.get_last_read_size());
  int error_code = 0;
  std::string error_message;
  std::unique_ptr<Value> value =
      deserializer.Deserialize(&error_code, &error_message);
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->IsType(Value::TYPE_DICTIONARY));
  EXPECT_EQ(0, error_code);
  EXPECT_EQ(text.size(), deserializer.get_last_read_size());
}

TEST_F(JSONFileValueDeserializerTest, MissingFile) {
  const FilePath path = WriteJson(L"gone.json", "[1]");
  JSONFileValueDeserializer deserializer(path);
  ASSERT_TRUE(deserializer.Deserialize(nullptr, nullptr));
  ASSERT_TRUE(::DeleteFileW(path.value().c_str()));

  int error_code = 0;
  std::string error_message;
  EXPECT_FALSE(deserializer.Deserialize(&error_code, &error_message));
  EXPECT_EQ(JSONFileValueDeserializer::JSON_NO_SUCH_FILE, error_code);
  EXPECT_EQ(1003, error_code);
  EXPECT_EQ("File doesn't exist.", error_message);
  // The size of the last good read stays.
  EXPECT_EQ(3u, deserializer.get_last_read_size());

  JSONFileValueDeserializer in_missing_dir(
      temp_dir_.path().Append(L"no\\such.json"));
  EXPECT_FALSE(in_missing_dir.Deserialize(&error_code, nullptr));
  EXPECT_EQ(1003, error_code);
}

TEST_F(JSONFileValueDeserializerTest, LockedFile) {
  const FilePath path = WriteJson(L"locked.json", "[1]");
  File holder(path, File::FLAG_OPEN | File::FLAG_READ |
                        File::FLAG_EXCLUSIVE_READ | File::FLAG_EXCLUSIVE_WRITE);
  ASSERT_TRUE(holder.IsValid());
  JSONFileValueDeserializer deserializer(path);
  int error_code = 0;
  std::string error_message;
  EXPECT_FALSE(deserializer.Deserialize(&error_code, &error_message));
  EXPECT_EQ(1002, error_code);
  EXPECT_EQ("File locked.", error_message);
}

TEST_F(JSONFileValueDeserializerTest, DirectoryIsAccessDenied) {
  JSONFileValueDeserializer deserializer(temp_dir_.path());
  int error_code = 0;
  std::string error_message;
  EXPECT_FALSE(deserializer.Deserialize(&error_code, &error_message));
  EXPECT_EQ(1000, error_code);
  EXPECT_EQ("Access denied.", error_message);
}

TEST_F(JSONFileValueDeserializerTest, RefusedPathOfAnExistingFile) {
  WriteJson(L"file.json", "[1]");
  ASSERT_TRUE(CreateDirectory(temp_dir_.path().Append(L"sub")));
  JSONFileValueDeserializer deserializer(
      temp_dir_.path().Append(L"sub\\..\\file.json"));
  int error_code = 0;
  std::string error_message;
  // An error left over from an earlier call does not decide the outcome.
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_FALSE(deserializer.Deserialize(&error_code, &error_message));
  EXPECT_EQ(1001, error_code);
  EXPECT_EQ("Can't read file.", error_message);
}

TEST_F(JSONFileValueDeserializerTest, ParseErrorsPassThrough) {
  JSONFileValueDeserializer empty(WriteJson(L"empty.json", ""));
  int error_code = 0;
  std::string error_message;
  EXPECT_FALSE(empty.Deserialize(&error_code, &error_message));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, error_code);
  EXPECT_EQ("Line: 1, column: 1, Unexpected token.", error_message);
  EXPECT_EQ(0u, empty.get_last_read_size());

  const FilePath trailing = WriteJson(L"trailing.json", "[1,]");
  JSONFileValueDeserializer strict(trailing);
  EXPECT_FALSE(strict.Deserialize(&error_code, &error_message));
  EXPECT_EQ(JSONReader::JSON_TRAILING_COMMA, error_code);
  EXPECT_EQ(4u, strict.get_last_read_size());

  JSONFileValueDeserializer lenient(trailing);
  lenient.set_allow_trailing_comma(true);
  std::unique_ptr<Value> value = lenient.Deserialize(&error_code, nullptr);
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->IsType(Value::TYPE_LIST));
}

}  // namespace

}  // namespace base
