#ifndef DESKTOP_LAUNCHER_INSTALLER_UI_TEST_WINDOW_SCREENSHOT_H_
#define DESKTOP_LAUNCHER_INSTALLER_UI_TEST_WINDOW_SCREENSHOT_H_

#include <windows.h>

#include "base/files/file_path.h"

namespace vexlo {
namespace installer {

// Saves what |window|'s client area shows as a PNG file. The window may
// belong to another process: its device context reads the display.
bool SaveClientImage(HWND window, const base::FilePath& path);

// Whether some pixel inside |rect| of the image file |path| has exactly
// |color|; false for a file that is no image.
bool ImageHasColor(const base::FilePath& path,
                   const RECT& rect,
                   COLORREF color);

// Whether some pixel of |window| inside |rect| (client coordinates) has
// exactly |color|.
bool ClientAreaHasColor(HWND window, const RECT& rect, COLORREF color);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_UI_TEST_WINDOW_SCREENSHOT_H_
