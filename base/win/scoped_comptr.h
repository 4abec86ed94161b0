#ifndef BASE_WIN_SCOPED_COMPTR_H_
#define BASE_WIN_SCOPED_COMPTR_H_

#include <unknwn.h>

namespace base {
namespace win {

// Holds one reference to a COM object through |Interface| and releases it
// when it goes, so that every return path lets go of the object.
template <class Interface>
class ScopedComPtr {
 public:
  ScopedComPtr() = default;
  ScopedComPtr(const ScopedComPtr&) = delete;
  ScopedComPtr& operator=(const ScopedComPtr&) = delete;
  ~ScopedComPtr() { Reset(); }

  Interface* get() const { return ptr_; }
  Interface* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  // Releases the reference held, if any.
  void Reset() {
    Interface* ptr = ptr_;
    ptr_ = nullptr;
    if (ptr)
      ptr->Release();
  }

  // Releases the reference held and returns the empty slot, for a call that
  // hands out a new reference.
  Interface** Receive() {
    Reset();
    return &ptr_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

  // Asks |object| for |Interface|; on failure nothing is held.
  HRESULT QueryFrom(IUnknown* object) {
    return object->QueryInterface(__uuidof(Interface), ReceiveVoid());
  }

 private:
  Interface* ptr_ = nullptr;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_COMPTR_H_
