#include "base/files/important_file_writer.h"

#include <stdint.h>

#include <limits>
#include <string>

#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/strings/string_number_conversions.h"

namespace base {

namespace {

// Kinds of failure of the temporary-file sequence, as recorded.
enum TempFileFailure {
  FAILED_CREATING = 0,
  FAILED_OPENING = 1,
  FAILED_CLOSING = 2,  // Never recorded: closing reports nothing.
  FAILED_WRITING = 3,
  FAILED_RENAMING = 4,
  FAILED_FLUSHING = 5,
  TEMP_FILE_FAILURE_MAX
};

void LogFailure(const FilePath& path,
                TempFileFailure failure_code,
                const std::string& message) {
  static HistogramBase* histogram = LinearHistogram::FactoryGet(
      "ImportantFile.TempFileFailures", 1, TEMP_FILE_FAILURE_MAX,
      TEMP_FILE_FAILURE_MAX + 1, HistogramBase::kUmaTargetedHistogramFlag);
  histogram->Add(failure_code);
  LOG(WARNING) << "Failed to write " << path.AsUTF8() << ": " << message;
}

}  // namespace

// static
bool ImportantFileWriter::WriteFileAtomically(const FilePath& path,
                                              StringPiece data) {
  // File::Write takes an int size; larger data would be cut short.
  if (data.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    LOG(WARNING) << "Failed to write " << path.AsUTF8() << ": data too large ("
                 << data.size() << " bytes)";
    return false;
  }

  FilePath temp_file_path;
  if (!CreateTemporaryFileInDir(path.DirName(), &temp_file_path)) {
    LogFailure(path, FAILED_CREATING, "could not create temporary file");
    return false;
  }

  File temp_file(temp_file_path, File::FLAG_OPEN | File::FLAG_WRITE);
  if (!temp_file.IsValid()) {
    LogFailure(path, FAILED_OPENING, "could not open temporary file");
    DeleteFile(temp_file_path, false);
    return false;
  }

  // Every step runs before any is judged, so the file is closed in any case.
  const int data_length = static_cast<int>(data.size());
  const int bytes_written = temp_file.Write(0, data.data(), data_length);
  const bool flush_success = temp_file.Flush();
  temp_file.Close();

  if (bytes_written < data_length) {
    LogFailure(path, FAILED_WRITING,
               "error writing, bytes_written=" + IntToString(bytes_written));
    DeleteFile(temp_file_path, false);
    return false;
  }
  if (!flush_success) {
    LogFailure(path, FAILED_FLUSHING, "error flushing");
    DeleteFile(temp_file_path, false);
    return false;
  }
  if (!ReplaceFile(temp_file_path, path, nullptr)) {
    LogFailure(path, FAILED_RENAMING, "could not rename temporary file");
    DeleteFile(temp_file_path, false);
    return false;
  }
  return true;
}

}  // namespace base
