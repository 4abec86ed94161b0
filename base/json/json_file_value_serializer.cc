#include "base/json/json_file_value_serializer.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/json/json_string_value_serializer.h"
#include "base/values.h"

namespace base {

const char JSONFileValueDeserializer::kAccessDenied[] = "Access denied.";
const char JSONFileValueDeserializer::kCannotReadFile[] = "Can't read file.";
const char JSONFileValueDeserializer::kFileLocked[] = "File locked.";
const char JSONFileValueDeserializer::kNoSuchFile[] = "File doesn't exist.";

JSONFileValueDeserializer::JSONFileValueDeserializer(
    const FilePath& json_file_path)
    : json_file_path_(json_file_path),
      allow_trailing_comma_(false),
      last_read_size_(0) {}

JSONFileValueDeserializer::~JSONFileValueDeserializer() = default;

std::unique_ptr<Value> JSONFileValueDeserializer::Deserialize(
    int* error_code,
    std::string* error_message) {
  std::string json_string;
  // A refusal that sets no error of its own must not be judged by an error
  // left over from earlier calls.
  ::SetLastError(ERROR_SUCCESS);
  if (!ReadFileToString(json_file_path_, &json_string)) {
    const FileError error = ClassifyReadFailure();
    if (error_code)
      *error_code = error;
    if (error_message)
      *error_message = GetErrorMessageForCode(error);
    return nullptr;
  }
  last_read_size_ = json_string.size();
  JSONStringValueDeserializer deserializer(json_string);
  deserializer.set_allow_trailing_comma(allow_trailing_comma_);
  return deserializer.Deserialize(error_code, error_message);
}

// static
const char* JSONFileValueDeserializer::GetErrorMessageForCode(int error_code) {
  switch (error_code) {
    case JSON_ACCESS_DENIED:
      return kAccessDenied;
    case JSON_CANNOT_READ_FILE:
      return kCannotReadFile;
    case JSON_FILE_LOCKED:
      return kFileLocked;
    case JSON_NO_SUCH_FILE:
      return kNoSuchFile;
    default:
      return "";
  }
}

JSONFileValueDeserializer::FileError
JSONFileValueDeserializer::ClassifyReadFailure() const {
  switch (::GetLastError()) {
    case ERROR_ACCESS_DENIED:
      return JSON_ACCESS_DENIED;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return JSON_FILE_LOCKED;
    default:
      return PathExists(json_file_path_) ? JSON_CANNOT_READ_FILE
                                         : JSON_NO_SUCH_FILE;
  }
}

}  // namespace base
