// Calls into each C dependency once, so that a broken or mismatched build of
// any of them fails to link or fails the runner.
#include <windows.h>

#include <cstring>

extern "C" {
#include <lzmasdk/7zCrc.h>
}
#include <minizip/zip.h>
// iowin32.h relies on the declarations of zip.h.
#include <minizip/iowin32.h>
#include <openssl/sha.h>
#include <zlib.h>

extern "C" __declspec(dllexport) bool CheckDependencies() {
  CrcGenerateTable();
  const char kText[] = "abc";
  // CRC-32 of "abc", through both the SDK's table and zlib's.
  if (CrcCalc(kText, 3) != 0x352441C2u ||
      crc32(0, reinterpret_cast<const Bytef*>(kText), 3) != 0x352441C2u) {
    return false;
  }
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256_CTX ctx;
  if (!SHA256_Init(&ctx) || !SHA256_Update(&ctx, kText, 3) ||
      !SHA256_Final(digest, &ctx)) {
    return false;
  }
  const unsigned char kExpected[4] = {0xba, 0x78, 0x16, 0xbf};
  if (std::memcmp(digest, kExpected, sizeof(kExpected)) != 0)
    return false;
  zlib_filefunc64_def file_functions;
  fill_win32_filefunc64W(&file_functions);
  return file_functions.zopen64_file != nullptr;
}
