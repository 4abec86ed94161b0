#include "desktop/launcher/installer/package_fetcher/payload_reader.h"

#include <stdint.h>
#include <string.h>

#include "base/files/file_util.h"
#include "base/test/unique_test_dir.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

const std::string kArchive("7z\xBC\xAF\x27\x1C archive", 14);
const uint32_t kHeader = 0x80;

std::string Le32(uint32_t value) {
  return std::string(reinterpret_cast<const char*>(&value), 4);
}

// A 0x200-byte image header whose certificate table is at |offset|.
std::string Image(uint32_t offset, uint32_t size, uint32_t header = kHeader) {
  std::string image(0x200, '\0');
  image.replace(0, 2, "MZ");
  image.replace(0x3C, 4, Le32(header));
  if (uint64_t{header} + 0xB0 <= image.size()) {
    image.replace(header, 4, std::string("PE\0\0", 4));
    image.replace(header + 0xA8, 8, Le32(offset) + Le32(size));
  }
  return image;
}

std::string Trailer(const std::string& payload, const char* magic = "VXQ") {
  return magic + payload + Le32(static_cast<uint32_t>(payload.size()));
}

// An image signed with 16 bytes whose trailer |before| stands just before
// the signature and |after| just after it.
std::string Signed(const std::string& before, const std::string& after) {
  const uint32_t offset = 0x200 + static_cast<uint32_t>(before.size());
  return Image(offset, 16) + before + std::string(16, 'S') + after;
}

TEST(PayloadReaderTest, FindsOrRefusesThePayload) {
  const std::string blob = "tracking data";
  const char* const kNoStart = "Could not find a valid starting position";
  const char* const kInvalid = "Payload data invalid";
  // |state|: 'I' Init succeeds, 'i' IsInitialised, 'F' IsFullPackage, 'C'
  // IsCorrupted.
  const struct {
    const char* name;
    std::string file;
    std::string state;
    std::string payload;
    const char* log;
  } cases[] = {
      {"package at end", Image(0, 0) + Trailer(kArchive), "IiF", kArchive, ""},
      {"blob at end", Image(0, 0) + Trailer(blob), "Ii", blob, ""},
      {"empty payload", Image(0, 0) + Trailer(""), "Ii", "", ""},
      {"payload shorter than the signature", Image(0, 0) + Trailer("7z\xBC"),
       "Ii", "7z\xBC", ""},
      {"bare signature", Image(0, 0) + Trailer(kArchive.substr(0, 6)), "IiF",
       kArchive.substr(0, 6), ""},
      {"length with top bit", Image(0, 0) + "VXQ" + Le32(0x80000001), "", "",
       kNoStart},
      {"length beyond the file", Image(0, 0) + "VXQab" + Le32(0x1000), "", "",
       kNoStart},
      {"wrong magic", Image(0, 0) + Trailer(blob, "VXR"), "", "", kInvalid},
      {"table beyond the file", Image(0x10000, 8) + Trailer(blob), "iC", "",
       ""},
      {"bad end, good before signature",
       Signed(Trailer(kArchive), Trailer(blob, "VXR")), "IiF", kArchive,
       kInvalid},
      {"signature at offset 2", Image(2, 16) + "tail", "", "", ""},
      // Too close to the start for a trailer before the signature; the
      // trailer at the end fails on its own.
      {"signature at offset 4", Image(4, 16) + Trailer(blob, "VXR"), "", "",
       kNoStart},
      {"signature at offset 5", Image(5, 16) + Trailer(blob, "VXR"), "", "",
       kNoStart},
      {"signature at offset 6", Image(6, 16) + Trailer(blob, "VXR"), "", "",
       kNoStart},
      {"negative header offset", Image(0, 0, 0x80000000) + Trailer(blob), "",
       "", ""},
      {"header beyond the file", Image(0, 0, 0x7FFFFF00) + Trailer(blob), "",
       "", ""},
      // Just below zero, where the sum of offset and field bounds wraps.
      {"header offset 0xFFFFFF50", Image(0, 0, 0xFFFFFF50) + Trailer(blob), "",
       "", ""},
      {"too short for a header", std::string("MZVXQ") + Le32(0), "", "", ""},
  };
  base::UniqueTestDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const base::FilePath path = dir.path().Append(L"installer.exe");
    ASSERT_EQ(static_cast<int>(c.file.size()),
              base::WriteFile(path, c.file.data(), c.file.size()));
    PayloadReader reader(path);
    ScopedLogCapture log;
    const auto has = [&c](char flag) {
      return c.state.find(flag) != std::string::npos;
    };
    EXPECT_EQ(has('I'), reader.Init());
    EXPECT_EQ(has('i'), reader.IsInitialised());
    EXPECT_EQ(has('F'), reader.IsFullPackage());
    EXPECT_EQ(has('C'), reader.IsCorrupted());
    EXPECT_EQ(c.payload, reader.GetPayload());
    EXPECT_TRUE(!*c.log || log.Saw(c.log));
    const base::FilePath out = dir.path().Append(L"payload");
    EXPECT_EQ(!has('C'), reader.WritePayloadToFile(out));
    EXPECT_EQ(has('C') ? "" : c.payload, has('C') ? "" : ReadWholeFile(out));
  }
}

TEST(PayloadReaderTest, ReadsPackagedAndSignedExecutables) {
  const struct {
    const wchar_t* file;
    bool init;
    bool full;
  } cases[] = {
      {L"unsigned_package.exe", true, true},
      {L"signed_package.exe", true, true},
      {L"inserted_package.exe", true, true},
      {L"signed_package_after.exe", false, false},
      {L"signed_blob_after.exe", true, false},
      {L"signed.exe", false, false},
  };
  const std::string archive = ReadWholeFile(PackageFixture(L"lzma2_bcj.7z"));
  ASSERT_FALSE(archive.empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    PayloadReader reader(PackageFixture(c.file));
    EXPECT_EQ(c.init, reader.Init());
    EXPECT_EQ(c.full, reader.IsFullPackage());
    EXPECT_EQ(c.full, archive == reader.GetPayload());
  }
}

TEST(PayloadReaderTest, OverrideStandsInForTheFile) {
  PayloadReader reader(PackageFixture(L"signed_blob_after.exe"));
  EXPECT_EQ("", reader.GetPayload());
  ASSERT_TRUE(reader.Init());
  EXPECT_EQ("tracking data", reader.GetPayload());
  reader.SetOverridePayload("from the command line");
  EXPECT_EQ("from the command line", reader.GetPayload());

  PayloadReader missing(PackageFixture(L"missing.exe"));
  ScopedLogCapture log;
  EXPECT_FALSE(missing.Init());
  EXPECT_TRUE(log.Saw("Could not initialize memory mapped file"));
  missing.SetOverridePayload("blob");
  EXPECT_TRUE(missing.Init());
  EXPECT_EQ("blob", missing.GetPayload());
}

// Who checks the file first reads the view the payload then comes from:
// Init keeps a mapping made before it, and a file that cannot be mapped
// says so only when Init is asked.
TEST(PayloadReaderTest, InitReadsThroughTheMappingMadeBeforeIt) {
  PayloadReader reader(PackageFixture(L"unsigned_package.exe"));
  EXPECT_FALSE(reader.file().IsValid());
  ASSERT_TRUE(reader.Map());
  const uint8_t* const view = reader.file().data();
  const size_t length = reader.file().length();
  ASSERT_NE(nullptr, view);
  EXPECT_EQ(ReadWholeFile(PackageFixture(L"unsigned_package.exe")),
            std::string(reinterpret_cast<const char*>(view), length));
  EXPECT_TRUE(reader.Map());
  ASSERT_TRUE(reader.Init());
  EXPECT_TRUE(reader.IsFullPackage());
  EXPECT_EQ(view, reader.file().data());
  EXPECT_EQ(length, reader.file().length());

  base::UniqueTestDir dir;
  const base::FilePath empty = dir.path().Append(L"empty.exe");
  ASSERT_EQ(0, base::WriteFile(empty, "", 0));
  for (const base::FilePath& path : {PackageFixture(L"missing.exe"), empty}) {
    SCOPED_TRACE(path.AsUTF8());
    PayloadReader unreadable(path);
    ScopedLogCapture log;
    EXPECT_FALSE(unreadable.Map());
    EXPECT_FALSE(log.Saw("Could not initialize memory mapped file"));
    EXPECT_FALSE(unreadable.Init());
    EXPECT_TRUE(log.Saw("Could not initialize memory mapped file"));
    EXPECT_FALSE(unreadable.IsInitialised());
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
