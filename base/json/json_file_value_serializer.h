#ifndef BASE_JSON_JSON_FILE_VALUE_SERIALIZER_H_
#define BASE_JSON_JSON_FILE_VALUE_SERIALIZER_H_

#include <stddef.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/json/value_deserializer.h"

namespace base {

// Reads a value tree from a JSON file. A file that cannot be read gives one
// of the codes below, a file that does not parse the reader's code (1 to
// 8): the value tells the two apart.
class JSONFileValueDeserializer : public ValueDeserializer {
 public:
  enum FileError {
    JSON_ACCESS_DENIED = 1000,
    JSON_CANNOT_READ_FILE = 1001,
    JSON_FILE_LOCKED = 1002,
    JSON_NO_SUCH_FILE = 1003,
  };

  static const char kAccessDenied[];
  static const char kCannotReadFile[];
  static const char kFileLocked[];
  static const char kNoSuchFile[];

  explicit JSONFileValueDeserializer(const FilePath& json_file_path);
  JSONFileValueDeserializer(const JSONFileValueDeserializer&) = delete;
  JSONFileValueDeserializer& operator=(const JSONFileValueDeserializer&) =
      delete;
  ~JSONFileValueDeserializer() override;

  std::unique_ptr<Value> Deserialize(int* error_code,
                                     std::string* error_message) override;

  // The message of a FileError code; empty for any other code.
  static const char* GetErrorMessageForCode(int error_code);

  void set_allow_trailing_comma(bool allow) { allow_trailing_comma_ = allow; }

  // The size of the content last read successfully; 0 before that.
  size_t get_last_read_size() const { return last_read_size_; }

 private:
  // Why the file could not be read, from the thread's last error.
  FileError ClassifyReadFailure() const;

  FilePath json_file_path_;
  bool allow_trailing_comma_;
  size_t last_read_size_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_FILE_VALUE_SERIALIZER_H_
