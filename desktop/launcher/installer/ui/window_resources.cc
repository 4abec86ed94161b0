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

HBITMAP DecodeImage(base::StringPiece bytes, int dpi) {
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
  UINT image_width = 0;
  UINT image_height = 0;
  Gdiplus::DllExports::GdipGetImageWidth(image, &image_width);
  Gdiplus::DllExports::GdipGetImageHeight(image, &image_height);
  const INT width = ::MulDiv(static_cast<int>(image_width), dpi, 96);
  const INT height = ::MulDiv(static_cast<int>(image_height), dpi, 96);
  void* bits = nullptr;
  HBITMAP bitmap = width > 0 && height > 0
                       ? CreateTopDownBitmap(width, height, &bits)
                       : nullptr;
  // GDI+ writes straight into the bitmap's bits, in the premultiplied form
  // that AlphaBlend expects; a scaled image is drawn there smoothly, which
  // stretching it while painting would not do.
  Gdiplus::GpBitmap* target = nullptr;
  if (bitmap && Gdiplus::DllExports::GdipCreateBitmapFromScan0(
                    width, height, width * 4, PixelFormat32bppPARGB,
                    static_cast<BYTE*>(bits), &target) == Gdiplus::Ok) {
    Gdiplus::GpGraphics* graphics = nullptr;
    Gdiplus::DllExports::GdipGetImageGraphicsContext(target, &graphics);
    Gdiplus::DllExports::GdipSetCompositingMode(
        graphics, Gdiplus::CompositingModeSourceCopy);
    Gdiplus::DllExports::GdipSetInterpolationMode(
        graphics, width == static_cast<INT>(image_width)
                      ? Gdiplus::InterpolationModeNearestNeighbor
                      : Gdiplus::InterpolationModeHighQualityBicubic);
    Gdiplus::DllExports::GdipSetPixelOffsetMode(graphics,
                                                Gdiplus::PixelOffsetModeHalf);
    const bool drawn = Gdiplus::DllExports::GdipDrawImageRectI(
                           graphics, image, 0, 0, width, height) == Gdiplus::Ok;
    Gdiplus::DllExports::GdipDeleteGraphics(graphics);
    Gdiplus::DllExports::GdipDisposeImage(target);
    if (!drawn) {
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
