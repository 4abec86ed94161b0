#include "base/json/json_string_value_serializer.h"

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/values.h"

namespace base {

JSONStringValueSerializer::JSONStringValueSerializer(std::string* json_string)
    : json_string_(json_string), pretty_print_(false) {}

JSONStringValueSerializer::~JSONStringValueSerializer() = default;

bool JSONStringValueSerializer::Serialize(const Value& root) {
  if (!json_string_)
    return false;
  const int options = pretty_print_ ? JSONWriter::kWritePrettyPrint : 0;
  return JSONWriter::WriteWithOptions(root, options, json_string_);
}

JSONStringValueDeserializer::JSONStringValueDeserializer(
    StringPiece json_string)
    : json_string_(json_string), allow_trailing_comma_(false) {}

JSONStringValueDeserializer::~JSONStringValueDeserializer() = default;

std::unique_ptr<Value> JSONStringValueDeserializer::Deserialize(
    int* error_code,
    std::string* error_message) {
  const int options = allow_trailing_comma_ ? kParseAllowTrailingCommas : 0;
  return JSONReader::ReadAndReturnError(json_string_, options, error_code,
                                        error_message, nullptr, nullptr);
}

}  // namespace base
