#ifndef BASE_MEMORY_REF_COUNTED_H_
#define BASE_MEMORY_REF_COUNTED_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace base {

// The reference count of objects shared across threads: one signed 32-bit
// word, starting at 0 and changed only atomically, so that references may be
// taken and dropped on any thread without a lock.
class RefCountedThreadSafeBase {
 public:
  RefCountedThreadSafeBase(const RefCountedThreadSafeBase&) = delete;
  RefCountedThreadSafeBase& operator=(const RefCountedThreadSafeBase&) = delete;

  // Whether the caller's reference is the only one.
  bool HasOneRef() const;

 protected:
  RefCountedThreadSafeBase() = default;
  ~RefCountedThreadSafeBase() = default;

  void AddRef() const;
  // Drops one reference. True when it was the last: the caller then
  // destroys the object.
  bool Release() const;

 private:
  mutable std::atomic<int32_t> ref_count_{0};
};

template <class T, typename Traits>
class RefCountedThreadSafe;

// Deletes the object when its last reference goes.
template <typename T>
struct DefaultRefCountedThreadSafeTraits {
  static void Destruct(const T* object) {
    RefCountedThreadSafe<T, DefaultRefCountedThreadSafeTraits>::DeleteInternal(
        object);
  }
};

// Base of a class T whose objects are shared through scoped_refptr<T> across
// threads. Traits::Destruct(const T*) runs when the last reference goes.
//   class Job : public base::RefCountedThreadSafe<Job> {
//    private:
//     friend class base::RefCountedThreadSafe<Job>;
//     ~Job();
//   };
template <class T, typename Traits = DefaultRefCountedThreadSafeTraits<T>>
class RefCountedThreadSafe : public RefCountedThreadSafeBase {
 public:
  void AddRef() const { RefCountedThreadSafeBase::AddRef(); }
  void Release() const {
    if (RefCountedThreadSafeBase::Release())
      Traits::Destruct(static_cast<const T*>(this));
  }

 protected:
  RefCountedThreadSafe() = default;
  ~RefCountedThreadSafe() = default;

 private:
  friend struct DefaultRefCountedThreadSafeTraits<T>;
  static void DeleteInternal(const T* object) { delete object; }
};

// The reference count of objects used on one thread only: a plain integer.
class RefCountedBase {
 public:
  RefCountedBase(const RefCountedBase&) = delete;
  RefCountedBase& operator=(const RefCountedBase&) = delete;

  bool HasOneRef() const { return ref_count_ == 1; }

 protected:
  RefCountedBase() = default;
  ~RefCountedBase() = default;

  void AddRef() const { ++ref_count_; }
  // True when the last reference was dropped.
  bool Release() const { return --ref_count_ == 0; }

 private:
  mutable int32_t ref_count_ = 0;
};

// Base of a class T whose objects are shared through scoped_refptr<T> on one
// thread; the last release deletes the object.
template <class T>
class RefCounted : public RefCountedBase {
 public:
  void AddRef() const { RefCountedBase::AddRef(); }
  void Release() const {
    if (RefCountedBase::Release())
      delete static_cast<const T*>(this);
  }

 protected:
  RefCounted() = default;
  ~RefCounted() = default;
};

// Holds one reference to a counted object (any type with AddRef and
// Release) for as long as it points at it.
template <class T>
class scoped_refptr {
 public:
  typedef T element_type;

  scoped_refptr() = default;
  scoped_refptr(std::nullptr_t) {}  // NOLINT
  scoped_refptr(T* p) : ptr_(p) {   // NOLINT
    if (ptr_)
      ptr_->AddRef();
  }
  scoped_refptr(const scoped_refptr& other) : scoped_refptr(other.ptr_) {}
  template <typename U>
  scoped_refptr(const scoped_refptr<U>& other)  // NOLINT
      : scoped_refptr(other.get()) {}
  scoped_refptr(scoped_refptr&& other) noexcept
      : ptr_(std::exchange(other.ptr_, nullptr)) {}
  template <typename U>
  scoped_refptr(scoped_refptr<U>&& other) noexcept  // NOLINT
      : ptr_(std::exchange(other.ptr_, nullptr)) {}

  ~scoped_refptr() {
    if (ptr_)
      ptr_->Release();
  }

  // The new object gains its reference before the old one loses its own,
  // so assigning a pointer to the object already held is safe.
  scoped_refptr& operator=(T* p) {
    if (p)
      p->AddRef();
    T* old = std::exchange(ptr_, p);
    if (old)
      old->Release();
    return *this;
  }
  scoped_refptr& operator=(const scoped_refptr& other) {
    return *this = other.ptr_;
  }
  scoped_refptr& operator=(scoped_refptr&& other) noexcept {
    scoped_refptr(std::move(other)).swap(*this);
    return *this;
  }

  T* get() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  void swap(scoped_refptr& other) { std::swap(ptr_, other.ptr_); }

 private:
  template <typename U>
  friend class scoped_refptr;

  T* ptr_ = nullptr;
};

template <class T, class U>
bool operator==(const scoped_refptr<T>& a, const scoped_refptr<U>& b) {
  return a.get() == b.get();
}
template <class T, class U>
bool operator!=(const scoped_refptr<T>& a, const scoped_refptr<U>& b) {
  return !(a == b);
}
template <class T>
bool operator==(const scoped_refptr<T>& a, std::nullptr_t) {
  return !a;
}
template <class T>
bool operator!=(const scoped_refptr<T>& a, std::nullptr_t) {
  return static_cast<bool>(a);
}
template <class T>
bool operator==(std::nullptr_t, const scoped_refptr<T>& a) {
  return !a;
}
template <class T>
bool operator!=(std::nullptr_t, const scoped_refptr<T>& a) {
  return static_cast<bool>(a);
}

}  // namespace base

#endif  // BASE_MEMORY_REF_COUNTED_H_
