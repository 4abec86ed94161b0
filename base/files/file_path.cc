#include "base/files/file_path.h"

#include <windows.h>

#include <algorithm>

#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

const wchar_t FilePath::kSeparators[] = L"\\/";
const size_t FilePath::kSeparatorsLength = 2;
const wchar_t FilePath::kCurrentDirectory[] = L".";
const wchar_t FilePath::kParentDirectory[] = L"..";
const wchar_t FilePath::kExtensionSeparator = L'.';

namespace {

const size_t kNpos = string16::npos;

// Whole double extensions, matched against the text after the next-to-last
// dot.
const wchar_t* const kCommonDoubleExtensions[] = {L"user.js"};
// Final extensions that make the one before them part of the extension.
const wchar_t* const kCommonDoubleExtensionSuffixes[] = {L"gz", L"z", L"bz2",
                                                         L"bz"};

// Units that, alone or mixed, make a component that the system may resolve to
// the parent folder when it holds "..".
const wchar_t kParentLikeUnits[] = L". \n\r\t";

string16 ToString16(StringPiece16 text) {
  return string16(text.data(), text.size());
}

// A path never holds a NUL: text handed in is cut at its first one.
string16 CutAtNul(StringPiece16 text) {
  string16 result = ToString16(text);
  size_t nul = result.find(L'\0');
  if (nul != kNpos)
    result.resize(nul);
  return result;
}

wchar_t ToLowerASCIIUnit(wchar_t unit) {
  return (unit >= L'A' && unit <= L'Z') ? unit + (L'a' - L'A') : unit;
}

bool EqualsIgnoringASCIICase(const string16& a, const string16& b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerASCIIUnit(a[i]) != ToLowerASCIIUnit(b[i]))
      return false;
  }
  return true;
}

bool IsDriveLetterUnit(wchar_t unit) {
  return (unit >= L'A' && unit <= L'Z') || (unit >= L'a' && unit <= L'z');
}

size_t FindLastSeparator(const string16& path, size_t before = kNpos) {
  return path.find_last_of(FilePath::kSeparators, before);
}

}  // namespace

FilePath::FilePath() = default;

FilePath::FilePath(StringPiece16 path) : path_(CutAtNul(path)) {}

FilePath::FilePath(const FilePath& that) = default;

FilePath& FilePath::operator=(const FilePath& that) {
  if (this != &that)
    path_ = that.path_;
  return *this;
}

FilePath::~FilePath() = default;

// static
FilePath FilePath::FromString(StringPiece16 path) {
  return FilePath(path);
}

bool FilePath::operator==(const FilePath& that) const {
  return EqualDriveLetterCaseInsensitive(path_, that.path_);
}

bool FilePath::operator!=(const FilePath& that) const {
  return !(*this == that);
}

// static
int FilePath::CompareIgnoreCase(StringPiece16 a, StringPiece16 b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    // CharUpperW maps a single character when the pointer's high word is 0.
    const ULONG_PTR upper_a =
        reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(
            static_cast<ULONG_PTR>(static_cast<unsigned short>(a.data()[i])))));
    const ULONG_PTR upper_b =
        reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(
            static_cast<ULONG_PTR>(static_cast<unsigned short>(b.data()[i])))));
    const unsigned short unit_a = static_cast<unsigned short>(upper_a);
    const unsigned short unit_b = static_cast<unsigned short>(upper_b);
    if (unit_a != unit_b)
      return unit_a < unit_b ? -1 : 1;
  }
  if (a.size() == b.size())
    return 0;
  return a.size() < b.size() ? -1 : 1;
}

// static
bool FilePath::IsSeparator(wchar_t character) {
  return character == kSeparators[0] || character == kSeparators[1];
}

FilePath FilePath::DirName() const {
  FilePath new_path(*this);
  new_path.StripTrailingSeparatorsInPlace();
  string16& text = new_path.path_;

  // Arithmetic on |letter| relies on npos + 1 == 0: without a drive, "one
  // past the drive" is index 0 and the root separator sits at index 0.
  const size_t letter = FindDriveLetter(text);
  const size_t last_separator = FindLastSeparator(text);
  if (last_separator == kNpos) {
    // No separator: the drive prefix ("C:"), or nothing.
    text.resize(letter + 1);
  } else if (last_separator == letter + 1) {
    // The only separator is the root: keep it.
    text.resize(letter + 2);
  } else if (last_separator == letter + 2 && IsSeparator(text[letter + 1])) {
    // A double-separator root such as "\\" or "C:\\".
    text.resize(letter + 3);
  } else if (last_separator != 0) {
    text.resize(last_separator);
  }

  new_path.StripTrailingSeparatorsInPlace();
  if (text.empty())
    text = kCurrentDirectory;
  return new_path;
}

FilePath FilePath::BaseName() const {
  FilePath new_path(*this);
  new_path.StripTrailingSeparatorsInPlace();
  string16& text = new_path.path_;

  const size_t letter = FindDriveLetter(text);
  if (letter != kNpos)
    text.erase(0, letter + 1);

  // A lone separator (a root) is its own base name.
  const size_t last_separator = FindLastSeparator(text);
  if (last_separator != kNpos && last_separator < text.size() - 1)
    text.erase(0, last_separator + 1);
  return new_path;
}

string16 FilePath::Extension() const {
  const FilePath base(BaseName());
  const size_t dot = ExtensionSeparatorPosition(base.path_);
  if (dot == kNpos)
    return string16();
  return base.path_.substr(dot);
}

void FilePath::GetComponents(std::vector<string16>* components) const {
  components->clear();
  if (path_.empty())
    return;

  std::vector<string16> reversed;
  FilePath current(*this);
  FilePath dir(current.DirName());
  while (current != dir) {
    const FilePath base(current.BaseName());
    if (!AreAllSeparators(base.path_))
      reversed.push_back(base.path_);
    current = dir;
    dir = current.DirName();
  }

  const FilePath root(current.BaseName());
  if (!root.empty() && root.path_ != kCurrentDirectory)
    reversed.push_back(root.path_);

  const size_t letter = FindDriveLetter(dir.path_);
  if (letter != kNpos)
    reversed.push_back(dir.path_.substr(0, letter + 1));

  components->assign(reversed.rbegin(), reversed.rend());
}

FilePath FilePath::Append(StringPiece16 component) const {
  const string16 appended = CutAtNul(component);
  if (path_ == kCurrentDirectory)
    return FilePath(appended);

  FilePath new_path(*this);
  new_path.StripTrailingSeparatorsInPlace();
  string16& text = new_path.path_;

  // No separator after a bare drive prefix: "C:" + "a" is "C:a",
  // which is relative to the drive's current folder.
  const bool bare_drive = FindDriveLetter(text) != kNpos && text.size() == 2;
  if (!appended.empty() && !text.empty() && !IsSeparator(text.back()) &&
      !bare_drive) {
    text.push_back(kSeparators[0]);
  }
  text.append(appended);
  return new_path;
}

FilePath FilePath::Append(const FilePath& component) const {
  return Append(StringPiece16(component.path_));
}

FilePath FilePath::AppendASCII(StringPiece component) const {
  return Append(StringPiece16(ASCIIToUTF16(component)));
}

bool FilePath::AppendRelativePath(const FilePath& child, FilePath* path) const {
  std::vector<string16> parent_components;
  std::vector<string16> child_components;
  GetComponents(&parent_components);
  child.GetComponents(&child_components);

  if (parent_components.empty() ||
      parent_components.size() >= child_components.size()) {
    return false;
  }

  size_t i = 0;
  if (FindDriveLetter(parent_components[0]) != kNpos &&
      FindDriveLetter(child_components[0]) != kNpos) {
    if (!EqualsIgnoringASCIICase(parent_components[0], child_components[0]))
      return false;
    ++i;
  }

  for (; i < parent_components.size(); ++i) {
    if (parent_components[i] != child_components[i])
      return false;
  }

  if (path) {
    for (; i < child_components.size(); ++i)
      *path = path->Append(StringPiece16(child_components[i]));
  }
  return true;
}

FilePath FilePath::AddExtension(StringPiece16 extension) const {
  if (IsEmptyOrSpecialCase(BaseName().path_))
    return FilePath();

  const string16 ext = CutAtNul(extension);
  if (ext.empty() || ext == L".")
    return *this;

  string16 text = path_;
  if (ext[0] != kExtensionSeparator &&
      (text.empty() || text.back() != kExtensionSeparator)) {
    text.push_back(kExtensionSeparator);
  }
  text.append(ext);
  return FilePath(text);
}

FilePath FilePath::ReplaceExtension(StringPiece16 extension) const {
  if (IsEmptyOrSpecialCase(BaseName().path_))
    return FilePath();

  const FilePath no_extension(RemoveExtension());
  const string16 ext = CutAtNul(extension);
  if (ext.empty() || ext == L".")
    return no_extension;

  string16 text = no_extension.path_;
  if (ext[0] != kExtensionSeparator)
    text.push_back(kExtensionSeparator);
  text.append(ext);
  return FilePath(text);
}

FilePath FilePath::RemoveExtension() const {
  if (Extension().empty())
    return *this;

  // Applied to the whole path, the separator test keeps the position inside
  // the base name.
  const size_t dot = ExtensionSeparatorPosition(path_);
  if (dot == kNpos)
    return *this;
  return FilePath(StringPiece16(path_.data(), dot));
}

FilePath FilePath::InsertBeforeExtension(StringPiece16 suffix) const {
  const string16 inserted = CutAtNul(suffix);
  if (inserted.empty())
    return *this;
  if (IsEmptyOrSpecialCase(BaseName().path_))
    return FilePath();

  string16 text = RemoveExtension().path_;
  text.append(inserted);
  text.append(Extension());
  return FilePath(text);
}

FilePath FilePath::InsertBeforeExtensionASCII(StringPiece suffix) const {
  return InsertBeforeExtension(StringPiece16(ASCIIToUTF16(suffix)));
}

FilePath FilePath::StripTrailingSeparators() const {
  FilePath new_path(*this);
  new_path.StripTrailingSeparatorsInPlace();
  return new_path;
}

void FilePath::StripTrailingSeparatorsInPlace() {
  // |start| is the first index that may be stripped: 3 after "C:\", else 1,
  // so that a root separator is never removed.
  const size_t start = FindDriveLetter(path_) + 2;

  size_t last_stripped = kNpos;
  for (size_t pos = path_.size(); pos > start && IsSeparator(path_[pos - 1]);
       --pos) {
    // Exactly two leading separators ("\\", "C:\\") are a root of their own
    // and stay; three or more collapse to one.
    if (pos != start + 1 || last_stripped == start + 2 ||
        !IsSeparator(path_[start - 1])) {
      path_.resize(pos - 1);
      last_stripped = pos;
    }
  }
}

FilePath FilePath::NormalizePathSeparatorsTo(wchar_t separator) const {
  string16 text = path_;
  for (wchar_t& unit : text) {
    if (IsSeparator(unit))
      unit = separator;
  }
  return FilePath(text);
}

FilePath FilePath::NormalizePathSeparators() const {
  return NormalizePathSeparatorsTo(kSeparators[0]);
}

bool FilePath::IsAbsolute() const {
  return IsPathAbsolute(path_);
}

// static
bool FilePath::IsPathAbsolute(StringPiece16 path) {
  const size_t letter = FindDriveLetter(path);
  if (letter != kNpos)
    return path.size() > letter + 1 && IsSeparator(path.data()[letter + 1]);
  return path.size() > 1 && IsSeparator(path.data()[0]) &&
         IsSeparator(path.data()[1]);
}

bool FilePath::ReferencesParent() const {
  std::vector<string16> components;
  GetComponents(&components);
  for (const string16& component : components) {
    if (component.empty())
      continue;
    if (component.find_first_not_of(kParentLikeUnits) == kNpos &&
        component.find(kParentDirectory) != kNpos) {
      return true;
    }
  }
  return false;
}

std::string FilePath::AsUTF8() const {
  return UTF16ToUTF8(path_);
}

std::string FilePath::AsASCIIOrEmpty() const {
  if (!IsStringASCII16(path_))
    return std::string();
  return UTF16ToASCII(path_);
}

// static
size_t FilePath::FindDriveLetter(StringPiece16 path) {
  if (path.size() >= 2 && path.data()[1] == L':' &&
      IsDriveLetterUnit(path.data()[0])) {
    return 1;
  }
  return kNpos;
}

// static
bool FilePath::AreAllSeparators(StringPiece16 input) {
  for (size_t i = 0; i < input.size(); ++i) {
    if (!IsSeparator(input.data()[i]))
      return false;
  }
  return true;
}

// static
bool FilePath::IsEmptyOrSpecialCase(StringPiece16 path) {
  const string16 text = ToString16(path);
  return text.empty() || text == kCurrentDirectory || text == kParentDirectory;
}

// static
size_t FilePath::FinalExtensionSeparatorPosition(StringPiece16 path) {
  const string16 text = ToString16(path);
  if (text == kCurrentDirectory || text == kParentDirectory)
    return kNpos;
  return text.rfind(kExtensionSeparator);
}

// static
size_t FilePath::ExtensionSeparatorPosition(StringPiece16 path) {
  const size_t last_dot = FinalExtensionSeparatorPosition(path);
  // No dot, or a leading dot (".bashrc" is all extension).
  if (last_dot == kNpos || last_dot == 0)
    return last_dot;

  const string16 text = ToString16(path);
  const size_t penultimate_dot = text.rfind(kExtensionSeparator, last_dot - 1);
  const size_t last_separator = FindLastSeparator(text, last_dot - 1);
  if (penultimate_dot == kNpos ||
      (last_separator != kNpos && penultimate_dot < last_separator)) {
    return last_dot;
  }

  const string16 double_extension = text.substr(penultimate_dot + 1);
  for (const wchar_t* candidate : kCommonDoubleExtensions) {
    if (EqualsIgnoringASCIICase(double_extension, candidate))
      return penultimate_dot;
  }

  const string16 final_extension = text.substr(last_dot + 1);
  const size_t middle_span = last_dot - penultimate_dot;
  for (const wchar_t* suffix : kCommonDoubleExtensionSuffixes) {
    // One to four units between the dots: "foo.tar.gz" but not
    // "foo.12345.gz" or "foo..gz".
    if (EqualsIgnoringASCIICase(final_extension, suffix) && middle_span >= 2 &&
        middle_span <= 5) {
      return penultimate_dot;
    }
  }
  return last_dot;
}

// static
bool FilePath::EqualDriveLetterCaseInsensitive(StringPiece16 a,
                                               StringPiece16 b) {
  if (a.size() != b.size())
    return false;
  const bool drives =
      FindDriveLetter(a) != kNpos && FindDriveLetter(b) != kNpos;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t unit_a = a.data()[i];
    wchar_t unit_b = b.data()[i];
    if (drives && i < 2) {
      unit_a = ToLowerASCIIUnit(unit_a);
      unit_b = ToLowerASCIIUnit(unit_b);
    }
    if (unit_a != unit_b)
      return false;
  }
  return true;
}

}  // namespace base
