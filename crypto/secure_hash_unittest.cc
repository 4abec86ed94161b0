#include "crypto/secure_hash.h"

#include <string.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/strings/string_number_conversions.h"
#include "gtest/gtest.h"

namespace crypto {
namespace {

const char kAbc[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

// The first |length| bytes of the digest in hex; nothing may be written
// beyond them, nor beyond the 32 bytes of the digest.
std::string FinishHex(SecureHash* hash, size_t length = 32) {
  EXPECT_EQ(32u, hash->GetHashLength());
  unsigned char output[40];
  memset(output, 0xA5, sizeof(output));
  hash->Finish(output, length);
  const size_t written = std::min<size_t>(length, 32);
  EXPECT_EQ(std::string(sizeof(output) - written, '\xA5'),
            std::string(output + written, output + sizeof(output)))
      << length;
  return base::HexEncode(output, written);
}

// The published vectors, the longest fed in pieces of uneven sizes.
TEST(SecureHashTest, ReproducesTheNistVectors) {
  std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
  EXPECT_EQ("E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855",
            FinishHex(hash.get()));
  hash = SecureHash::Create(SecureHash::SHA256);
  hash->Update(kAbc, strlen(kAbc));
  EXPECT_EQ("248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1",
            FinishHex(hash.get()));
  hash = SecureHash::Create(SecureHash::SHA256);
  const std::string million(1000000, 'a');
  for (size_t offset = 0, piece = 1; offset < million.size(); piece += 62) {
    hash->Update(million.data() + offset,
                 std::min(piece, million.size() - offset));
    offset += piece;
  }
  EXPECT_EQ("CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0",
            FinishHex(hash.get()));
}

// A short output gets a prefix of the digest; a clone goes on from the
// state it was made in, apart from the original.
TEST(SecureHashTest, ShortOutputAndClone) {
  for (size_t length : {0u, 1u, 16u, 31u, 40u}) {
    std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
    hash->Update("abc", 3);
    EXPECT_EQ(std::string("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB4"
                          "10FF61F20015AD")
                  .substr(0, 2 * length),
              FinishHex(hash.get(), length));
  }
  std::unique_ptr<SecureHash> original = SecureHash::Create(SecureHash::SHA256);
  original->Update(kAbc, 20);
  std::unique_ptr<SecureHash> clone = original->Clone();
  ASSERT_TRUE(clone);
  original->Update(kAbc + 20, strlen(kAbc) - 20);
  clone->Update("x", 1);
  EXPECT_EQ("248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1",
            FinishHex(original.get()));
  std::unique_ptr<SecureHash> expected = SecureHash::Create(SecureHash::SHA256);
  expected->Update("abcdbcdecdefdefgefghx", 21);
  EXPECT_EQ(FinishHex(expected.get()), FinishHex(clone.get()));
}

TEST(SecureHashTest, UnknownAlgorithmIsRefusedAndLogged) {
  testing::internal::CaptureStderr();
  const std::unique_ptr<SecureHash> hash =
      SecureHash::Create(static_cast<SecureHash::Algorithm>(1));
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(hash);
  EXPECT_NE(std::string::npos, log.find("ERROR")) << log;
  EXPECT_NE(std::string::npos, log.find("NOT IMPLEMENTED")) << log;
}

}  // namespace
}  // namespace crypto
