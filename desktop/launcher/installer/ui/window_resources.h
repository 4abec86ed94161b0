#ifndef DESKTOP_LAUNCHER_INSTALLER_UI_WINDOW_RESOURCES_H_
#define DESKTOP_LAUNCHER_INSTALLER_UI_WINDOW_RESOURCES_H_

#include <windows.h>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace vexlo {
namespace installer {

// The owner of one GDI object (font, bitmap, brush).
template <typename Handle>
class GdiObject {
 public:
  GdiObject() : handle_(nullptr) {}
  explicit GdiObject(Handle handle) : handle_(handle) {}
  GdiObject(GdiObject&& other) : handle_(other.release()) {}
  GdiObject& operator=(GdiObject&& other) {
    reset(other.release());
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  ~GdiObject() { reset(nullptr); }

  Handle get() const { return handle_; }
  Handle release() {
    Handle handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void reset(Handle handle) {
    if (handle_)
      ::DeleteObject(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_;
};

// The module whose resources make the window: the host executable, or the
// module that a test put in its place.
HMODULE GetWindowResourceModule();

// Makes |module| the resource module while it lives.
class ScopedWindowResourceModuleForTesting {
 public:
  explicit ScopedWindowResourceModuleForTesting(HMODULE module);
  ScopedWindowResourceModuleForTesting(
      const ScopedWindowResourceModuleForTesting&) = delete;
  ScopedWindowResourceModuleForTesting& operator=(
      const ScopedWindowResourceModuleForTesting&) = delete;
  ~ScopedWindowResourceModuleForTesting();

 private:
  const HMODULE previous_;
};

// The bytes of resource |id| of |type| in |module|; empty when missing.
// They live as long as the module.
base::StringPiece LoadResourceBytes(HMODULE module,
                                    int id,
                                    const wchar_t* type);

// |bytes| (PNG, JPEG, ...) decoded into a top-down 32-bit bitmap with
// premultiplied alpha, ready for AlphaBlend, and scaled from 96 to |dpi|;
// null when they do not decode.
HBITMAP DecodeImage(base::StringPiece bytes, int dpi);

// The terms text of a UTF-8 resource: it ends at its first NUL or at the
// end of the resource, whichever comes first, and each line feed becomes
// a carriage return and line feed, as an edit control needs.
base::string16 TermsTextFromResource(base::StringPiece bytes);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_UI_WINDOW_RESOURCES_H_
