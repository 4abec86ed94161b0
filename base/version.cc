#include "base/version.h"

#include <stddef.h>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_piece.h"
#include "base/strings/string_split.h"

namespace base {

namespace {

bool HasNonZeroFrom(const std::vector<uint32_t>& components, size_t start) {
  for (size_t i = start; i < components.size(); ++i) {
    if (components[i] != 0)
      return true;
  }
  return false;
}

}  // namespace

Version::Version(const std::string& version_text) {
  std::vector<uint32_t> parsed;
  if (ParseVersionNumbers(version_text, &parsed))
    components_.swap(parsed);
}

bool Version::IsValid() const {
  return !components_.empty();
}

int Version::CompareTo(const Version& other) const {
  return CompareVersionComponents(components_, other.components_);
}

// static
bool Version::ParseVersionNumbers(const std::string& version_text,
                                  std::vector<uint32_t>* components) {
  std::vector<StringPiece> parts =
      SplitStringPiece(version_text, ".", KEEP_WHITESPACE, SPLIT_WANT_ALL);
  if (parts.empty())
    return false;
  std::vector<uint32_t> numbers;
  numbers.reserve(parts.size());
  for (StringPiece part : parts) {
    // The number parser would take a '+'; a version never has one.
    if (!part.empty() && part[0] == '+')
      return false;
    unsigned number = 0;
    if (!StringToUint(part, &number))
      return false;
    // The leading component must be written canonically ("01" is refused).
    if (numbers.empty() && part.as_string() != UintToString(number))
      return false;
    numbers.push_back(number);
  }
  components->swap(numbers);
  return true;
}

// static
int Version::CompareVersionComponents(const std::vector<uint32_t>& a,
                                      const std::vector<uint32_t>& b) {
  size_t shared = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < shared; ++i) {
    if (a[i] > b[i])
      return 1;
    if (a[i] < b[i])
      return -1;
  }
  // Only non-zero extra components make the longer version larger.
  if (HasNonZeroFrom(a, shared))
    return 1;
  if (HasNonZeroFrom(b, shared))
    return -1;
  return 0;
}

}  // namespace base
