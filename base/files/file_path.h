#ifndef BASE_FILES_FILE_PATH_H_
#define BASE_FILES_FILE_PATH_H_

#include <stddef.h>

#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

// A file-system path held as one wide string. Both backslash and slash are
// separators; backslash is the one inserted. Nothing here touches the file
// system: every operation is text arithmetic with fixed rules for drive
// letters, double leading separators, trailing separators and double
// extensions. The text never holds a NUL unit.
class FilePath {
 public:
  // The separator set, backslash first; kSeparatorsLength excludes the NUL.
  static const wchar_t kSeparators[];
  static const size_t kSeparatorsLength;
  static const wchar_t kCurrentDirectory[];
  static const wchar_t kParentDirectory[];
  static const wchar_t kExtensionSeparator;

  FilePath();
  // Copies |path| up to its first NUL.
  explicit FilePath(StringPiece16 path);
  FilePath(const FilePath& that);
  FilePath& operator=(const FilePath& that);
  ~FilePath();

  static FilePath FromString(StringPiece16 path);

  // Equality ignores the case of a drive letter only.
  bool operator==(const FilePath& that) const;
  bool operator!=(const FilePath& that) const;

  // Whole-text comparison with every unit upper-cased by the system:
  // -1, 0 or 1.
  static int CompareIgnoreCase(StringPiece16 a, StringPiece16 b);

  static bool IsSeparator(wchar_t character);

  const string16& value() const { return path_; }
  bool empty() const { return path_.empty(); }

  // The folder holding this path: "." when there is none.
  FilePath DirName() const;
  // The last component; a root is its own base name.
  FilePath BaseName() const;
  // The extension of the base name, dot included; double extensions such as
  // ".tar.gz" and ".user.js" are kept whole.
  string16 Extension() const;
  // Drive, root and then every component from the top down.
  void GetComponents(std::vector<string16>* components) const;

  FilePath Append(StringPiece16 component) const;
  FilePath Append(const FilePath& component) const;
  // |component| must be ASCII; it is widened unit by unit.
  FilePath AppendASCII(StringPiece component) const;

  // When this path is a strict ancestor of |child|, appends the components
  // of |child| below it to |path| (if not null) and returns true.
  bool AppendRelativePath(const FilePath& child, FilePath* path) const;

  FilePath AddExtension(StringPiece16 extension) const;
  FilePath ReplaceExtension(StringPiece16 extension) const;
  FilePath RemoveExtension() const;
  FilePath InsertBeforeExtension(StringPiece16 suffix) const;
  FilePath InsertBeforeExtensionASCII(StringPiece suffix) const;

  FilePath StripTrailingSeparators() const;
  void StripTrailingSeparatorsInPlace();

  FilePath NormalizePathSeparatorsTo(wchar_t separator) const;
  FilePath NormalizePathSeparators() const;

  bool IsAbsolute() const;
  static bool IsPathAbsolute(StringPiece16 path);

  // True when some component is made only of dots and blanks (". \n\r\t")
  // and holds "..", which the system would treat as the parent folder.
  bool ReferencesParent() const;

  std::string AsUTF8() const;
  // The path narrowed unit by unit when it is all ASCII, else empty.
  std::string AsASCIIOrEmpty() const;

 private:
  // Index of the ':' of a leading drive prefix ("C:"), else npos.
  static size_t FindDriveLetter(StringPiece16 path);
  static bool AreAllSeparators(StringPiece16 input);
  static bool IsEmptyOrSpecialCase(StringPiece16 path);
  static size_t FinalExtensionSeparatorPosition(StringPiece16 path);
  static size_t ExtensionSeparatorPosition(StringPiece16 path);
  static bool EqualDriveLetterCaseInsensitive(StringPiece16 a, StringPiece16 b);

  string16 path_;
};

}  // namespace base

#endif  // BASE_FILES_FILE_PATH_H_
