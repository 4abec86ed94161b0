#include "base/files/file_util.h"

#include <algorithm>
#include <limits>

namespace base {

namespace {

constexpr size_t kReadChunkSize = 1 << 16;

}  // namespace

bool GetFileSize(const FilePath& path, int64_t* file_size) {
  File::Info info;
  if (!GetFileInfo(path, &info))
    return false;
  *file_size = info.size;
  return true;
}

bool ReadFileToStringWithMaxSize(const FilePath& path,
                                 std::string* contents,
                                 size_t max_size) {
  if (contents)
    contents->clear();
  if (path.ReferencesParent())
    return false;
  FILE* file = OpenFile(path, "rb");
  if (!file)
    return false;

  std::string chunk(kReadChunkSize, '\0');
  size_t size = 0;
  size_t length_read;
  while ((length_read = fread(&chunk[0], 1, kReadChunkSize, file)) > 0) {
    const size_t room = max_size - size;
    if (contents)
      contents->append(chunk.data(), std::min(length_read, room));
    if (room < length_read) {
      fclose(file);
      return false;
    }
    size += length_read;
  }
  const bool read_status = !ferror(file);
  fclose(file);
  return read_status;
}

bool ReadFileToString(const FilePath& path, std::string* contents) {
  return ReadFileToStringWithMaxSize(path, contents,
                                     std::numeric_limits<size_t>::max());
}

bool CreateDirectory(const FilePath& path) {
  return CreateDirectoryAndGetError(path, nullptr);
}

bool CopyAndDeleteDirectory(const FilePath& from_path,
                            const FilePath& to_path) {
  return CopyDirectory(from_path, to_path, true) && DeleteFile(from_path, true);
}

bool MoveChecked(const FilePath& from_path, const FilePath& to_path) {
  if (from_path.ReferencesParent() || to_path.ReferencesParent())
    return false;
  return Move(from_path, to_path);
}

bool CreateTemporaryFile(FilePath* temp_file) {
  FilePath temp_dir;
  FilePath new_file;
  if (!GetTempDir(&temp_dir) || !CreateTemporaryFileInDir(temp_dir, &new_file))
    return false;
  *temp_file = new_file;
  return true;
}

}  // namespace base
