#include "desktop/launcher/installer/ui/window_resources.h"

#include <objidl.h>
#include <shlwapi.h>

#include <gdiplus.h>

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_comptr.h"

namespace vexlo {
namespace installer {
namespace {

HMODULE g_resource_module_for_testing = nullptr;

// GDI+ is started once, on first use, and left running: the window's
// images may be decoded more than once per run, and stopping it is not
// safe while the process may still decode.
bool StartGdiplus() {
  static bool started = [] {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    const Gdiplus::Status status =
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    if (status != Gdiplus::Ok)
      LOG(ERROR) << "GdiplusStartup failed: " << status;
    return status == Gdiplus::Ok;
  }();
  return started;
}

// A top-down 32-bit DIB section of |width| x |height|, its bits in |bits|.
HBITMAP CreateTopDownBitmap(int width, int height, void** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace

HMODULE GetWindowResourceModule() {
  return g_resource_module_for_testing ? g_resource_module_for_testing
                                       : ::GetModuleHandleW(nullptr);
}

ScopedWindowResourceModuleForTesting::ScopedWindowResourceModuleForTesting(
    HMODULE module)
    : previous_(g_resource_module_for_testing) {
  g_resource_module_for_testing = module;
}

ScopedWindowResourceModuleForTesting::~ScopedWindowResourceModuleForTesting() {
  g_resource_module_for_testing = previous_;
}

base::StringPiece LoadResourceBytes(HMODULE module,
                                    int id,
                                    const wchar_t* type) {
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!resource)
    return base::StringPiece();
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data)
    return base::StringPiece();
  return base::StringPiece(static_cast<const char*>(data),
                           ::SizeofResource(module, resource));
}

HBITMAP DecodeImage(base::StringPiece bytes) {
  if (bytes.empty() || !StartGdiplus())
    return nullptr;
  base::win::ScopedComPtr<IStream> stream;
  *stream.Receive() =
      ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<UINT>(bytes.size()));
  if (!stream.get())
    return nullptr;
  Gdiplus::GpBitmap* image = nullptr;
  if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream.get(), &image) !=
      Gdiplus::Ok) {
    LOG(ERROR) << "An image of the installer window does not decode";
    return nullptr;
  }
  UINT width = 0;
  UINT height = 0;
  Gdiplus::DllExports::GdipGetImageWidth(image, &width);
  Gdiplus::DllExports::GdipGetImageHeight(image, &height);
  void* bits = nullptr;
  HBITMAP bitmap = width && height
                       ? CreateTopDownBitmap(static_cast<int>(width),
                                             static_cast<int>(height), &bits)
                       : nullptr;
  if (bitmap) {
    // GDI+ writes straight into the bitmap's bits, converting to the
    // premultiplied form that AlphaBlend expects.
    Gdiplus::BitmapData data = {};
    data.Width = width;
    data.Height = height;
    data.Stride = static_cast<INT>(width * 4);
    data.PixelFormat = PixelFormat32bppPARGB;
    data.Scan0 = bits;
    Gdiplus::GpRect rect(0, 0, static_cast<INT>(width),
                         static_cast<INT>(height));
    if (Gdiplus::DllExports::GdipBitmapLockBits(
            image, &rect,
            Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
            PixelFormat32bppPARGB, &data) == Gdiplus::Ok) {
      Gdiplus::DllExports::GdipBitmapUnlockBits(image, &data);
    } else {
      ::DeleteObject(bitmap);
      bitmap = nullptr;
    }
  }
  Gdiplus::DllExports::GdipDisposeImage(image);
  return bitmap;
}

base::string16 TermsTextFromResource(base::StringPiece bytes) {
  const size_t end = bytes.find('\0');
  const base::string16 text = base::UTF8ToUTF16(
      end == base::StringPiece::npos ? bytes : bytes.substr(0, end));
  base::string16 result;
  result.reserve(text.size() + text.size() / 16);
  for (wchar_t c : text) {
    if (c == L'\n')
      result += L'\r';
    result += c;
  }
  return result;
}

}  // namespace installer
}  // namespace vexlo
