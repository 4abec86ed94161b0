#ifndef BASE_JSON_JSON_WRITER_H_
#define BASE_JSON_JSON_WRITER_H_

#include <stddef.h>

#include <string>

namespace base {

class Value;

// Prints a value tree as UTF-8 JSON text.
class JSONWriter {
 public:
  enum Options {
    // Binary nodes inside containers are skipped, and count as written.
    kWriteOmitBinaryValues = 1 << 0,
    // A whole double within the signed 64-bit range is written as an integer
    // ("3" instead of "3.0"), so it reads back as an integer.
    kWriteOmitDoubleTypePreservation = 1 << 1,
    // CR LF line breaks and three-space indentation for dictionaries; lists
    // stay on one line with a space inside the brackets and after commas.
    kWritePrettyPrint = 1 << 2,
  };

  JSONWriter(const JSONWriter&) = delete;
  JSONWriter& operator=(const JSONWriter&) = delete;

  // Compact JSON, doubles always with a fraction or exponent.
  static bool Write(const Value& root, std::string* out);
  // Replaces |out| with the text of |root|. False when some node could not
  // be written (a binary node without kWriteOmitBinaryValues); the rest of
  // the tree is written all the same.
  static bool WriteWithOptions(const Value& root,
                               int options,
                               std::string* out);

 private:
  JSONWriter(int options, std::string* out);

  // Appends |node|, nested |depth| dictionaries deep.
  bool BuildJSONString(const Value& node, size_t depth);
  void WriteDouble(double value);
  bool WriteDictionary(const Value& node, size_t depth);
  bool WriteList(const Value& node, size_t depth);
  // Whether |node| is a binary node that the options skip in containers.
  bool IsOmitted(const Value& node) const;
  void IndentLine(size_t depth);

  const bool omit_binary_values_;
  const bool omit_double_type_preservation_;
  const bool pretty_print_;
  std::string* const out_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_WRITER_H_
