#ifndef BASE_JSON_VALUE_SERIALIZER_H_
#define BASE_JSON_VALUE_SERIALIZER_H_

namespace base {

class Value;

// Writes a value tree somewhere, in some text form.
class ValueSerializer {
 public:
  virtual ~ValueSerializer() = default;

  virtual bool Serialize(const Value& root) = 0;
};

}  // namespace base

#endif  // BASE_JSON_VALUE_SERIALIZER_H_
