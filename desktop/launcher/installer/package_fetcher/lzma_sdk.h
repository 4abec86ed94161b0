#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_LZMA_SDK_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_LZMA_SDK_H_

// The 7z decoder's C headers, which declare no C linkage of their own.
#include <windows.h>

extern "C" {
#include <lzmasdk/7z.h>
#include <lzmasdk/7zAlloc.h>
#include <lzmasdk/7zCrc.h>
#include <lzmasdk/7zTypes.h>
#include <lzmasdk/Lzma2Dec.h>
#include <lzmasdk/LzmaDec.h>
}

namespace vexlo {
namespace installer {

// The decoder's plain heap allocator.
inline const ISzAlloc kHeapAllocator = {&SzAlloc, &SzFree};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_LZMA_SDK_H_
