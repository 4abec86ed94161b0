#include "base/strings/string_piece.h"

#include <string.h>

#include <algorithm>
#include <ostream>

namespace base {
namespace {

const size_t kNpos = StringPiece::npos;

// Marks every byte of a set of two or more characters, indexed by its
// unsigned value, so that each byte of the searched text costs one lookup.
class ByteSet {
 public:
  explicit ByteSet(const StringPiece& chars) {
    memset(members_, 0, sizeof(members_));
    for (size_t i = 0; i < chars.size(); ++i)
      members_[static_cast<unsigned char>(chars.data()[i])] = true;
  }
  bool Contains(char c) const {
    return members_[static_cast<unsigned char>(c)];
  }

 private:
  bool members_[256];
};

// Where a backward search starts: min(pos, length - 1) for a non-empty text.
size_t LastIndexFrom(size_t length, size_t pos) {
  return std::min(pos, length - 1);
}

bool ContainsUnit(const StringPiece16& set, char16 c) {
  for (size_t i = 0; i < set.size(); ++i) {
    if (set.data()[i] == c)
      return true;
  }
  return false;
}

// Downward scan for the first character other than `c`.
size_t FindLastNotOfChar(const StringPiece& self, char c, size_t pos) {
  for (size_t i = LastIndexFrom(self.size(), pos);; --i) {
    if (self.data()[i] != c)
      return i;
    if (i == 0)
      return kNpos;
  }
}

}  // namespace

namespace internal {

size_t find(const StringPiece& self, char c, size_t pos) {
  if (pos >= self.size())
    return kNpos;
  const void* hit = memchr(self.data() + pos, c, self.size() - pos);
  return hit ? static_cast<size_t>(static_cast<const char*>(hit) - self.data())
             : kNpos;
}

size_t find(const StringPiece16& self, char16 c, size_t pos) {
  for (size_t i = pos; i < self.size(); ++i) {
    if (self.data()[i] == c)
      return i;
  }
  return kNpos;
}

size_t rfind(const StringPiece& self, char c, size_t pos) {
  if (self.empty())
    return kNpos;
  for (size_t i = LastIndexFrom(self.size(), pos);; --i) {
    if (self.data()[i] == c)
      return i;
    if (i == 0)
      return kNpos;
  }
}

size_t find_first_of(const StringPiece& self,
                     const StringPiece& s,
                     size_t pos) {
  if (self.empty() || s.empty())
    return kNpos;
  if (s.size() == 1)
    return internal::find(self, s.data()[0], pos);
  const ByteSet set(s);
  for (size_t i = pos; i < self.size(); ++i) {
    if (set.Contains(self.data()[i]))
      return i;
  }
  return kNpos;
}

size_t find_first_of(const StringPiece16& self,
                     const StringPiece16& s,
                     size_t pos) {
  for (size_t i = pos; i < self.size(); ++i) {
    if (ContainsUnit(s, self.data()[i]))
      return i;
  }
  return kNpos;
}

size_t find_first_not_of(const StringPiece& self,
                         const StringPiece& s,
                         size_t pos) {
  if (pos >= self.size())
    return kNpos;
  if (s.empty())
    return pos;
  if (s.size() == 1)
    return internal::find_first_not_of(self, s.data()[0], pos);
  const ByteSet set(s);
  for (size_t i = pos; i < self.size(); ++i) {
    if (!set.Contains(self.data()[i]))
      return i;
  }
  return kNpos;
}

size_t find_first_not_of(const StringPiece16& self,
                         const StringPiece16& s,
                         size_t pos) {
  for (size_t i = pos; i < self.size(); ++i) {
    if (!ContainsUnit(s, self.data()[i]))
      return i;
  }
  return kNpos;
}

size_t find_first_not_of(const StringPiece& self, char c, size_t pos) {
  for (size_t i = pos; i < self.size(); ++i) {
    if (self.data()[i] != c)
      return i;
  }
  return kNpos;
}

size_t find_last_of(const StringPiece& self, const StringPiece& s, size_t pos) {
  if (self.empty() || s.empty())
    return kNpos;
  if (s.size() == 1)
    return internal::rfind(self, s.data()[0], pos);
  const ByteSet set(s);
  for (size_t i = LastIndexFrom(self.size(), pos);; --i) {
    if (set.Contains(self.data()[i]))
      return i;
    if (i == 0)
      return kNpos;
  }
}

size_t find_last_not_of(const StringPiece& self,
                        const StringPiece& s,
                        size_t pos) {
  if (self.empty())
    return kNpos;
  if (s.empty())
    return LastIndexFrom(self.size(), pos);
  if (s.size() == 1)
    return FindLastNotOfChar(self, s.data()[0], pos);
  const ByteSet set(s);
  for (size_t i = LastIndexFrom(self.size(), pos);; --i) {
    if (!set.Contains(self.data()[i]))
      return i;
    if (i == 0)
      return kNpos;
  }
}

size_t find_last_not_of(const StringPiece16& self,
                        const StringPiece16& s,
                        size_t pos) {
  if (self.empty())
    return kNpos;
  for (size_t i = LastIndexFrom(self.size(), pos);; --i) {
    if (!ContainsUnit(s, self.data()[i]))
      return i;
    if (i == 0)
      return kNpos;
  }
}

bool Equals(const StringPiece& a, const StringPiece& b) {
  return a.size() == b.size() &&
         (a.empty() || memcmp(a.data(), b.data(), a.size()) == 0);
}

}  // namespace internal

bool StringPieceLess::operator()(const StringPiece& a,
                                 const StringPiece& b) const {
  const size_t common = std::min(a.size(), b.size());
  const int order = common ? memcmp(a.data(), b.data(), common) : 0;
  return order < 0 || (order == 0 && a.size() < b.size());
}

std::ostream& operator<<(std::ostream& o, const StringPiece& piece) {
  o.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  return o;
}

}  // namespace base
