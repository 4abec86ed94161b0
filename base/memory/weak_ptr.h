#ifndef BASE_MEMORY_WEAK_PTR_H_
#define BASE_MEMORY_WEAK_PTR_H_

#include <cstddef>
#include <utility>

#include "base/logging.h"
#include "base/memory/ref_counted.h"

// Weak pointers let an object hand out pointers to itself that turn null once
// the object is gone, so that calls posted to it become harmless:
//   class Worker {
//    public:
//     Worker() : weak_factory_(this) {}
//     base::WeakPtr<Worker> AsWeakPtr() { return weak_factory_.GetWeakPtr(); }
//    private:
//     base::WeakPtrFactory<Worker> weak_factory_;  // Last member.
//   };
// A weak pointer is tested and followed only on the thread that owns the
// object; it may be copied and destroyed on any thread.

namespace base {

template <typename T>
class WeakPtr;
template <typename T>
class WeakPtrFactory;

// The holder side: one counted reference to the validity record of an owner.
class WeakReference {
 public:
  // The validity record shared by an owner and its references. Created valid
  // and holding the owner's reference; freed when the last one goes.
  class Flag : public RefCountedThreadSafe<Flag> {
   public:
    Flag() = default;

    // Only on the owner's thread.
    void Invalidate() { is_valid_ = false; }
    bool IsValid() const { return is_valid_; }

   private:
    friend class RefCountedThreadSafe<Flag>;
    ~Flag() = default;

    bool is_valid_ = true;
  };

  WeakReference() = default;
  explicit WeakReference(const Flag* flag);
  WeakReference(const WeakReference& other) = default;
  WeakReference(WeakReference&& other) noexcept = default;
  WeakReference& operator=(const WeakReference& other) = default;
  WeakReference& operator=(WeakReference&& other) noexcept = default;
  ~WeakReference() = default;

  // True while the owner has not invalidated the record held.
  bool IsValid() const;

  // The record held, null when none; two references share an owner's state
  // exactly when they hold the same record.
  const Flag* flag() const { return flag_.get(); }

 private:
  scoped_refptr<const Flag> flag_;
};

// The owner side, embedded in the object or in its weak-pointer factory.
class WeakReferenceOwner {
 public:
  WeakReferenceOwner() = default;
  WeakReferenceOwner(const WeakReferenceOwner&) = delete;
  WeakReferenceOwner& operator=(const WeakReferenceOwner&) = delete;
  // Invalidates every outstanding reference.
  ~WeakReferenceOwner();

  // A reference to the current record. When no reference is outstanding a
  // fresh record replaces the current one first.
  WeakReference GetRef();

  // Marks every reference handed out so far invalid. References obtained
  // afterwards share a new record and are valid.
  void Invalidate();

 private:
  scoped_refptr<WeakReference::Flag> flag_;
};

// A pointer to a T that reads as null once the T's owner has invalidated it.
template <typename T>
class WeakPtr {
 public:
  WeakPtr() = default;
  WeakPtr(std::nullptr_t) {}  // NOLINT
  WeakPtr(const WeakPtr& other) = default;
  template <typename U>
  WeakPtr(const WeakPtr<U>& other)  // NOLINT
      : ref_(other.ref_), ptr_(other.ptr_) {}
  // Takes the other's record and object, leaving it null.
  WeakPtr(WeakPtr&& other) noexcept
      : ref_(std::move(other.ref_)), ptr_(std::exchange(other.ptr_, nullptr)) {}
  WeakPtr& operator=(const WeakPtr& other) = default;
  WeakPtr& operator=(WeakPtr&& other) noexcept {
    ref_ = std::move(other.ref_);
    ptr_ = std::exchange(other.ptr_, nullptr);
    return *this;
  }
  ~WeakPtr() = default;

  // The object, or null when it was invalidated (or none was set).
  T* get() const { return ref_.IsValid() ? ptr_ : nullptr; }
  T& operator*() const {
    DCHECK(get());
    return *get();
  }
  T* operator->() const {
    DCHECK(get());
    return get();
  }
  explicit operator bool() const { return get() != nullptr; }

  void reset() {
    ref_ = WeakReference();
    ptr_ = nullptr;
  }

 private:
  template <typename U>
  friend class WeakPtr;
  friend class WeakPtrFactory<T>;

  WeakPtr(WeakReference ref, T* ptr) : ref_(std::move(ref)), ptr_(ptr) {}

  WeakReference ref_;
  T* ptr_ = nullptr;
};

template <typename T>
bool operator==(const WeakPtr<T>& weak, std::nullptr_t) {
  return !weak;
}
template <typename T>
bool operator!=(const WeakPtr<T>& weak, std::nullptr_t) {
  return static_cast<bool>(weak);
}
template <typename T>
bool operator==(std::nullptr_t, const WeakPtr<T>& weak) {
  return !weak;
}
template <typename T>
bool operator!=(std::nullptr_t, const WeakPtr<T>& weak) {
  return static_cast<bool>(weak);
}

// Hands out weak pointers to one object. Destroying the factory invalidates
// them, so it is best the last member of the object it points to: its
// pointers then turn null before the other members are torn down.
template <typename T>
class WeakPtrFactory {
 public:
  explicit WeakPtrFactory(T* ptr) : ptr_(ptr) {}
  WeakPtrFactory(const WeakPtrFactory&) = delete;
  WeakPtrFactory& operator=(const WeakPtrFactory&) = delete;
  // Clears the object pointer; the owner member then invalidates.
  ~WeakPtrFactory() { ptr_ = nullptr; }

  WeakPtr<T> GetWeakPtr() {
    DCHECK(ptr_);
    return WeakPtr<T>(owner_.GetRef(), ptr_);
  }

  // Turns every weak pointer handed out so far null; later ones are valid.
  void InvalidateWeakPtrs() {
    DCHECK(ptr_);
    owner_.Invalidate();
  }

 private:
  WeakReferenceOwner owner_;
  T* ptr_;
};

}  // namespace base

#endif  // BASE_MEMORY_WEAK_PTR_H_
