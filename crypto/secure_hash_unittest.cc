#include "crypto/secure_hash.h"

#include <windows.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace crypto {
namespace {

constexpr size_t kDigestLength = 32;

std::string ToHex(const unsigned char* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < size; ++i) {
    hex.push_back(kDigits[bytes[i] >> 4]);
    hex.push_back(kDigits[bytes[i] & 15]);
  }
  return hex;
}

std::string FinishToHex(SecureHash* hash) {
  unsigned char digest[kDigestLength];
  hash->Finish(digest, sizeof(digest));
  return ToHex(digest, sizeof(digest));
}

std::string Sha256Hex(const std::string& data) {
  std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
  hash->Update(data.data(), data.size());
  return FinishToHex(hash.get());
}

// Deterministic bytes: a 64-bit linear congruential sequence, each state
// mixed and stored little-endian.
std::vector<unsigned char> GeneratedData(size_t size) {
  std::vector<unsigned char> data((size + 7) / 8 * 8);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (size_t offset = 0; offset < data.size(); offset += 8) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const uint64_t word = state ^ (state >> 29);
    memcpy(&data[offset], &word, sizeof(word));
  }
  data.resize(size);
  return data;
}

class ScopedTempFile {
 public:
  ScopedTempFile() {
    wchar_t folder[MAX_PATH];
    wchar_t name[MAX_PATH];
    if (GetTempPathW(MAX_PATH, folder) &&
        GetTempFileNameW(folder, L"sha", 0, name))
      path_ = name;
  }
  ~ScopedTempFile() {
    if (!path_.empty())
      DeleteFileW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

class ScopedFileHandle {
 public:
  explicit ScopedFileHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedFileHandle() {
    if (is_valid())
      CloseHandle(handle_);
  }
  bool is_valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

bool WriteWholeFile(const std::wstring& path,
                    const std::vector<unsigned char>& data) {
  ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
  if (!file.is_valid())
    return false;
  size_t offset = 0;
  while (offset < data.size()) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(data.size() - offset, 1 << 24));
    DWORD written = 0;
    if (!WriteFile(file.get(), &data[offset], chunk, &written, nullptr) ||
        written == 0) {
      return false;
    }
    offset += written;
  }
  return true;
}

TEST(SecureHashTest, ReproducesTheNistVectors) {
  EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
            Sha256Hex(""));
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
            Sha256Hex("abc"));
  EXPECT_EQ(
      "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
      Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
  EXPECT_EQ(
      "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1",
      Sha256Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmn"
                "hijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"));
  EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
            Sha256Hex(std::string(1000000, 'a')));
}

TEST(SecureHashTest, HashesALargeFileReadInUnevenPieces) {
  // 64 MiB and 13 bytes; the digest is that of `sha256sum` over the same
  // bytes written out by an independent generator.
  const size_t size = 64 * 1024 * 1024 + 13;
  const std::vector<unsigned char> data = GeneratedData(size);
  ScopedTempFile temp;
  ASSERT_FALSE(temp.path().empty());
  ASSERT_TRUE(WriteWholeFile(temp.path(), data));

  ScopedFileHandle file(CreateFileW(temp.path().c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.is_valid());
  std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
  ASSERT_TRUE(hash);
  // Pieces that start and end off every block boundary.
  const DWORD pieces[] = {1, 63, 65, 4095, 1 << 20, (1 << 22) + 7};
  std::vector<unsigned char> buffer(pieces[5]);
  size_t total = 0;
  for (size_t i = 0;; ++i) {
    DWORD read = 0;
    ASSERT_TRUE(
        ReadFile(file.get(), buffer.data(), pieces[i % 6], &read, nullptr));
    if (read == 0)
      break;
    hash->Update(buffer.data(), read);
    total += read;
  }
  EXPECT_EQ(size, total);
  EXPECT_EQ("69e795063679ef24bd51800417312f333a17cef2a37f1e968d417efd610a2f86",
            FinishToHex(hash.get()));

  // The same bytes in one update from memory.
  std::unique_ptr<SecureHash> whole = SecureHash::Create(SecureHash::SHA256);
  whole->Update(data.data(), data.size());
  EXPECT_EQ("69e795063679ef24bd51800417312f333a17cef2a37f1e968d417efd610a2f86",
            FinishToHex(whole.get()));
}

TEST(SecureHashTest, ShortOutputGetsOnlyTheDigestPrefix) {
  const std::string full = Sha256Hex("abc");
  for (size_t length : {0u, 1u, 16u, 31u}) {
    std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
    EXPECT_EQ(kDigestLength, hash->GetHashLength());
    hash->Update("abc", 3);
    unsigned char output[kDigestLength + 8];
    memset(output, 0xA5, sizeof(output));
    hash->Finish(output, length);
    EXPECT_EQ(full.substr(0, 2 * length), ToHex(output, length)) << length;
    for (size_t i = length; i < sizeof(output); ++i)
      EXPECT_EQ(0xA5, output[i]) << length << " wrote byte " << i;
  }

  // A longer output gets the 32 bytes and nothing after them.
  std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
  hash->Update("abc", 3);
  unsigned char output[kDigestLength + 8];
  memset(output, 0xA5, sizeof(output));
  hash->Finish(output, sizeof(output));
  EXPECT_EQ(full, ToHex(output, kDigestLength));
  EXPECT_EQ(0xA5, output[kDigestLength]);
}

TEST(SecureHashTest, CloneContinuesFromTheCurrentState) {
  std::unique_ptr<SecureHash> original = SecureHash::Create(SecureHash::SHA256);
  original->Update("abcdbcdecdefdefgefgh", 20);
  std::unique_ptr<SecureHash> clone = original->Clone();
  ASSERT_TRUE(clone);
  EXPECT_EQ(kDigestLength, clone->GetHashLength());

  // Both go on independently: each sees only its own later input.
  original->Update("fghighijhijkijkljklmklmnlmnomnopnopq", 36);
  clone->Update("x", 1);
  EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
            FinishToHex(original.get()));
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghx"), FinishToHex(clone.get()));
}

TEST(SecureHashTest, UnknownAlgorithmIsRefusedAndLogged) {
  testing::internal::CaptureStderr();
  std::unique_ptr<SecureHash> hash =
      SecureHash::Create(static_cast<SecureHash::Algorithm>(1));
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(hash);
  EXPECT_NE(std::string::npos, log.find("ERROR")) << log;
  EXPECT_NE(std::string::npos, log.find("NOT IMPLEMENTED")) << log;
}

}  // namespace
}  // namespace crypto
