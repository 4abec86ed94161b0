#include "base/test/replaced_file_reader.h"

#include <algorithm>

#include "base/files/file.h"

namespace base {

constexpr const char ReplacedFileReader::kStopWord[];

ReplacedFileReader::ReplacedFileReader(const FilePath& path, size_t whole_size)
    : path_(path), whole_size_(whole_size), buffer_(whole_size + 1, '\0') {}

ReplacedFileReader::Tally ReplacedFileReader::ReadUntilStopped(
    void (*on_first_whole)(const FilePath&)) {
  Tally tally;
  for (Found found = ReadOnce(); found != Found::kStopWord;
       found = ReadOnce()) {
    switch (found) {
      case Found::kWhole:
        if (++tally.whole == 1 && on_first_whole)
          on_first_whole(path_);
        break;
      case Found::kMissing:
        ++tally.missing;
        break;
      case Found::kTorn:
        ++tally.torn;
        break;
      case Found::kFailed:
        ++tally.failed;
        break;
      case Found::kStopWord:  // Ends the loop.
        break;
    }
  }
  return tally;
}

// static
int ReplacedFileReader::ExitCodeOf(const Tally& tally) {
  return (tally.missing ? 1 : 0) | (tally.torn ? 2 : 0) |
         (tally.failed ? 4 : 0) | (tally.whole ? 0 : 8);
}

ReplacedFileReader::Found ReplacedFileReader::ReadOnce() {
  // A reader that shares everything, so that only the writer's own rules
  // decide what it may do meanwhile.
  File file(path_, File::FLAG_OPEN | File::FLAG_READ | File::FLAG_SHARE_DELETE);
  if (!file.IsValid()) {
    return file.error_details() == File::FILE_ERROR_NOT_FOUND ? Found::kMissing
                                                              : Found::kFailed;
  }
  // One byte more than a whole file, so that a longer one shows.
  int size = 0;
  for (int read = 0; size < static_cast<int>(buffer_.size()); size += read) {
    read = file.Read(size, &buffer_[size],
                     static_cast<int>(buffer_.size()) - size);
    if (read < 0)
      return Found::kFailed;
    if (read == 0)
      break;
  }
  const StringPiece contents(buffer_.data(), size);
  if (contents == kStopWord)
    return Found::kStopWord;
  const bool one_letter =
      std::all_of(contents.begin(), contents.end(),
                  [&](char unit) { return unit == contents[0]; });
  return one_letter && contents.size() == whole_size_ ? Found::kWhole
                                                      : Found::kTorn;
}

}  // namespace base
