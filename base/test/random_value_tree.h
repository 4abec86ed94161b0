#ifndef BASE_TEST_RANDOM_VALUE_TREE_H_
#define BASE_TEST_RANDOM_VALUE_TREE_H_

#include <stdint.h>

#include <memory>
#include <string>

namespace base {

class DictionaryValue;
class Value;

// Random value trees for round-trip tests, the same for a seed on every
// run: every kind of node, text from every class of code point (controls,
// escaped characters, noncharacters, other planes) in keys and strings, and
// doubles at the ends of the range.
class RandomValueTree {
 public:
  explicit RandomValueTree(uint64_t seed) : state_(seed) {}
  RandomValueTree(const RandomValueTree&) = delete;
  RandomValueTree& operator=(const RandomValueTree&) = delete;

  // A dictionary whose containers nest at most |depth| levels.
  std::unique_ptr<DictionaryValue> NextDictionary(int depth);

 private:
  uint64_t Below(uint64_t bound);
  std::unique_ptr<Value> NextValue(int depth);
  std::string NextString();
  double NextDouble();

  uint64_t state_;
};

}  // namespace base

#endif  // BASE_TEST_RANDOM_VALUE_TREE_H_
