#include "base/files/file_path.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

// One path and what two operations make of it.
struct Case {
  const wchar_t* path;
  const wchar_t* first;
  const wchar_t* second = nullptr;
};

TEST(FilePathTest, DirNameAndBaseName) {
  const Case kCases[] = {
      {L"a\\", L".", L"a"},          {L"a/b/c", L"a/b", L"c"},
      {L"a\\\\b", L"a", L"b"},       {L"a\\b\\\\\\", L"a", L"b"},
      {L"\\a\\", L"\\", L"a"},       {L"\\", L"\\", L"\\"},
      {L"C:", L"C:", L""},           {L"c:a", L"c:", L"a"},
      {L"C:a\\b", L"C:a", L"b"},     {L"C:\\", L"C:\\", L"\\"},
      {L"C:/a", L"C:/", L"a"},       {L"C:\\\\", L"C:\\\\", L"\\\\"},
      {L"C:\\\\a", L"C:\\\\", L"a"}, {L"\\\\", L"\\\\", L"\\\\"},
      {L"\\\\s\\", L"\\\\", L"s"},   {L"\\\\s\\t", L"\\\\s", L"t"},
      {L"\\\\\\", L"\\", L"\\"},     {L"1:\\a", L"1:", L"a"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(c.first, FilePath(c.path).DirName().value()) << c.path;
    EXPECT_EQ(c.second, FilePath(c.path).BaseName().value()) << c.path;
  }
}

TEST(FilePathTest, ExtensionAndRemoveExtension) {
  const Case kCases[] = {
      {L"f.g.", L".", L"f.g"},
      {L"f.tar.gz", L".tar.gz", L"f"},
      {L"f.tar.Z", L".tar.Z", L"f"},
      {L"f.tar.bZ2", L".tar.bZ2", L"f"},
      {L"f.tar.BZ", L".tar.BZ", L"f"},
      {L"f.tar.xz", L".xz", L"f.tar"},
      {L"f.1234.gz", L".1234.gz", L"f"},
      {L"f.12345.gz", L".gz", L"f.12345"},
      {L"f..gz", L".gz", L"f."},
      {L"P.USER.JS", L".USER.JS", L"P"},
      {L"x.y\\f.gz", L".gz", L"x.y\\f"},
      // The extension's dots are looked for in the base name only.
      {L"a.b\\c.gz", L".gz", L"a.b\\c"},
      {L"x.tar\\f", L"", L"x.tar\\f"},
      {L"C:\\f.t\\", L".t", L"C:\\f"},
      {L"a\\..", L"", L"a\\.."},
      {L"a\\.", L"", L"a\\."},
      {L".bash", L".bash", L""},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(c.first, FilePath(c.path).Extension()) << c.path;
    EXPECT_EQ(c.second, FilePath(c.path).RemoveExtension().value()) << c.path;
  }
}

TEST(FilePathTest, StripTrailingSeparators) {
  const Case kCases[] = {
      {L"", L""},         {L"a\\/\\", L"a"},      {L"a\\b\\", L"a\\b"},
      {L"\\", L"\\"},     {L"\\\\", L"\\\\"},     {L"////", L"/"},
      {L"C:\\", L"C:\\"}, {L"C:\\\\", L"C:\\\\"}, {L"C:\\\\\\", L"C:\\"},
      {L"C:a\\", L"C:a"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(c.first, FilePath(c.path).StripTrailingSeparators().value());
}

// A path, an argument, and what an operation makes of the two.
template <size_t N>
void CheckWithArgument(FilePath (FilePath::*operation)(StringPiece16) const,
                       const Case (&cases)[N]) {
  for (const Case& c : cases) {
    EXPECT_EQ(c.second, (FilePath(c.path).*operation)(c.first).value())
        << c.path << " with " << c.first;
  }
}

TEST(FilePathTest, BuildingPaths) {
  const Case kInsertBeforeExtension[] = {
      {L"f.tar.gz", L"_2", L"f_2.tar.gz"},
      {L"C:\\a.b\\f", L"_x", L"C:\\a.b\\f_x"},
      {L"f.txt", L"", L"f.txt"},
      {L"..", L"x", L""},
      {L"d\\.", L"x", L""},
  };
  CheckWithArgument(&FilePath::InsertBeforeExtension, kInsertBeforeExtension);
  const Case kAddExtension[] = {
      {L"f", L"txt", L"f.txt"},  {L"f", L".txt", L"f.txt"},
      {L"f.", L"txt", L"f.txt"}, {L"f.", L".txt", L"f..txt"},
      {L"f", L"", L"f"},         {L"f", L".", L"f"},
      {L"..", L"txt", L""},      {L"", L"txt", L""},
  };
  CheckWithArgument(&FilePath::AddExtension, kAddExtension);
  const Case kReplaceExtension[] = {
      {L"f.txt", L".zip", L"f.zip"},  {L"f.tar.gz", L"zip", L"f.zip"},
      {L"f.txt", L"", L"f"},          {L"f.txt", L".", L"f"},
      {L"x.y\\f", L"z", L"x.y\\f.z"}, {L"..", L"zip", L""},
  };
  CheckWithArgument(&FilePath::ReplaceExtension, kReplaceExtension);
  const Case kAppend[] = {
      {L"", L"b", L"b"},         {L".", L"b", L"b"},
      {L".", L"", L""},          {L"a", L"b", L"a\\b"},
      {L"a\\\\", L"b", L"a\\b"}, {L"a\\\\", L"", L"a"},
      {L"C:", L"a", L"C:a"},     {L"\\", L"a", L"\\a"},
      {L"\\\\", L"s", L"\\\\s"},
  };
  CheckWithArgument(&FilePath::Append, kAppend);
  EXPECT_EQ(L"f_old.dll",
            FilePath(L"f.dll").InsertBeforeExtensionASCII("_old").value());
  // Text after an embedded NUL never reaches a path.
  EXPECT_EQ(L"a\\b", FilePath(L"a").Append(StringPiece16(L"b\0c", 3)).value());
  EXPECT_EQ(L"a\\b.txt",
            FilePath(L"a").AppendASCII(StringPiece("b.txt\0x", 7)).value());
  EXPECT_EQ(L"C:\\a",
            FilePath::FromString(StringPiece16(L"C:\\a\0\\b", 7)).value());
  FilePath assigned;
  assigned = FilePath(L"x\\y");
  assigned = *&assigned;
  EXPECT_EQ(L"x\\y", assigned.value());
}

TEST(FilePathTest, GetComponents) {
  const struct {
    const wchar_t* path;
    std::vector<string16> expected;
  } cases[] = {
      {L"", {}},
      {L".", {}},
      {L"a/b\\c/", {L"a", L"b", L"c"}},
      {L"a\\\\b", {L"a", L"b"}},
      {L"..\\a", {L"..", L"a"}},
      {L"\\a\\b", {L"\\", L"a", L"b"}},
      {L"C:", {L"C:"}},
      {L"C:a", {L"C:", L"a"}},
      {L"c:/a/b/", {L"c:", L"/", L"a", L"b"}},
      {L"C:\\\\a", {L"C:", L"\\\\", L"a"}},
      {L"C:\\\\\\", {L"C:", L"\\"}},
      {L"\\\\server\\share\\f", {L"\\\\", L"server", L"share", L"f"}},
  };
  for (const auto& c : cases) {
    std::vector<string16> components;
    FilePath(c.path).GetComponents(&components);
    EXPECT_EQ(c.expected, components) << c.path;
  }
}

TEST(FilePathTest, AppendRelativePath) {
  FilePath out(L"D:\\out");
  EXPECT_TRUE(
      FilePath(L"C:\\a").AppendRelativePath(FilePath(L"c:\\a\\b\\c"), &out));
  EXPECT_EQ(L"D:\\out\\b\\c", out.value());
  EXPECT_TRUE(
      FilePath(L"C:\\a\\").AppendRelativePath(FilePath(L"C:\\a/b/"), nullptr));

  // Only the drive letter ignores case; a drive, a root or a double root
  // never matches another; a name is not its own ancestor, nor is one that
  // begins the same.
  const Case kUnrelated[] = {
      {L"C:\\a", L"C:\\A\\b"}, {L"C:\\a", L"D:\\a\\b"}, {L"C:\\a", L"\\a\\b"},
      {L"\\a", L"C:\\a\\b"},   {L"C:\\a", L"C:\\ab"},   {L"C:\\a\\b", L"C:\\a"},
      {L"C:\\a", L"C:\\a\\"},  {L"", L"a\\b"},          {L"\\\\s", L"\\s\\x"},
  };
  for (const Case& c : kUnrelated) {
    FilePath untouched(L"keep");
    EXPECT_FALSE(
        FilePath(c.path).AppendRelativePath(FilePath(c.first), &untouched))
        << c.path << " / " << c.first;
    EXPECT_EQ(L"keep", untouched.value());
  }
}

TEST(FilePathTest, Queries) {
  const struct {
    const wchar_t* path;
    bool absolute;
    bool references_parent;
  } cases[] = {
      {L"", false, false},          {L"\\a", false, false},
      {L"\\\\server", true, false}, {L"\\/x", true, false},
      {L"C:", false, false},        {L"C:a", false, false},
      {L"a:\\", true, false},       {L"z:/a", true, false},
      {L"1:\\a", false, false},     {L"..", false, true},
      {L"a/../b", false, true},     {L"a\\ ..\\b", false, true},
      {L"a\\. ..\\b", false, true}, {L"a\\..\t\\b", false, true},
      {L"a\\..b\\c", false, false}, {L"a\\. .\\b", false, false},
      {L"C:\\a\\..", true, true},   {L"\\\\server\\share", true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.absolute, FilePath(c.path).IsAbsolute()) << c.path;
    EXPECT_EQ(c.references_parent, FilePath(c.path).ReferencesParent())
        << c.path;
  }
}

// Equality ignores the case of drive letters only; CompareIgnoreCase maps
// case beyond ASCII, and compares units unsigned after upper-casing: 'a'
// becomes 'A' (0x41), before '_'.
TEST(FilePathTest, Comparisons) {
  const struct {
    const wchar_t* a;
    const wchar_t* b;
    bool equal;
    int compare_ignore_case;
  } cases[] = {
      {L"c:\\a", L"C:\\a", true, 0},
      {L"A:\\b", L"a:\\b", true, 0},
      {L"C:\\A", L"C:\\a", false, 0},
      {L"Z:", L"z:", true, 0},
      // Without a drive, the first two units are no drive letter either.
      {L"ab", L"AB", false, 0},
      {L"a\\b", L"A\\b", false, 0},
      {L"C:\\a", L"C:/a", false, 1},
      {L"\x00e9t\x00e9", L"\x00c9T\x00c9", false, 0},
      {L"a", L"B", false, -1},
      {L"", L"a", false, -1},
      {L"a", L"_", false, -1},
      {L"\xfffd", L"a", false, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.equal, FilePath(c.a) == FilePath(c.b)) << c.a << " " << c.b;
    EXPECT_EQ(!c.equal, FilePath(c.a) != FilePath(c.b)) << c.a << " " << c.b;
    EXPECT_EQ(c.compare_ignore_case, FilePath::CompareIgnoreCase(c.a, c.b))
        << c.a << " " << c.b;
  }
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(StringPiece16(L"a\0b", 3),
                                            StringPiece16(L"a\0c", 3)));
}

TEST(FilePathTest, NormalizeAndConvert) {
  EXPECT_EQ(L"\\\\a\\b\\c",
            FilePath(L"//a/b\\c").NormalizePathSeparators().value());
  EXPECT_EQ(L"C:/a/b",
            FilePath(L"C:\\a/b").NormalizePathSeparatorsTo(L'/').value());
  EXPECT_EQ("C:\\a\xc3\xa9", FilePath(L"C:\\a\x00e9").AsUTF8());
  EXPECT_EQ("C:\\a", FilePath(L"C:\\a").AsASCIIOrEmpty());
  EXPECT_EQ("", FilePath(L"C:\\a\x00e9").AsASCIIOrEmpty());
}

}  // namespace
}  // namespace base
