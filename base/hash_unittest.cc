#include "base/hash.h"

#include <stdint.h>

#include <string>

#include "base/md5.h"
#include "base/sha1.h"
#include "base/strings/string_number_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Bytes 3, 10, 17, ... (i * 7 + 3 modulo 256).
std::string Pattern(size_t size) {
  std::string data;
  for (size_t i = 0; i < size; ++i)
    data.push_back(static_cast<char>(i * 7 + 3));
  return data;
}

// Values worked out from the published algorithm: every tail length, and
// trailing bytes that enter signed.
TEST(HashTest, KnownValues) {
  const std::pair<std::string, uint32_t> kCases[] = {
      {"a", 0x115EA782u},    {"\x80", 0xF30533C4u},
      {"ab", 0x516B8B44u},   {"\xFF\xFE\xFD", 0x547A507Eu},
      {"abcd", 0xDAD8B8DBu}, {"hello world", 0xA68C6882u},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.second,
              SuperFastHash(c.first.data(), static_cast<int>(c.first.size())));
  }
  // Nothing to hash gives 0.
  EXPECT_EQ(0u, SuperFastHash(nullptr, 8));
  EXPECT_EQ(0u, SuperFastHash("abc", 0));
}

// Reference vectors and lengths around the block boundary, also fed in
// pieces; the context is wiped once the digest is out.
TEST(MD5Test, Digests) {
  const std::pair<std::string, const char*> kCases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {std::string(1000000, 'a'), "7707D6AE4E027C70EEA2A935C2296F21"},
      {Pattern(55), "52C0E574E1198DE5FE3F8F11440DCB1B"},
      {Pattern(56), "46C9907FC908EE68B1E7B8E71286A518"},
      {Pattern(64), "7160B8FB5E9E4023D549C3971FBAEEAD"},
      {Pattern(120), "E3EB5A6C8669EA01A8C185B8ABC8A5DC"},
  };
  for (const auto& c : kCases) {
    MD5Digest digest;
    MD5Sum(c.first.data(), c.first.size(), &digest);
    EXPECT_EQ(c.second, HexEncode(digest.a, 16)) << c.first.size();
    for (size_t piece : {1u, 63u, 65u}) {
      MD5Context context;
      MD5Init(&context);
      for (size_t offset = 0; offset < c.first.size(); offset += piece)
        MD5Update(&context, StringPiece(c.first).substr(offset, piece));
      MD5Final(&digest, &context);
      EXPECT_EQ(c.second, HexEncode(digest.a, 16)) << piece;
      EXPECT_EQ(
          std::string(sizeof(context), '\0'),
          std::string(reinterpret_cast<char*>(&context), sizeof(context)));
    }
  }
}

// As for MD5; after a first block, padding must clear what the block held.
TEST(Sha1Test, Digests) {
  const std::pair<std::string, const char*> kCases[] = {
      {"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
      {std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
      {Pattern(55), "DDF57317EF34BFEE3B6DF83D359098930EB278BC"},
      {Pattern(56), "A0D492BB0FC889D0ECA3BC137066AB6F4F74F369"},
      {Pattern(64), "BEDE92BE29C3874E1B54DDC77988D606FC857A8E"},
      {Pattern(120), "82134B02FB3F702491BE9BED581EEAB59334ACB2"},
      {Pattern(777), "1AB6E7C788B7EDCC1FF4EEB9BF8D4354499C02E1"},
  };
  for (const auto& c : kCases) {
    unsigned char hash[kSha1Length];
    ComputeSha1Digest(reinterpret_cast<const unsigned char*>(c.first.data()),
                      c.first.size(), hash);
    EXPECT_EQ(c.second, HexEncode(hash, kSha1Length)) << c.first.size();
    for (size_t piece : {1u, 56u, 100u}) {
      Sha1Context context;
      for (size_t offset = 0; offset < c.first.size(); offset += piece) {
        const std::string part = c.first.substr(offset, piece);
        context.Update(part.data(), part.size());
      }
      context.Finish();
      EXPECT_EQ(c.second, HexEncode(context.GetDigest(), kSha1Length)) << piece;
    }
  }
}

}  // namespace
}  // namespace base
