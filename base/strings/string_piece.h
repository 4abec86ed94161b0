#ifndef BASE_STRINGS_STRING_PIECE_H_
#define BASE_STRINGS_STRING_PIECE_H_

#include <stddef.h>

#include <iosfwd>
#include <string>

#include "base/strings/string16.h"

namespace base {

template <typename STRING_TYPE>
class BasicStringPiece;
typedef BasicStringPiece<std::string> StringPiece;
typedef BasicStringPiece<string16> StringPiece16;

// The searches live out of line. Only the narrow or wide forms that exist are
// declared, so a member below that has no overload for one of the two piece
// types simply cannot be used on it.
namespace internal {

size_t find(const StringPiece& self, char c, size_t pos);
size_t find(const StringPiece16& self, char16 c, size_t pos);

size_t rfind(const StringPiece& self, char c, size_t pos);

size_t find_first_of(const StringPiece& self, const StringPiece& s, size_t pos);
size_t find_first_of(const StringPiece16& self,
                     const StringPiece16& s,
                     size_t pos);

size_t find_first_not_of(const StringPiece& self,
                         const StringPiece& s,
                         size_t pos);
size_t find_first_not_of(const StringPiece16& self,
                         const StringPiece16& s,
                         size_t pos);
size_t find_first_not_of(const StringPiece& self, char c, size_t pos);

size_t find_last_of(const StringPiece& self, const StringPiece& s, size_t pos);

size_t find_last_not_of(const StringPiece& self,
                        const StringPiece& s,
                        size_t pos);
size_t find_last_not_of(const StringPiece16& self,
                        const StringPiece16& s,
                        size_t pos);

bool Equals(const StringPiece& a, const StringPiece& b);

}  // namespace internal

// A non-owning view of text: a pointer to the first character and a length in
// characters. It is valid only while the text it views lives.
template <typename STRING_TYPE>
class BasicStringPiece {
 public:
  typedef size_t size_type;
  typedef typename STRING_TYPE::value_type value_type;
  typedef const value_type* pointer;
  typedef const value_type& reference;
  typedef const value_type& const_reference;
  typedef const value_type* const_iterator;

  static constexpr size_type npos = static_cast<size_type>(-1);

  constexpr BasicStringPiece() : ptr_(nullptr), length_(0) {}
  // A null text is taken as an empty one.
  BasicStringPiece(const value_type* str)  // NOLINT(runtime/explicit)
      : ptr_(str), length_(str ? STRING_TYPE::traits_type::length(str) : 0) {}
  BasicStringPiece(const STRING_TYPE& str)  // NOLINT(runtime/explicit)
      : ptr_(str.data()), length_(str.size()) {}
  constexpr BasicStringPiece(const value_type* offset, size_type len)
      : ptr_(offset), length_(len) {}

  constexpr const value_type* data() const { return ptr_; }
  constexpr size_type size() const { return length_; }
  constexpr size_type length() const { return length_; }
  constexpr bool empty() const { return length_ == 0; }

  value_type operator[](size_type i) const { return ptr_[i]; }
  const_iterator begin() const { return ptr_; }
  const_iterator end() const { return ptr_ + length_; }

  size_type find(value_type c, size_type pos = 0) const {
    return internal::find(*this, c, pos);
  }
  size_type rfind(value_type c, size_type pos = npos) const {
    return internal::rfind(*this, c, pos);
  }
  size_type find_first_of(const BasicStringPiece& s, size_type pos = 0) const {
    return internal::find_first_of(*this, s, pos);
  }
  size_type find_first_not_of(const BasicStringPiece& s,
                              size_type pos = 0) const {
    return internal::find_first_not_of(*this, s, pos);
  }
  size_type find_first_not_of(value_type c, size_type pos = 0) const {
    return internal::find_first_not_of(*this, c, pos);
  }
  size_type find_last_of(const BasicStringPiece& s,
                         size_type pos = npos) const {
    return internal::find_last_of(*this, s, pos);
  }
  size_type find_last_not_of(const BasicStringPiece& s,
                             size_type pos = npos) const {
    return internal::find_last_not_of(*this, s, pos);
  }

  // Starts at min(pos, length) and keeps at most the n characters left there.
  BasicStringPiece substr(size_type pos, size_type n = npos) const {
    if (pos > length_)
      pos = length_;
    if (n > length_ - pos)
      n = length_ - pos;
    return BasicStringPiece(ptr_ + pos, n);
  }

  void CopyToString(STRING_TYPE* target) const {
    if (empty())
      target->clear();
    else
      target->assign(ptr_, length_);
  }
  void AppendToString(STRING_TYPE* target) const {
    if (!empty())
      target->append(ptr_, length_);
  }
  STRING_TYPE as_string() const {
    return empty() ? STRING_TYPE() : STRING_TYPE(ptr_, length_);
  }

 private:
  const value_type* ptr_;
  size_type length_;
};

// Narrow pieces only: same length and the same bytes.
inline bool operator==(const StringPiece& a, const StringPiece& b) {
  return internal::Equals(a, b);
}
inline bool operator!=(const StringPiece& a, const StringPiece& b) {
  return !(a == b);
}

// Byte-wise order over the shorter length (bytes as unsigned values); on a
// tie the shorter piece comes first.
struct StringPieceLess {
  bool operator()(const StringPiece& a, const StringPiece& b) const;
};

// Writes the bytes as they are; the stream's field width is not applied.
std::ostream& operator<<(std::ostream& o, const StringPiece& piece);

}  // namespace base

#endif  // BASE_STRINGS_STRING_PIECE_H_
