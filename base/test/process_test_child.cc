// A child program for the process tests to launch, watch and end. It links
// nothing of the library, so that what a test sees comes from the launch
// alone. The first argument picks what it does:
//   exit CODE          exits with CODE (decimal, up to 0xFFFFFFFF)
//   write COUNT        writes COUNT bytes to standard output, exits with 0
//   write-both         writes "out" to standard output and "err" to standard
//                      error, exits with 0
//   sleep              waits until it is ended from outside
//   signal HANDLE...   sets each event HANDLE (hexadecimal values); exits
//                      with a bit set for each one that could not be set
//   startup-info       writes "flags=F show=S desktop=<D>" (F and S decimal)
//                      to standard output
// Anything else exits with 255.

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

namespace {

constexpr int kUsageError = 255;

bool WriteAll(HANDLE handle, const char* data, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(handle, data, size, &written, nullptr) || written == 0)
      return false;
    data += written;
    size -= written;
  }
  return true;
}

int WriteCount(const wchar_t* count_text) {
  const unsigned long count = wcstoul(count_text, nullptr, 10);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  char chunk[256];
  for (size_t i = 0; i < sizeof(chunk); ++i)
    chunk[i] = static_cast<char>('a' + i % 26);
  unsigned long left = count;
  while (left > 0) {
    const DWORD size = left < sizeof(chunk) ? left : sizeof(chunk);
    if (!WriteAll(out, chunk, size))
      return 1;
    left -= size;
  }
  return 0;
}

int WriteBoth() {
  const bool written = WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), "out", 3) &&
                       WriteAll(GetStdHandle(STD_ERROR_HANDLE), "err", 3);
  return written ? 0 : 1;
}

int Signal(int count, wchar_t** handles) {
  int failures = 0;
  for (int i = 0; i < count && i < 30; ++i) {
    HANDLE event = reinterpret_cast<HANDLE>(
        static_cast<uintptr_t>(wcstoull(handles[i], nullptr, 16)));
    if (!SetEvent(event))
      failures |= 1 << i;
  }
  return failures;
}

int StartupInfo() {
  STARTUPINFOW info = {};
  info.cb = sizeof(info);
  GetStartupInfoW(&info);
  char text[512];
  const int length =
      snprintf(text, sizeof(text), "flags=%lu show=%u desktop=<%ls>",
               info.dwFlags, static_cast<unsigned>(info.wShowWindow),
               info.lpDesktop ? info.lpDesktop : L"(null)");
  if (length < 0 || length >= static_cast<int>(sizeof(text)))
    return 1;
  return WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), text, length) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2)
    return kUsageError;
  const wchar_t* mode = argv[1];
  if (wcscmp(mode, L"exit") == 0 && argc == 3)
    ExitProcess(static_cast<UINT>(wcstoul(argv[2], nullptr, 10)));
  if (wcscmp(mode, L"write") == 0 && argc == 3)
    return WriteCount(argv[2]);
  if (wcscmp(mode, L"write-both") == 0)
    return WriteBoth();
  if (wcscmp(mode, L"sleep") == 0) {
    Sleep(INFINITE);
    return 0;
  }
  if (wcscmp(mode, L"signal") == 0)
    return Signal(argc - 2, argv + 2);
  if (wcscmp(mode, L"startup-info") == 0)
    return StartupInfo();
  return kUsageError;
}
