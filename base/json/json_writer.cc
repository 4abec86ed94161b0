#include "base/json/json_writer.h"

#include <math.h>
#include <stdint.h>

#include "base/json/string_escape.h"
#include "base/strings/string_number_conversions.h"
#include "base/values.h"

namespace base {
namespace {

constexpr char kPrettyPrintLineEnding[] = "\r\n";
constexpr size_t kIndentWidth = 3;
constexpr size_t kInitialReserve = 1024;

// 2^63: doubles from -2^63 up to, not including, this fit an int64_t.
constexpr double kInt64Limit = 9223372036854775808.0;

bool IsWholeInt64(double value) {
  return floor(value) == value && value >= -kInt64Limit && value < kInt64Limit;
}

// Makes the text of a double read back as a double, never as an integer, and
// gives it the leading zero that JSON requires before a decimal point.
std::string DoubleText(double value) {
  std::string text = DoubleToString(value);
  if (text.find_first_of(".eE") == std::string::npos)
    text.append(".0");
  if (text[0] == '.')
    text.insert(0, 1, '0');
  else if (text.size() > 1 && text[0] == '-' && text[1] == '.')
    text.insert(1, 1, '0');
  return text;
}

}  // namespace

// static
bool JSONWriter::Write(const Value& root, std::string* out) {
  return WriteWithOptions(root, 0, out);
}

// static
bool JSONWriter::WriteWithOptions(const Value& root,
                                  int options,
                                  std::string* out) {
  out->clear();
  out->reserve(kInitialReserve);
  JSONWriter writer(options, out);
  const bool result = writer.BuildJSONString(root, 0);
  if (writer.pretty_print_)
    out->append(kPrettyPrintLineEnding);
  return result;
}

JSONWriter::JSONWriter(int options, std::string* out)
    : omit_binary_values_((options & kWriteOmitBinaryValues) != 0),
      omit_double_type_preservation_(
          (options & kWriteOmitDoubleTypePreservation) != 0),
      pretty_print_((options & kWritePrettyPrint) != 0),
      out_(out) {}

bool JSONWriter::BuildJSONString(const Value& node, size_t depth) {
  switch (node.GetType()) {
    case Value::TYPE_NULL:
      out_->append("null");
      return true;

    case Value::TYPE_BOOLEAN: {
      bool value = false;
      node.GetAsBoolean(&value);
      out_->append(value ? "true" : "false");
      return true;
    }

    case Value::TYPE_INTEGER: {
      int value = 0;
      node.GetAsInteger(&value);
      out_->append(IntToString(value));
      return true;
    }

    case Value::TYPE_DOUBLE: {
      double value = 0;
      node.GetAsDouble(&value);
      WriteDouble(value);
      return true;
    }

    case Value::TYPE_STRING: {
      std::string value;
      node.GetAsString(&value);
      // Malformed UTF-8 is written as U+FFFD: the node is still written.
      EscapeJSONString(value, true, out_);
      return true;
    }

    case Value::TYPE_DICTIONARY:
      return WriteDictionary(node, depth);

    case Value::TYPE_LIST:
      return WriteList(node, depth);

    case Value::TYPE_BINARY:
      // Nothing of a binary node can be expressed in JSON.
      return omit_binary_values_;
  }
  return false;
}

void JSONWriter::WriteDouble(double value) {
  if (omit_double_type_preservation_ && IsWholeInt64(value))
    out_->append(Int64ToString(static_cast<int64_t>(value)));
  else
    out_->append(DoubleText(value));
}

bool JSONWriter::WriteDictionary(const Value& node, size_t depth) {
  const DictionaryValue* dictionary = nullptr;
  node.GetAsDictionary(&dictionary);

  out_->push_back('{');
  if (pretty_print_)
    out_->append(kPrettyPrintLineEnding);

  bool result = true;
  bool first_entry = true;
  for (DictionaryValue::Iterator it(*dictionary); !it.IsAtEnd(); it.Advance()) {
    if (IsOmitted(it.value()))
      continue;
    if (!first_entry) {
      out_->push_back(',');
      if (pretty_print_)
        out_->append(kPrettyPrintLineEnding);
    }
    if (pretty_print_)
      IndentLine(depth + 1);
    EscapeJSONString(it.key(), true, out_);
    out_->push_back(':');
    if (pretty_print_)
      out_->push_back(' ');
    if (!BuildJSONString(it.value(), depth + 1))
      result = false;
    first_entry = false;
  }

  if (pretty_print_) {
    out_->append(kPrettyPrintLineEnding);
    IndentLine(depth);
  }
  out_->push_back('}');
  return result;
}

bool JSONWriter::WriteList(const Value& node, size_t depth) {
  const ListValue* list = nullptr;
  node.GetAsList(&list);

  out_->push_back('[');
  if (pretty_print_)
    out_->push_back(' ');

  bool result = true;
  bool first_element = true;
  for (const auto& element : *list) {
    if (IsOmitted(*element))
      continue;
    if (!first_element) {
      out_->push_back(',');
      if (pretty_print_)
        out_->push_back(' ');
    }
    // Lists do not indent: their elements stay at the list's own depth.
    if (!BuildJSONString(*element, depth))
      result = false;
    first_element = false;
  }

  if (pretty_print_)
    out_->push_back(' ');
  out_->push_back(']');
  return result;
}

bool JSONWriter::IsOmitted(const Value& node) const {
  return omit_binary_values_ && node.IsType(Value::TYPE_BINARY);
}

void JSONWriter::IndentLine(size_t depth) {
  out_->append(depth * kIndentWidth, ' ');
}

}  // namespace base
