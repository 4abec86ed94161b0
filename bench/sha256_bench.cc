// Hashes a file with SHA-256 through crypto::SecureHash, the way the
// installer checks a downloaded package, and reports how long it took.
//   sha256_bench.exe FILE [PASSES]
// Prints one line per pass: "<hex digest> <bytes> <seconds>".

#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <memory>
#include <vector>

#include "bench/bench_clock.h"
#include "crypto/secure_hash.h"

using bench::Now;

namespace {

// Large reads keep the per-call overhead of the file system and of the hash
// negligible against the hashing itself.
constexpr DWORD kReadSize = 4 * 1024 * 1024;

class ScopedFileHandle {
 public:
  explicit ScopedFileHandle(HANDLE handle) : handle_(handle) {}
  ScopedFileHandle(const ScopedFileHandle&) = delete;
  ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;
  ~ScopedFileHandle() {
    if (is_valid())
      CloseHandle(handle_);
  }
  bool is_valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Opens, reads and hashes the whole file; false on any I/O failure.
bool HashFile(const wchar_t* path,
              std::vector<unsigned char>* buffer,
              unsigned char digest[32],
              uint64_t* bytes) {
  ScopedFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.is_valid())
    return false;
  std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  if (!hash)
    return false;
  *bytes = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer->data(), kReadSize, &read, nullptr))
      return false;
    if (read == 0)
      break;
    hash->Update(buffer->data(), read);
    *bytes += read;
  }
  hash->Finish(digest, 32);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: sha256_bench FILE [PASSES]\n");
    return 2;
  }
  const int passes = argc > 2 ? _wtoi(argv[2]) : 1;
  std::vector<unsigned char> buffer(kReadSize);
  for (int pass = 0; pass < passes; ++pass) {
    unsigned char digest[32];
    uint64_t bytes = 0;
    const double start = Now();
    if (!HashFile(argv[1], &buffer, digest, &bytes)) {
      fprintf(stderr, "sha256_bench: cannot read %ls (error %lu)\n", argv[1],
              GetLastError());
      return 1;
    }
    const double seconds = Now() - start;
    for (unsigned char byte : digest)
      printf("%02x", byte);
    printf(" %llu %.6f\n", static_cast<unsigned long long>(bytes), seconds);
  }
  return 0;
}
