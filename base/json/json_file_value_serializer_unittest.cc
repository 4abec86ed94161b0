#include "base/json/json_file_value_serializer.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(JSONFileValueDeserializerTest, ReadsOrClassifiesTheFailure) {
  UniqueTestDir dir;
  ASSERT_TRUE(dir.IsValid());
  ASSERT_TRUE(CreateDirectory(dir.path().Append(L"sub")));
  const struct {
    const wchar_t* name;
    const char* contents;  // Written first unless null.
    bool allow_trailing_comma;
    bool locked;
    int code;
    const char* message;
  } kCases[] = {
      {L"good.json", "{\"a\": [1, 2]}", false, false, -1, "untouched"},
      {L"comma.json", "[1,]", true, false, -1, "untouched"},
      {L"comma.json", "[1,]", false, false, 4,
       "Line: 1, column: 4, Trailing comma not allowed."},
      {L"empty.json", "", false, false, 3,
       "Line: 1, column: 1, Unexpected token."},
      {L"locked.json", "[1]", false, true, 1002, "File locked."},
      {L"sub", nullptr, false, false, 1000, "Access denied."},
      // Refused although it exists; an error left over does not decide.
      {L"sub\\..\\comma.json", nullptr, false, false, 1001, "Can't read file."},
      {L"missing.json", nullptr, false, false, 1003, "File doesn't exist."},
      {L"no\\such.json", nullptr, false, false, 1003, "File doesn't exist."},
  };
  for (const auto& c : kCases) {
    const FilePath path = dir.path().Append(c.name);
    SCOPED_TRACE(path.AsUTF8());
    const size_t size = c.contents ? strlen(c.contents) : 0;
    if (c.contents) {
      ASSERT_EQ(static_cast<int>(size), WriteFile(path, c.contents, size));
    }
    File holder;
    if (c.locked) {
      holder.Initialize(path, File::FLAG_OPEN | File::FLAG_READ |
                                  File::FLAG_EXCLUSIVE_READ |
                                  File::FLAG_EXCLUSIVE_WRITE);
    }
    JSONFileValueDeserializer deserializer(path);
    deserializer.set_allow_trailing_comma(c.allow_trailing_comma);
    int code = -1;
    std::string message = "untouched";
    ::SetLastError(ERROR_ACCESS_DENIED);
    std::unique_ptr<Value> value = deserializer.Deserialize(&code, &message);
    EXPECT_EQ(c.code == -1, !!value);
    EXPECT_EQ(c.code, code);
    EXPECT_EQ(c.message, message);
    EXPECT_EQ(c.code < 1000 ? size : 0u, deserializer.get_last_read_size());
    // The size of the last good read stays when the file goes.
    if (value && DeleteFile(path, false)) {
      EXPECT_FALSE(deserializer.Deserialize(nullptr, nullptr));
      EXPECT_EQ(size, deserializer.get_last_read_size());
    }
  }
}

}  // namespace
}  // namespace base
