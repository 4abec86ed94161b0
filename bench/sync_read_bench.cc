// The plainest download the platform allows: one synchronous
// InternetReadFile loop with a 256 KiB buffer (the installer client's read
// size) writing into a file, as the ceiling of what a client can reach here.
//   sync_read_bench.exe URL TARGET
// Prints "seconds: S" for the download, from opening the URL to the last
// byte written; exits non-zero when it fails.

#include <windows.h>

#include <wininet.h>

#include <stdio.h>

#include <vector>

#include "bench/bench_clock.h"

namespace {

constexpr DWORD kBufferSize = 256 * 1024;

// Closes an internet handle when it goes out of scope.
class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  ~InternetHandle() {
    if (handle_)
      ::InternetCloseHandle(handle_);
  }
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: sync_read_bench URL TARGET\n");
    return 2;
  }
  HANDLE file = ::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "sync_read_bench: cannot create the target\n");
    return 1;
  }
  std::vector<char> buffer(kBufferSize);
  const double start = bench::Now();
  InternetHandle session(::InternetOpenW(
      L"sync_read_bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  InternetHandle request(
      session.get()
          ? ::InternetOpenUrlW(
                session.get(), argv[1], nullptr, 0,
                INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD, 0)
          : nullptr);
  bool ok = request.get() != nullptr;
  unsigned long long total = 0;
  while (ok) {
    DWORD read = 0;
    ok = ::InternetReadFile(request.get(), buffer.data(), kBufferSize, &read);
    if (!ok || read == 0)
      break;
    DWORD written = 0;
    ok = ::WriteFile(file, buffer.data(), read, &written, nullptr) &&
         written == read;
    total += read;
  }
  const double seconds = bench::Now() - start;
  ::CloseHandle(file);
  if (!ok) {
    fprintf(stderr, "sync_read_bench: the download failed (%lu)\n",
            ::GetLastError());
    return 1;
  }
  printf("bytes: %llu\nseconds: %.6f\n", total, seconds);
  return 0;
}
