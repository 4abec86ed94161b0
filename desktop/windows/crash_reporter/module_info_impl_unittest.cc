#include "desktop/windows/crash_reporter/module_info_impl.h"

#include <windows.h>

#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "desktop/windows/crash_reporter/test/file_version_string.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

using Image = std::vector<uint8_t>;

std::wstring SystemFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length) + L"\\" + name;
}

template <typename Field>
Field Get(const Image& image, size_t offset) {
  Field value;
  memcpy(&value, image.data() + offset, sizeof(value));
  return value;
}

template <typename Field>
void Put(Image* image, size_t offset, Field value) {
  memcpy(image->data() + offset, &value, sizeof(value));
}

// Where the structures of a well-formed 64-bit image file lie, so that the
// cases below can damage one field at a time.
struct Layout {
  explicit Layout(const Image& image) {
    nt = Get<uint32_t>(image, 0x3C);
    optional = nt + 24;
    section_count = Get<uint16_t>(image, nt + 6);
    sections = optional + Get<uint16_t>(image, nt + 20);
    exports = Offset(image, Get<uint32_t>(image, Directory(0)));
    resources = Offset(image, Get<uint32_t>(image, Directory(2)));
    // Root: the version type's entry; then its first name, its first
    // language and the data record.
    size_t entry = resources + 16;
    while (Get<uint32_t>(image, entry) != 16)
      entry += 8;
    version_type_entry = entry;
    size_t directory = Get<uint32_t>(image, entry + 4) & 0x7FFFFFFF;
    for (int level = 0; level < 2; ++level) {
      entry = resources + directory + 16;
      directory = Get<uint32_t>(image, entry + 4) & 0x7FFFFFFF;
    }
    version_record = resources + directory;
  }

  size_t Directory(int index) const { return optional + 112 + 8 * index; }

  size_t Offset(const Image& image, uint32_t rva) const {
    for (size_t i = 0; i < section_count; ++i) {
      const size_t section = sections + 40 * i;
      const uint32_t start = Get<uint32_t>(image, section + 12);
      if (rva >= start && rva < start + Get<uint32_t>(image, section + 16))
        return Get<uint32_t>(image, section + 20) + (rva - start);
    }
    return 0;
  }

  // The section header that holds |offset| of the file.
  size_t SectionOf(const Image& image, size_t offset) const {
    for (size_t i = 0; i < section_count; ++i) {
      const size_t section = sections + 40 * i;
      const uint32_t start = Get<uint32_t>(image, section + 20);
      if (offset >= start &&
          offset < start + Get<uint32_t>(image, section + 16))
        return section;
    }
    return 0;
  }

  size_t nt, optional, sections, section_count, exports, resources;
  size_t version_type_entry, version_record;
};

ModuleInfoImpl ReadModule(const base::FilePath& path) {
  // No mapped file at base 0: a name can only come from the file.
  return ModuleInfoImpl(::GetCurrentProcess(), L"test.dll", path.value(), 0,
                        0x1000);
}

// Damaged module files are read within their bounds: what a bad value
// points at is left empty, and what it does not touch is still read.
TEST(ModuleInfoImplTest, DamagedImagesLeaveOnlyTheirBrokenPartsEmpty) {
  const std::wstring source = SystemFile(L"version.dll");
  std::string bytes;
  ASSERT_TRUE(base::ReadFileToString(base::FilePath(source), &bytes));
  const Image original(bytes.begin(), bytes.end());
  const Layout layout(original);
  const std::string file_version = GetFileVersionString(source, L"FileVersion");
  const std::string original_name =
      GetFileVersionString(source, L"OriginalFilename");
  ASSERT_FALSE(file_version.empty());
  base::UniqueTestDir folder;
  enum Name { kExportName, kOriginalName, kNoName };
  const struct {
    const char* damage;
    std::function<void(Image*)> apply;
    Name name;
    bool version;
  } kCases[] = {
      {"none", [](Image*) {}, kExportName, true},
      {"cut inside the DOS header", [](Image* i) { i->resize(32); }, kNoName,
       false},
      {"cut inside the section table",
       [&](Image* i) { i->resize(layout.sections + 20); }, kNoName, false},
      {"headers offset past the end",
       [&](Image* i) { Put<uint32_t>(i, 0x3C, 0x7FFFFFF0); }, kNoName, false},
      {"negative headers offset",
       [&](Image* i) { Put<uint32_t>(i, 0x3C, 0x80000000); }, kNoName, false},
      {"65535 sections",
       [&](Image* i) { Put<uint16_t>(i, layout.nt + 6, 0xFFFF); }, kNoName,
       false},
      {"optional header larger than the file",
       [&](Image* i) {
         i->resize(layout.sections + 40 * layout.section_count);
         Put<uint16_t>(i, layout.nt + 20, 0xFFFF);
       },
       kNoName, false},
      {"export directory past every section",
       [&](Image* i) { Put<uint32_t>(i, layout.Directory(0), 0xFFFFFF00); },
       kOriginalName, true},
      {"export name past every section",
       [&](Image* i) { Put<uint32_t>(i, layout.exports + 12, 0xFFFFFFF0); },
       kOriginalName, true},
      {"export name at the last byte of its section, unterminated",
       [&](Image* i) {
         const size_t section = layout.SectionOf(*i, layout.exports);
         const uint32_t end = Get<uint32_t>(*i, section + 12) +
                              Get<uint32_t>(*i, section + 16) - 1;
         Put<uint32_t>(i, layout.exports + 12, end);
         (*i)[layout.Offset(*i, end)] = 'x';
         // The next section starts with what would end the text.
         (*i)[layout.Offset(*i, end) + 1] = 0;
       },
       kOriginalName, true},
      {"exports section stored past the end of the file",
       [&](Image* i) {
         Put<uint32_t>(i, layout.SectionOf(*i, layout.exports) + 20,
                       0xFFFFF000);
       },
       kOriginalName, true},
      {"exports section claiming 4 GB of stored data",
       [&](Image* i) {
         Put<uint32_t>(i, layout.SectionOf(*i, layout.exports) + 16,
                       0xFFFFFFFF);
       },
       kExportName, true},
      {"export directory of exactly its own size",
       [&](Image* i) { Put<uint32_t>(i, layout.Directory(0) + 4, 40); },
       kExportName, true},
      {"version data running past its section",
       [&](Image* i) {
         const size_t section = layout.SectionOf(*i, layout.version_record);
         Put<uint32_t>(i, layout.version_record + 4,
                       Get<uint32_t>(*i, section + 16));
       },
       kExportName, false},
      {"resource directory past every section",
       [&](Image* i) { Put<uint32_t>(i, layout.Directory(2), 0xFFFFFF00); },
       kExportName, false},
      {"version type pointing outside the resources",
       [&](Image* i) {
         Put<uint32_t>(i, layout.version_type_entry + 4, 0xFFFFFFF0);
       },
       kExportName, false},
      {"65535 entries in the root directory",
       [&](Image* i) { Put<uint16_t>(i, layout.resources + 12, 0xFFFF); },
       kExportName, true},
      {"version data larger than the file",
       [&](Image* i) {
         Put<uint32_t>(i, layout.version_record + 4, 0x7FFFFFFF);
       },
       kExportName, false},
      {"version data past every section",
       [&](Image* i) { Put<uint32_t>(i, layout.version_record, 0xFFFFFFF8); },
       kExportName, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.damage);
    Image image = original;
    c.apply(&image);
    // Whole pages, so that any read past the end of the file faults; a cut
    // file keeps its cut.
    if (image.size() >= original.size())
      image.resize((image.size() + 4095) / 4096 * 4096);
    const base::FilePath path = folder.path().Append(L"damaged.dll");
    ASSERT_EQ(static_cast<int>(image.size()),
              base::WriteFile(path, reinterpret_cast<const char*>(image.data()),
                              static_cast<int>(image.size())));
    const ModuleInfoImpl module = ReadModule(path);
    switch (c.name) {
      case kExportName:
        EXPECT_TRUE(base::LowerCaseEqualsASCII(base::UTF8ToUTF16(module.name()),
                                               "version.dll"))
            << module.name();
        break;
      case kOriginalName:
        EXPECT_EQ(base::ToUpperASCII(original_name),
                  base::ToUpperASCII(module.name()));
        break;
      case kNoName:
        EXPECT_EQ("", module.name());
        EXPECT_EQ(0u, module.time_stamp());
        EXPECT_EQ(0u, module.code_extent());
        break;
    }
    EXPECT_EQ(c.version ? file_version : "", module.version());
  }
}

// Without its file, a module keeps its place and is named after the file
// mapped at its base.
TEST(ModuleInfoImplTest, AModuleFileThatCannotBeOpenedKeepsItsPlace) {
  const uint64_t base =
      reinterpret_cast<uintptr_t>(::GetModuleHandleW(L"kernel32.dll"));
  const ModuleInfoImpl module(::GetCurrentProcess(), L"gone.dll",
                              L"C:\\no\\such\\gone.dll", base, 0x5000);
  EXPECT_TRUE(base::LowerCaseEqualsASCII(base::UTF8ToUTF16(module.name()),
                                         "kernel32.dll"))
      << module.name();
  EXPECT_EQ("", module.version());
  EXPECT_EQ(base, module.base());
  EXPECT_EQ(0x5000u, module.image_size());
  EXPECT_FALSE(module.ContainsCode(base));
}

TEST(ModuleInfoImplTest, TheCodeExtentOfALoadedModule) {
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      reinterpret_cast<const uint8_t*>(kernel32) +
      reinterpret_cast<const IMAGE_DOS_HEADER*>(kernel32)->e_lfanew);
  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(kernel32, path, MAX_PATH);
  const uint64_t base = reinterpret_cast<uintptr_t>(kernel32);
  const ModuleInfoImpl module(::GetCurrentProcess(), L"kernel32.dll", path,
                              base, nt->OptionalHeader.SizeOfImage);
  const uint64_t code_end =
      base + nt->OptionalHeader.BaseOfCode + nt->OptionalHeader.SizeOfCode;
  EXPECT_EQ(code_end - base, module.code_extent());
  EXPECT_EQ(nt->FileHeader.TimeDateStamp, module.time_stamp());
  EXPECT_TRUE(module.ContainsCode(code_end - 1));
  EXPECT_FALSE(module.ContainsCode(code_end));
  EXPECT_FALSE(module.ContainsCode(base - 1));
}

TEST(ModuleInfoImplTest, FindsVersionTextsInAnyLetterCaseAndWidth) {
  const auto utf16 = [](const std::string& text) {
    std::string wide;
    for (char c : text) {
      wide.push_back(c);
      wide.push_back('\0');
    }
    return wide;
  };
  const struct {
    std::string data;
    const char* key;
    const char* expected;
  } kCases[] = {
      {utf16("FileVersion") + std::string(4, '\0') + utf16("1.2.3.4") +
           std::string(2, '\0'),
       "FILEVERSION", "1.2.3.4"},
      {std::string("xxFILEVERSION\0\0007.0", 19), "FILEVERSION", "7.0"},
      // A false start one character before the key.
      {utf16("FFileVersion") + std::string(2, '\0') + utf16("9"), "FILEVERSION",
       "9"},
      {utf16("FileVersio"), "FILEVERSION", ""},
      {utf16("OriginalFilename") + std::string(2, '\0') + utf16("a.dll"),
       "ORIGINALFILENAME", "a.dll"},
      {utf16("FileVersion") + std::string(2, '\0') +
           utf16(std::string(200, 'v')),
       "FILEVERSION", nullptr},
  };
  for (const auto& c : kCases) {
    const std::string found = FindVersionText(
        reinterpret_cast<const uint8_t*>(c.data.data()), c.data.size(), c.key);
    EXPECT_EQ(c.expected ? c.expected : std::string(127, 'v'), found);
  }
}

TEST(ModuleInfoImplTest, ParsesTheModulesKeyUpToTheFirstBadRecord) {
  const struct {
    const wchar_t* text;
    size_t count;
  } kCases[] = {
      {L"", 0},
      {L"a.exe:140000000:2bc000:C:\\a.exe::", 1},
      {L"a.exe:140000000:2bc000:C:\\a.exe::b.dll:7b000000:1000:C:\\b.dll::", 2},
      {L"a.exe:140000000:2bc000:C:\\a.exe::b.dll:zz:1000:C:\\b.dll::", 1},
      {L"a.exe:140000000:2bc000:C:\\a.exe::b.dll:7b000000:1000:C:\\b.dll", 1},
      {L":140000000:2bc000:C:\\a.exe::", 0},
      {L"a.exe:140000000::C:\\a.exe::", 0},
      {L"a.exe:140000000:1:::", 0},
      {L"a.exe:140000000:100000000:C:\\a.exe::", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    const std::vector<ModuleListEntry> modules = ParseModuleList(c.text);
    ASSERT_EQ(c.count, modules.size());
    if (c.count > 0) {
      EXPECT_EQ(L"a.exe", modules[0].name);
      EXPECT_EQ(L"C:\\a.exe", modules[0].path);
      EXPECT_EQ(0x140000000u, modules[0].base);
      EXPECT_EQ(0x2bc000u, modules[0].size);
    }
  }
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo
