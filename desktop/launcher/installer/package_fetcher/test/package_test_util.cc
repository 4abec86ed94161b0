#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"

#include <windows.h>

#include <memory>

#include "base/base_paths.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "crypto/secure_hash.h"

namespace vexlo {
namespace installer {

namespace {

std::vector<std::string>* g_lines = nullptr;

// Lines come from every thread of the code under test.
base::Lock& LinesLock() {
  static base::Lock* lock = new base::Lock;
  return *lock;
}

bool CollectLine(int /*severity*/,
                 const char* /*file*/,
                 int /*line*/,
                 size_t message_start,
                 const std::string& text) {
  base::AutoLock hold(LinesLock());
  if (g_lines)
    g_lines->push_back(text.substr(message_start));
  return true;
}

}  // namespace

base::FilePath PackageFixture(const wchar_t* name) {
  base::FilePath exe_dir;
  base::PathService::Get(base::DIR_EXE, &exe_dir);
  return exe_dir.Append(L"package_fixtures").Append(name);
}

std::string ReadWholeFile(const base::FilePath& path) {
  std::string contents;
  base::ReadFileToString(path, &contents);
  return contents;
}

std::string Sha256Hex(const std::string& bytes) {
  std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  hash->Update(bytes.data(), bytes.size());
  unsigned char digest[32];
  hash->Finish(digest, sizeof(digest));
  return base::ToLowerASCII(base::HexEncode(digest, sizeof(digest)));
}

std::string AppendPayload(const std::string& program,
                          const std::string& payload) {
  const uint32_t length = static_cast<uint32_t>(payload.size());
  return program + "VXQ" + payload +
         std::string(reinterpret_cast<const char*>(&length), sizeof(length));
}

std::string ReplyNaming(const std::string& url,
                        const std::string& checksum,
                        const std::string& more) {
  return "{\"installer\": \"" + url + "\", \"installer_checksum\": \"" +
         checksum + "\"" + more + "}";
}

ScopedLogCapture::ScopedLogCapture() {
  base::AutoLock hold(LinesLock());
  g_lines = &lines_;
  base::SetLogMessageHandler(&CollectLine);
}

ScopedLogCapture::~ScopedLogCapture() {
  base::SetLogMessageHandler(nullptr);
  base::AutoLock hold(LinesLock());
  g_lines = nullptr;
}

bool ScopedLogCapture::Saw(const std::string& text) const {
  return Count(text) > 0;
}

size_t ScopedLogCapture::Count(const std::string& text) const {
  base::AutoLock hold(LinesLock());
  size_t count = 0;
  for (const std::string& line : lines_) {
    if (line.compare(0, text.size(), text) == 0)
      ++count;
  }
  return count;
}

}  // namespace installer
}  // namespace vexlo
