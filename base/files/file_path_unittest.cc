#include "base/files/file_path.h"

#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

struct UnaryCase {
  const wchar_t* input;
  const wchar_t* expected;
};

struct BinaryCase {
  const wchar_t* first;
  const wchar_t* second;
  const wchar_t* expected;
};

std::vector<string16> Components(const wchar_t* path) {
  std::vector<string16> components;
  FilePath(path).GetComponents(&components);
  return components;
}

TEST(FilePathTest, DirName) {
  const UnaryCase cases[] = {
      {L"", L"."},
      {L"a", L"."},
      {L"a\\", L"."},
      {L"a\\b", L"a"},
      {L"a\\b\\", L"a"},
      {L"a/b", L"a"},
      {L"a/b/c", L"a/b"},
      {L"a\\\\b", L"a"},
      {L"a\\b\\\\\\", L"a"},
      {L"\\", L"\\"},
      {L"/", L"/"},
      {L"\\a", L"\\"},
      {L"\\a\\", L"\\"},
      {L"C:", L"C:"},
      {L"C:a", L"C:"},
      {L"C:a\\b", L"C:a"},
      {L"C:\\", L"C:\\"},
      {L"C:/", L"C:/"},
      {L"C:\\a", L"C:\\"},
      {L"C:\\a\\", L"C:\\"},
      {L"C:\\a\\b", L"C:\\a"},
      {L"C:\\\\", L"C:\\\\"},
      {L"C:\\\\a", L"C:\\\\"},
      {L"\\\\", L"\\\\"},
      {L"//", L"//"},
      {L"\\\\server", L"\\\\"},
      {L"\\\\server\\", L"\\\\"},
      {L"\\\\server\\share", L"\\\\server"},
      {L"\\\\\\", L"\\"},
      {L"1:\\a", L"1:"},
      {L"..", L"."},
      {L"a\\..", L"a"},
  };
  for (const UnaryCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.input).DirName().value()) << c.input;
}

TEST(FilePathTest, BaseName) {
  const UnaryCase cases[] = {
      {L"", L""},
      {L"a", L"a"},
      {L"a\\b", L"b"},
      {L"a/b", L"b"},
      {L"a\\b\\", L"b"},
      {L"a\\b//", L"b"},
      {L"\\", L"\\"},
      {L"\\a", L"a"},
      {L"\\\\", L"\\\\"},
      {L"\\\\server", L"server"},
      {L"\\\\server\\share", L"share"},
      {L"C:", L""},
      {L"c:a", L"a"},
      {L"C:\\", L"\\"},
      {L"C:\\\\", L"\\\\"},
      {L"C:\\a\\b.txt", L"b.txt"},
      {L".", L"."},
      {L"a\\..", L".."},
  };
  for (const UnaryCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.input).BaseName().value()) << c.input;
}

TEST(FilePathTest, StripTrailingSeparators) {
  const UnaryCase cases[] = {
      {L"", L""},
      {L"a", L"a"},
      {L"a\\", L"a"},
      {L"a/", L"a"},
      {L"a\\/\\", L"a"},
      {L"a\\b\\", L"a\\b"},
      {L"\\", L"\\"},
      {L"\\\\", L"\\\\"},
      {L"\\\\\\", L"\\"},
      {L"////", L"/"},
      {L"C:", L"C:"},
      {L"C:\\", L"C:\\"},
      {L"C:\\\\", L"C:\\\\"},
      {L"C:\\\\\\", L"C:\\"},
      {L"C:a\\", L"C:a"},
  };
  for (const UnaryCase& c : cases) {
    EXPECT_EQ(c.expected, FilePath(c.input).StripTrailingSeparators().value())
        << c.input;
    FilePath in_place(c.input);
    in_place.StripTrailingSeparatorsInPlace();
    EXPECT_EQ(c.expected, in_place.value()) << c.input;
  }
}

TEST(FilePathTest, Extension) {
  const UnaryCase cases[] = {
      {L"", L""},
      {L"foo", L""},
      {L"foo.txt", L".txt"},
      {L"foo.", L"."},
      {L"foo.tar.gz", L".tar.gz"},
      {L"foo.tar.GZ", L".tar.GZ"},
      {L"foo.tar.Z", L".tar.Z"},
      {L"foo.tar.bz2", L".tar.bz2"},
      {L"foo.tar.bz", L".tar.bz"},
      {L"foo.tar.xz", L".xz"},
      {L"foo.1234.gz", L".1234.gz"},
      {L"foo.12345.gz", L".gz"},
      {L"foo..gz", L".gz"},
      {L"foo.gz", L".gz"},
      {L"prefs.user.js", L".user.js"},
      {L"PREFS.USER.JS", L".USER.JS"},
      {L"prefs.other.js", L".js"},
      {L"x.y\\foo.gz", L".gz"},
      {L"x.tar\\foo", L""},
      {L"C:\\dir.d\\file.txt", L".txt"},
      {L"C:\\dir\\file.txt\\", L".txt"},
      {L".", L""},
      {L"..", L""},
      {L"a\\..", L""},
      {L".bashrc", L".bashrc"},
      {L"dir\\.bashrc", L".bashrc"},
  };
  for (const UnaryCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.input).Extension()) << c.input;
}

TEST(FilePathTest, RemoveAndInsertBeforeExtension) {
  const UnaryCase removed[] = {
      {L"foo.txt", L"foo"},
      {L"foo.tar.gz", L"foo"},
      {L"foo.12345.gz", L"foo.12345"},
      {L"C:\\a.b\\foo", L"C:\\a.b\\foo"},
      {L"x.y\\foo.gz", L"x.y\\foo"},
      {L".bashrc", L""},
      {L"foo", L"foo"},
      {L"..", L".."},
  };
  for (const UnaryCase& c : removed)
    EXPECT_EQ(c.expected, FilePath(c.input).RemoveExtension().value())
        << c.input;

  const BinaryCase inserted[] = {
      {L"foo.txt", L"-1", L"foo-1.txt"},
      {L"foo.tar.gz", L" (2)", L"foo (2).tar.gz"},
      {L"C:\\a.b\\foo", L"_x", L"C:\\a.b\\foo_x"},
      {L"foo.txt", L"", L"foo.txt"},
      {L"..", L"x", L""},
      {L"", L"x", L""},
      {L"dir\\.", L"x", L""},
  };
  for (const BinaryCase& c : inserted) {
    EXPECT_EQ(c.expected,
              FilePath(c.first).InsertBeforeExtension(c.second).value())
        << c.first << " + " << c.second;
  }
  EXPECT_EQ(L"foo_old.dll",
            FilePath(L"foo.dll").InsertBeforeExtensionASCII("_old").value());
}

TEST(FilePathTest, AddAndReplaceExtension) {
  const BinaryCase added[] = {
      {L"foo", L"txt", L"foo.txt"},
      {L"foo", L".txt", L"foo.txt"},
      {L"foo.", L"txt", L"foo.txt"},
      {L"foo.", L".txt", L"foo..txt"},
      {L"foo.tar", L"gz", L"foo.tar.gz"},
      {L"foo", L"", L"foo"},
      {L"foo", L".", L"foo"},
      {L"..", L"txt", L""},
      {L".", L"txt", L""},
      {L"", L"txt", L""},
  };
  for (const BinaryCase& c : added) {
    EXPECT_EQ(c.expected, FilePath(c.first).AddExtension(c.second).value())
        << c.first << " + " << c.second;
  }

  const BinaryCase replaced[] = {
      {L"foo.txt", L"zip", L"foo.zip"},    {L"foo.txt", L".zip", L"foo.zip"},
      {L"foo.tar.gz", L"zip", L"foo.zip"}, {L"foo", L"zip", L"foo.zip"},
      {L"foo.txt", L"", L"foo"},           {L"foo.txt", L".", L"foo"},
      {L"x.y\\foo", L"z", L"x.y\\foo.z"},  {L"..", L"zip", L""},
  };
  for (const BinaryCase& c : replaced) {
    EXPECT_EQ(c.expected, FilePath(c.first).ReplaceExtension(c.second).value())
        << c.first << " + " << c.second;
  }
}

TEST(FilePathTest, Append) {
  const BinaryCase cases[] = {
      {L"", L"b", L"b"},
      {L".", L"b", L"b"},
      {L".", L"", L""},
      {L"a", L"b", L"a\\b"},
      {L"a\\", L"b", L"a\\b"},
      {L"a/", L"b", L"a\\b"},
      {L"a\\\\", L"b", L"a\\b"},
      {L"a", L"", L"a"},
      {L"a\\\\", L"", L"a"},
      {L"a", L"b\\c", L"a\\b\\c"},
      {L"C:", L"a", L"C:a"},
      {L"C:\\", L"a", L"C:\\a"},
      {L"C:/", L"a", L"C:/a"},
      {L"\\", L"a", L"\\a"},
      {L"\\\\", L"server", L"\\\\server"},
      {L"\\\\server", L"share", L"\\\\server\\share"},
      {L"C:\\a", L"..", L"C:\\a\\.."},
  };
  for (const BinaryCase& c : cases) {
    EXPECT_EQ(c.expected, FilePath(c.first).Append(c.second).value())
        << c.first << " + " << c.second;
    EXPECT_EQ(c.expected, FilePath(c.first).Append(FilePath(c.second)).value())
        << c.first << " + " << c.second;
  }

  // Text after an embedded NUL never reaches a path.
  const wchar_t with_nul[] = L"b\0c";
  EXPECT_EQ(L"a\\b", FilePath(L"a").Append(StringPiece16(with_nul, 3)).value());
  EXPECT_EQ(L"a\\b.txt",
            FilePath(L"a").AppendASCII(StringPiece("b.txt\0x", 7)).value());
  EXPECT_EQ(L"C:\\a\\b\\c", FilePath(L"C:\\a").AppendASCII("b\\c").value());
}

TEST(FilePathTest, ConstructionCutsAtNul) {
  const wchar_t text[] = L"C:\\a\0\\b";
  EXPECT_EQ(L"C:\\a", FilePath(StringPiece16(text, 7)).value());
  EXPECT_EQ(L"C:\\a", FilePath::FromString(StringPiece16(text, 7)).value());
  EXPECT_TRUE(FilePath(StringPiece16(text, 0)).empty());

  FilePath copy(FilePath(L"x\\y"));
  FilePath assigned;
  assigned = copy;
  assigned = *&assigned;
  EXPECT_EQ(L"x\\y", assigned.value());
  EXPECT_EQ(L"x\\y", copy.value());
}

TEST(FilePathTest, GetComponents) {
  const struct {
    const wchar_t* path;
    std::vector<string16> expected;
  } cases[] = {
      {L"", {}},
      {L".", {}},
      {L"a", {L"a"}},
      {L"a\\b", {L"a", L"b"}},
      {L"a/b\\c/", {L"a", L"b", L"c"}},
      {L"a\\\\b", {L"a", L"b"}},
      {L"..\\a", {L"..", L"a"}},
      {L"\\", {L"\\"}},
      {L"\\a\\b", {L"\\", L"a", L"b"}},
      {L"/a/b", {L"/", L"a", L"b"}},
      {L"C:", {L"C:"}},
      {L"C:a", {L"C:", L"a"}},
      {L"C:\\", {L"C:", L"\\"}},
      {L"C:\\a\\b", {L"C:", L"\\", L"a", L"b"}},
      {L"c:/a/b/", {L"c:", L"/", L"a", L"b"}},
      {L"C:\\\\a", {L"C:", L"\\\\", L"a"}},
      {L"\\\\server\\share\\f", {L"\\\\", L"server", L"share", L"f"}},
      {L"//server/share", {L"//", L"server", L"share"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, Components(c.path)) << c.path;
}

// Paths built from known components come apart into exactly those
// components, and every ancestor prefix relates to the whole path.
TEST(FilePathTest, GeneratedComponentsAndRelativePaths) {
  std::mt19937 random(20240611);
  const string16 alphabet = L"abcXYZ. -_\x00e9\x4e2d";
  const wchar_t* const roots[][2] = {
      // {text put in front, components it yields}
      {L"", nullptr},     {L"C:", L"C:"},   {L"\\", L"\\"},    {L"/", L"/"},
      {L"C:\\", L"C:\\"}, {L"d:/", L"d:/"}, {L"\\\\", L"\\\\"}};
  for (int round = 0; round < 2000; ++round) {
    const auto& root = roots[random() % 7];
    std::vector<string16> names;
    const int count = 1 + random() % 5;
    for (int i = 0; i < count; ++i) {
      string16 name;
      const int length = 1 + random() % 4;
      for (int j = 0; j < length; ++j)
        name.push_back(alphabet[random() % alphabet.size()]);
      // A bare "." adds nothing to a path; leave it to the fixed cases.
      if (name == L".")
        name = L"..";
      names.push_back(name);
    }

    string16 text = root[0];
    std::vector<string16> expected;
    const string16 root_text = root[0];
    if (root_text.size() >= 2 && root_text[1] == L':') {
      expected.push_back(root_text.substr(0, 2));
      if (root_text.size() > 2)
        expected.push_back(root_text.substr(2));
    } else if (!root_text.empty()) {
      expected.push_back(root_text);
    }
    std::vector<string16> prefixes;  // Text of each ancestor.
    for (size_t i = 0; i < names.size(); ++i) {
      if (i > 0)
        text.push_back(random() % 2 ? L'\\' : L'/');
      text += names[i];
      prefixes.push_back(text);
      expected.push_back(names[i]);
    }
    if (random() % 3 == 0)
      text += L"\\";

    std::vector<string16> components;
    FilePath(text).GetComponents(&components);
    ASSERT_EQ(expected, components) << text;

    // Every strict ancestor gives back the remaining names, appended to an
    // existing base.
    for (size_t i = 0; i + 1 < prefixes.size(); ++i) {
      FilePath relative(L"base");
      ASSERT_TRUE(
          FilePath(prefixes[i]).AppendRelativePath(FilePath(text), &relative))
          << prefixes[i] << " in " << text;
      string16 expected_relative = L"base";
      for (size_t j = i + 1; j < names.size(); ++j)
        expected_relative += L"\\" + names[j];
      EXPECT_EQ(expected_relative, relative.value());
    }
    // A path is not its own ancestor, and a child is not its parent's.
    EXPECT_FALSE(FilePath(text).AppendRelativePath(FilePath(text), nullptr));
    EXPECT_FALSE(
        FilePath(text).AppendRelativePath(FilePath(prefixes[0]), nullptr));
  }
}

// Any text at all comes apart without looping, into components of which
// only the drive and root may hold separators.
TEST(FilePathTest, ComponentsOfArbitraryText) {
  const string16 alphabet = L"aC:.\\/";
  const size_t base = alphabet.size();
  size_t total = 1;
  for (int length = 0; length <= 6; ++length, total *= base) {
    for (size_t n = 0; n < total; ++n) {
      string16 text;
      for (size_t rest = n, i = 0; i < static_cast<size_t>(length); ++i) {
        text.push_back(alphabet[rest % base]);
        rest /= base;
      }
      const FilePath path(text);
      std::vector<string16> components;
      path.GetComponents(&components);
      if (text.find_first_of(L"aC") != string16::npos) {
        EXPECT_FALSE(components.empty()) << text;
      }
      for (size_t i = 0; i < components.size(); ++i) {
        EXPECT_FALSE(components[i].empty()) << text;
        if (i >= 2) {
          EXPECT_EQ(string16::npos, components[i].find_first_of(L"\\/"))
              << text;
        }
      }
      EXPECT_LE(path.DirName().value().size(), std::max<size_t>(1, length))
          << text;
      EXPECT_LE(path.BaseName().value().size(), text.size()) << text;
    }
  }
}

TEST(FilePathTest, AppendRelativePath) {
  FilePath out(L"D:\\out");
  EXPECT_TRUE(
      FilePath(L"C:\\a").AppendRelativePath(FilePath(L"c:\\a\\b\\c"), &out));
  EXPECT_EQ(L"D:\\out\\b\\c", out.value());

  EXPECT_TRUE(
      FilePath(L"C:\\a\\").AppendRelativePath(FilePath(L"C:\\a/b/"), nullptr));
  EXPECT_TRUE(FilePath(L"\\\\srv")
                  .AppendRelativePath(FilePath(L"\\\\srv\\share\\x"), nullptr));

  const struct {
    const wchar_t* parent;
    const wchar_t* child;
  } unrelated[] = {
      {L"C:\\a", L"C:\\A\\b"},    // Only the drive letter ignores case.
      {L"C:\\a", L"D:\\a\\b"},    // Different drives.
      {L"C:\\a", L"\\a\\b"},      // Drive against none.
      {L"\\a", L"C:\\a\\b"},      //
      {L"C:\\a", L"C:\\ab"},      // A longer name is not a child.
      {L"C:\\a\\b", L"C:\\a"},    // Parent below the child.
      {L"C:\\a", L"C:\\a"},       // Not a strict ancestor.
      {L"C:\\a", L"C:\\a\\"},     //
      {L"", L"a\\b"},             // No components.
      {L"a", L"\\a\\b"},          // Relative against absolute.
      {L"\\\\srv", L"\\srv\\x"},  // UNC root against single root.
  };
  for (const auto& c : unrelated) {
    FilePath untouched(L"keep");
    EXPECT_FALSE(
        FilePath(c.parent).AppendRelativePath(FilePath(c.child), &untouched))
        << c.parent << " / " << c.child;
    EXPECT_EQ(L"keep", untouched.value());
  }
}

TEST(FilePathTest, IsAbsolute) {
  const struct {
    const wchar_t* path;
    bool absolute;
  } cases[] = {
      {L"", false},          {L"a", false},       {L"\\", false},
      {L"\\a", false},       {L"/a", false},      {L"\\\\", true},
      {L"\\\\server", true}, {L"//server", true}, {L"\\/x", true},
      {L"C:", false},        {L"C:a", false},     {L"C:\\", true},
      {L"c:/a", true},       {L"C:\\a", true},    {L"1:\\a", false},
      {L"CC:\\a", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.absolute, FilePath(c.path).IsAbsolute()) << c.path;
    EXPECT_EQ(c.absolute, FilePath::IsPathAbsolute(c.path)) << c.path;
  }
}

TEST(FilePathTest, ReferencesParent) {
  const struct {
    const wchar_t* path;
    bool references;
  } cases[] = {
      {L"", false},
      {L"..", true},
      {L"..\\a", true},
      {L"a\\..", true},
      {L"a/../b", true},
      {L"C:\\a\\..\\b", true},
      {L"a\\ ..\\b", true},
      {L"a\\.. \\b", true},
      {L"a\\. ..\\b", true},
      {L"a\\...\\b", true},
      {L"a\\..\t\\b", true},
      {L"a\\..b\\c", false},
      {L"a\\b..\\c", false},
      {L"a\\.\\b", false},
      {L"a\\. .\\b", false},
      {L"C:\\a.b\\c", false},
      {L"\\\\server\\share", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.references, FilePath(c.path).ReferencesParent()) << c.path;
}

TEST(FilePathTest, EqualityIgnoresOnlyDriveLetterCase) {
  EXPECT_EQ(FilePath(L"c:\\a"), FilePath(L"C:\\a"));
  EXPECT_NE(FilePath(L"C:\\A"), FilePath(L"C:\\a"));
  EXPECT_NE(FilePath(L"C:\\a"), FilePath(L"C:/a"));
  EXPECT_NE(FilePath(L"C:\\a"), FilePath(L"C:\\a\\"));
  EXPECT_NE(FilePath(L"C:"), FilePath(L"C:\\"));
  EXPECT_EQ(FilePath(L"a\\b"), FilePath(L"a\\b"));
  EXPECT_NE(FilePath(L"a\\b"), FilePath(L"A\\b"));
  // The first two units only count as a drive with a letter and a colon.
  EXPECT_NE(FilePath(L"1:\\a"), FilePath(L"1:\\A"));
  EXPECT_NE(FilePath(L"ab"), FilePath(L"AB"));
  EXPECT_EQ(FilePath(), FilePath(L""));
}

TEST(FilePathTest, CompareIgnoreCase) {
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(L"", L""));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(L"C:\\Program Files\\X",
                                           L"c:\\PROGRAM FILES\\x"));
  // Case mapping goes beyond ASCII.
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(L"\x00e9t\x00e9", L"\x00c9T\x00c9"));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(L"\x0439", L"\x0419"));
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(L"a", L"B"));
  EXPECT_EQ(1, FilePath::CompareIgnoreCase(L"B", L"a"));
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(L"abc", L"ABCD"));
  EXPECT_EQ(1, FilePath::CompareIgnoreCase(L"abcd", L"ABC"));
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(L"", L"a"));
  // Units compare unsigned after upper-casing: 'a' becomes 'A' (0x41), which
  // sorts before '_' (0x5F).
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(L"a", L"_"));
  EXPECT_EQ(1, FilePath::CompareIgnoreCase(L"\xfffd", L"a"));
  // Separators are not folded into each other.
  EXPECT_NE(0, FilePath::CompareIgnoreCase(L"a\\b", L"a/b"));
  // Embedded NULs are compared like any unit.
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(StringPiece16(L"a\0b", 3),
                                            StringPiece16(L"a\0c", 3)));
}

TEST(FilePathTest, NormalizeAndConvert) {
  EXPECT_EQ(L"\\\\a\\b\\c",
            FilePath(L"//a/b\\c").NormalizePathSeparators().value());
  EXPECT_EQ(L"C:/a/b",
            FilePath(L"C:\\a/b").NormalizePathSeparatorsTo(L'/').value());

  EXPECT_EQ("C:\\a\xc3\xa9", FilePath(L"C:\\a\x00e9").AsUTF8());
  EXPECT_EQ("\xe4\xb8\xad", FilePath(L"\x4e2d").AsUTF8());
  EXPECT_EQ("C:\\a", FilePath(L"C:\\a").AsASCIIOrEmpty());
  EXPECT_EQ("", FilePath(L"C:\\a\x00e9").AsASCIIOrEmpty());
  EXPECT_EQ("", FilePath(L"\x0141").AsASCIIOrEmpty());
}

}  // namespace
}  // namespace base
