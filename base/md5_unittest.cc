#include "base/md5.h"

#include <stdint.h>
#include <string.h>

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

std::string ToHex(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < size; ++i) {
    hex.push_back(kDigits[bytes[i] >> 4]);
    hex.push_back(kDigits[bytes[i] & 15]);
  }
  return hex;
}

std::string Md5Hex(const std::string& data) {
  MD5Digest digest;
  MD5Sum(data.data(), data.size(), &digest);
  return ToHex(digest.a, sizeof(digest.a));
}

// Bytes 3, 10, 17, ... (i * 7 + 3 modulo 256).
std::string Pattern(size_t size) {
  std::string data;
  for (size_t i = 0; i < size; ++i)
    data.push_back(static_cast<char>((i * 7 + 3) & 0xff));
  return data;
}

TEST(MD5Test, ReproducesTheReferenceVectors) {
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Hex(""));
  EXPECT_EQ("0cc175b9c0f1b6a831c399e269772661", Md5Hex("a"));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Hex("abc"));
  EXPECT_EQ("f96b697d7cb7938d525a2f31aaf161d0", Md5Hex("message digest"));
  EXPECT_EQ("c3fcd3d76192e4007dfb496cca67e13b",
            Md5Hex("abcdefghijklmnopqrstuvwxyz"));
  EXPECT_EQ("d174ab98d277d9f5a5611c2c9f419d9f",
            Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                   "0123456789"));
  EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
            Md5Hex("1234567890123456789012345678901234567890"
                   "1234567890123456789012345678901234567890"));
  EXPECT_EQ("7707d6ae4e027c70eea2a935c2296f21",
            Md5Hex(std::string(1000000, 'a')));
}

TEST(MD5Test, PaddingAroundTheBlockBoundary) {
  // 55 bytes leave room for the length in the last block; 56 to 63 need a
  // second one; 64 and 120 end exactly on a block or length boundary.
  EXPECT_EQ("52c0e574e1198de5fe3f8f11440dcb1b", Md5Hex(Pattern(55)));
  EXPECT_EQ("46c9907fc908ee68b1e7b8e71286a518", Md5Hex(Pattern(56)));
  EXPECT_EQ("a62f6d59e837867693f042f5b8f5a236", Md5Hex(Pattern(63)));
  EXPECT_EQ("7160b8fb5e9e4023d549c3971fbaeead", Md5Hex(Pattern(64)));
  EXPECT_EQ("70bd662e7aefbda85a0f7244167b7897", Md5Hex(Pattern(65)));
  EXPECT_EQ("e84905d4214f4d1ca56c2cdcc152b143", Md5Hex(Pattern(119)));
  EXPECT_EQ("e3eb5a6c8669ea01a8c185b8abc8a5dc", Md5Hex(Pattern(120)));
}

TEST(MD5Test, UpdatesInPiecesMatchOneUpdate) {
  const std::string data = Pattern(1000);
  const std::string whole = Md5Hex(data);
  for (size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 200u}) {
    MD5Context context;
    MD5Init(&context);
    for (size_t offset = 0; offset < data.size(); offset += piece)
      MD5Update(&context, StringPiece(data).substr(offset, piece));
    MD5Digest digest;
    MD5Final(&digest, &context);
    EXPECT_EQ(whole, ToHex(digest.a, sizeof(digest.a))) << piece;

    // The context is wiped once the digest is out.
    MD5Context zero;
    memset(&zero, 0, sizeof(zero));
    EXPECT_EQ(0, memcmp(&zero, &context, sizeof(context)));
  }
}

TEST(MD5Test, TransformIsOneCompressionStep) {
  // The padded block of the empty message: 0x80, then zeros.
  uint32_t block[16] = {0x80};
  uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  MD5Transform(state, block);
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e",
            ToHex(reinterpret_cast<const uint8_t*>(state), sizeof(state)));
}

}  // namespace
}  // namespace base
