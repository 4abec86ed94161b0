// A child program for the process tests to launch, watch and end. It links
// nothing of the library, so that what a test sees comes from the launch
// alone. The first argument picks what it does:
//   exit CODE          exits with CODE (decimal, up to 0xFFFFFFFF)
//   write COUNT        writes COUNT bytes ("abc...z", repeated) to standard
//                      output, then "err" to standard error
//   sleep              waits until it is ended from outside
//   signal HANDLE...   sets each event HANDLE (hexadecimal values); exits
//                      with a bit set for each one that could not be set
//   startup-info       writes "flags=F show=S " (F and S decimal) to
//                      standard output
//   wait-for HANDLE    waits at most 30 s for the event HANDLE (hexadecimal
//                      value, inherited), then writes "signaled" or
//                      "timed out" to standard output
// Anything else exits with 255; a failed write exits with 1.

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace {

bool WriteAll(DWORD std_handle, const char* data, DWORD size) {
  HANDLE handle = GetStdHandle(std_handle);
  DWORD written = 0;
  while (size > 0 && WriteFile(handle, data, size, &written, nullptr) &&
         written > 0) {
    data += written;
    size -= written;
  }
  return size == 0;
}

int Write(unsigned long count) {
  char chunk[256];
  for (size_t i = 0; i < sizeof(chunk); ++i)
    chunk[i] = static_cast<char>('a' + i % 26);
  for (; count > 0; count -= count < 256 ? count : 256) {
    if (!WriteAll(STD_OUTPUT_HANDLE, chunk, count < 256 ? count : 256))
      return 1;
  }
  return WriteAll(STD_ERROR_HANDLE, "err", 3) ? 0 : 1;
}

int Signal(int count, wchar_t** handles) {
  int failures = 0;
  for (int i = 0; i < count && i < 30; ++i) {
    if (!SetEvent(reinterpret_cast<HANDLE>(wcstoull(handles[i], nullptr, 16))))
      failures |= 1 << i;
  }
  return failures;
}

int StartupInfo() {
  STARTUPINFOW info = {};
  info.cb = sizeof(info);
  GetStartupInfoW(&info);
  char text[64];
  const int length = snprintf(text, sizeof(text), "flags=%lu show=%u ",
                              info.dwFlags, info.wShowWindow);
  return WriteAll(STD_OUTPUT_HANDLE, text, length) ? 0 : 1;
}

int WaitFor(const wchar_t* handle) {
  const DWORD waited = WaitForSingleObject(
      reinterpret_cast<HANDLE>(wcstoull(handle, nullptr, 16)), 30000);
  const char* text = waited == WAIT_OBJECT_0 ? "signaled" : "timed out";
  return WriteAll(STD_OUTPUT_HANDLE, text, static_cast<DWORD>(strlen(text)))
             ? 0
             : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* mode = argc > 1 ? argv[1] : L"";
  const unsigned long number = argc > 2 ? wcstoul(argv[2], nullptr, 10) : 0;
  if (wcscmp(mode, L"exit") == 0)
    ExitProcess(number);
  if (wcscmp(mode, L"write") == 0)
    return Write(number);
  if (wcscmp(mode, L"sleep") == 0)
    Sleep(INFINITE);
  if (wcscmp(mode, L"signal") == 0)
    return Signal(argc - 2, argv + 2);
  if (wcscmp(mode, L"startup-info") == 0)
    return StartupInfo();
  if (wcscmp(mode, L"wait-for") == 0 && argc > 2)
    return WaitFor(argv[2]);
  return 255;
}
