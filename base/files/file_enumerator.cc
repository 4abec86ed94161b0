#include "base/files/file_enumerator.h"

#include <string.h>
#include <wchar.h>

#include "base/win/windows_version.h"

namespace base {

FileEnumerator::FileInfo::FileInfo() {
  memset(&find_data_, 0, sizeof(find_data_));
}

FileEnumerator::FileInfo::FileInfo(const WIN32_FIND_DATAW& find_data)
    : find_data_(find_data) {}

FileEnumerator::FileInfo::~FileInfo() = default;

bool FileEnumerator::FileInfo::IsDirectory() const {
  return (find_data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FileEnumerator::FileEnumerator(const FilePath& root_path,
                               bool recursive,
                               int file_type)
    : FileEnumerator(root_path, recursive, file_type, string16()) {}

FileEnumerator::FileEnumerator(const FilePath& root_path,
                               bool recursive,
                               int file_type,
                               const string16& pattern)
    : has_find_data_(false),
      find_handle_(INVALID_HANDLE_VALUE),
      recursive_(recursive),
      file_type_(file_type),
      pattern_(pattern) {
  memset(&find_data_, 0, sizeof(find_data_));
  pending_paths_.push(root_path);
}

FileEnumerator::~FileEnumerator() {
  if (find_handle_ != INVALID_HANDLE_VALUE)
    ::FindClose(find_handle_);
}

FileEnumerator::FileInfo FileEnumerator::GetInfo() const {
  if (!has_find_data_)
    return FileInfo();
  return FileInfo(find_data_);
}

FilePath FileEnumerator::Next() {
  while (has_find_data_ || !pending_paths_.empty()) {
    if (!has_find_data_) {
      BeginNextDirectory();
    } else if (!::FindNextFileW(find_handle_, &find_data_)) {
      ::FindClose(find_handle_);
      find_handle_ = INVALID_HANDLE_VALUE;
    }

    if (find_handle_ == INVALID_HANDLE_VALUE) {
      // This directory is done (or could not be searched). The pattern
      // applies to the first directory only.
      has_find_data_ = false;
      pattern_.clear();
      continue;
    }

    if (ShouldSkip(find_data_.cFileName))
      continue;

    const FilePath current = root_path_.Append(find_data_.cFileName);
    if (find_data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (recursive_) {
        // Links to other places are reported, not entered, so that a walk
        // never leaves the tree it was given.
        const DWORD attributes = ::GetFileAttributesW(current.value().c_str());
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
          pending_paths_.push(current);
      }
      if (file_type_ & DIRECTORIES)
        return current;
    } else if (file_type_ & FILES) {
      return current;
    }
  }
  return FilePath();
}

void FileEnumerator::BeginNextDirectory() {
  root_path_ = pending_paths_.top();
  pending_paths_.pop();
  const FilePath search_spec =
      root_path_.Append(pattern_.empty() ? string16(L"*") : pattern_);
  if (win::GetVersion() >= win::VERSION_WIN7) {
    find_handle_ = ::FindFirstFileExW(
        search_spec.value().c_str(), FindExInfoBasic, &find_data_,
        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  } else {
    find_handle_ = ::FindFirstFileW(search_spec.value().c_str(), &find_data_);
  }
  has_find_data_ = true;
}

bool FileEnumerator::ShouldSkip(const wchar_t* name) const {
  if (wcscmp(name, L".") == 0)
    return true;
  return wcscmp(name, L"..") == 0 && !(file_type_ & INCLUDE_DOT_DOT);
}

}  // namespace base
