#ifndef BASE_JSON_VALUE_DESERIALIZER_H_
#define BASE_JSON_VALUE_DESERIALIZER_H_

#include <memory>
#include <string>

namespace base {

class Value;

// Produces a value tree from some text form.
class ValueDeserializer {
 public:
  virtual ~ValueDeserializer() = default;

  // The tree, or null with a code in |error_code| and its text in
  // |error_message| (both may be null); each class lists its codes.
  virtual std::unique_ptr<Value> Deserialize(int* error_code,
                                             std::string* error_message) = 0;
};

}  // namespace base

#endif  // BASE_JSON_VALUE_DESERIALIZER_H_
