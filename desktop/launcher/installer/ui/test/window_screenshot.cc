#include "desktop/launcher/installer/ui/test/window_screenshot.h"

#include <objidl.h>

#include <gdiplus.h>

#include <algorithm>

namespace vexlo {
namespace installer {
namespace {

// The PNG encoder of GDI+.
const CLSID kPngEncoder = {0x557cf406,
                           0x1a04,
                           0x11d3,
                           {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

// A copy of |window|'s client area, or null.
HBITMAP CopyClientArea(HWND window, RECT* client) {
  if (!::GetClientRect(window, client))
    return nullptr;
  HDC window_dc = ::GetDC(window);
  HDC copy_dc = ::CreateCompatibleDC(window_dc);
  HBITMAP copy =
      ::CreateCompatibleBitmap(window_dc, client->right, client->bottom);
  HGDIOBJ old = ::SelectObject(copy_dc, copy);
  ::BitBlt(copy_dc, 0, 0, client->right, client->bottom, window_dc, 0, 0,
           SRCCOPY);
  ::SelectObject(copy_dc, old);
  ::DeleteDC(copy_dc);
  ::ReleaseDC(window, window_dc);
  return copy;
}

// GDI+ ready for use while it lives.
class GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok)
      token_ = 0;
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  ~GdiplusSession() {
    if (token_)
      Gdiplus::GdiplusShutdown(token_);
  }

  bool started() const { return token_ != 0; }

 private:
  ULONG_PTR token_ = 0;
};

}  // namespace

bool SaveClientImage(HWND window, const base::FilePath& path) {
  RECT client = {};
  HBITMAP copy = CopyClientArea(window, &client);
  if (!copy)
    return false;
  GdiplusSession gdiplus;
  Gdiplus::GpBitmap* image = nullptr;
  bool saved = false;
  if (gdiplus.started() && Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(
                               copy, nullptr, &image) == Gdiplus::Ok) {
    saved =
        Gdiplus::DllExports::GdipSaveImageToFile(
            image, path.value().c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
    Gdiplus::DllExports::GdipDisposeImage(image);
  }
  ::DeleteObject(copy);
  return saved;
}

bool ImageHasColor(const base::FilePath& path,
                   const RECT& rect,
                   COLORREF color) {
  GdiplusSession gdiplus;
  Gdiplus::GpBitmap* image = nullptr;
  if (!gdiplus.started() || Gdiplus::DllExports::GdipCreateBitmapFromFile(
                                path.value().c_str(), &image) != Gdiplus::Ok) {
    return false;
  }
  UINT width = 0;
  UINT height = 0;
  Gdiplus::DllExports::GdipGetImageWidth(image, &width);
  Gdiplus::DllExports::GdipGetImageHeight(image, &height);
  bool found = false;
  for (LONG y = std::max(0L, rect.top);
       y < std::min<LONG>(rect.bottom, height) && !found; ++y) {
    for (LONG x = std::max(0L, rect.left);
         x < std::min<LONG>(rect.right, width) && !found; ++x) {
      Gdiplus::ARGB pixel = 0;
      Gdiplus::DllExports::GdipBitmapGetPixel(image, x, y, &pixel);
      found =
          RGB((pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff) == color;
    }
  }
  Gdiplus::DllExports::GdipDisposeImage(image);
  return found;
}

bool ClientAreaHasColor(HWND window, const RECT& rect, COLORREF color) {
  RECT client = {};
  HBITMAP copy = CopyClientArea(window, &client);
  if (!copy)
    return false;
  HDC dc = ::CreateCompatibleDC(nullptr);
  HGDIOBJ old = ::SelectObject(dc, copy);
  bool found = false;
  for (LONG y = rect.top; y < rect.bottom && !found; ++y) {
    for (LONG x = rect.left; x < rect.right && !found; ++x)
      found = ::GetPixel(dc, x, y) == color;
  }
  ::SelectObject(dc, old);
  ::DeleteDC(dc);
  ::DeleteObject(copy);
  return found;
}

}  // namespace installer
}  // namespace vexlo
