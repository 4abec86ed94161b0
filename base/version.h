#ifndef BASE_VERSION_H_
#define BASE_VERSION_H_

#include <stdint.h>

#include <string>
#include <vector>

namespace base {

// A dotted version number such as "52.0.2871.64": unsigned 32-bit components,
// most significant first. Missing trailing components compare as 0.
class Version {
 public:
  // Invalid (no components) unless |version_text| parses.
  explicit Version(const std::string& version_text);

  // True when the version has at least one component.
  bool IsValid() const;

  // -1, 0 or 1 as this version is lower than, equal to or higher than
  // |other|. Meant for two valid versions.
  int CompareTo(const Version& other) const;

  // Reads decimal components separated by single dots. Every component must
  // be plain digits within 32 bits; the first one may not have leading zeros.
  // |components| is written only on success.
  static bool ParseVersionNumbers(const std::string& version_text,
                                  std::vector<uint32_t>* components);

  static int CompareVersionComponents(const std::vector<uint32_t>& a,
                                      const std::vector<uint32_t>& b);

 private:
  std::vector<uint32_t> components_;
};

}  // namespace base

#endif  // BASE_VERSION_H_
