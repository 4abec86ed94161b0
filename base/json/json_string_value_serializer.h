#ifndef BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_
#define BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_

#include <memory>
#include <string>

#include "base/json/value_deserializer.h"
#include "base/json/value_serializer.h"
#include "base/strings/string_piece.h"

namespace base {

// Writes a value tree as JSON text into a string the caller owns.
class JSONStringValueSerializer : public ValueSerializer {
 public:
  // |json_string| receives the text; it may be null, and then nothing can be
  // written.
  explicit JSONStringValueSerializer(std::string* json_string);
  JSONStringValueSerializer(const JSONStringValueSerializer&) = delete;
  JSONStringValueSerializer& operator=(const JSONStringValueSerializer&) =
      delete;
  ~JSONStringValueSerializer() override;

  bool Serialize(const Value& root) override;

  void set_pretty_print(bool pretty_print) { pretty_print_ = pretty_print; }

 private:
  std::string* json_string_;
  bool pretty_print_;
};

// Reads a value tree from JSON text.
class JSONStringValueDeserializer : public ValueDeserializer {
 public:
  // |json_string| is not copied: it must outlive every Deserialize call.
  explicit JSONStringValueDeserializer(StringPiece json_string);
  JSONStringValueDeserializer(const JSONStringValueDeserializer&) = delete;
  JSONStringValueDeserializer& operator=(const JSONStringValueDeserializer&) =
      delete;
  ~JSONStringValueDeserializer() override;

  // On failure the code is the reader's (JSONReader::JsonParseError) and the
  // message names the line and column.
  std::unique_ptr<Value> Deserialize(int* error_code,
                                     std::string* error_message) override;

  void set_allow_trailing_comma(bool allow) { allow_trailing_comma_ = allow; }

 private:
  StringPiece json_string_;
  bool allow_trailing_comma_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_
