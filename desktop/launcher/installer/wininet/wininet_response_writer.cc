#include "desktop/launcher/installer/wininet/wininet_response_writer.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/logging.h"

namespace vexlo {
namespace installer {

FileResponseWriter::FileResponseWriter() = default;

FileResponseWriter::~FileResponseWriter() = default;

bool FileResponseWriter::Open(const base::FilePath& path) {
  // The download's names can be foreseen: another process may have put a
  // hard link to one of its own files there. Removing the name leaves that
  // file alone, and a name taken again in between fails the open.
  base::DeleteFile(path, false);
  file_.Set(CreateFileW(path.value().c_str(), GENERIC_WRITE, 0, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_.IsValid()) {
    PLOG(ERROR) << "Could not open download file for writing";
    return false;
  }
  return true;
}

bool FileResponseWriter::Write(const char* data, uint32_t size) {
  DWORD written = 0;
  return file_.IsValid() &&
         WriteFile(file_.Get(), data, size, &written, nullptr) &&
         written == size;
}

void FileResponseWriter::Close() {
  file_.Close();
}

bool FileResponseWriter::Rewind() {
  LARGE_INTEGER start = {};
  return file_.IsValid() &&
         SetFilePointerEx(file_.Get(), start, nullptr, FILE_BEGIN) &&
         SetEndOfFile(file_.Get());
}

StringResponseWriter::StringResponseWriter(std::string* target)
    : target_(target) {}

bool StringResponseWriter::Write(const char* data, uint32_t size) {
  target_->append(data, size);
  return true;
}

bool StringResponseWriter::Rewind() {
  target_->clear();
  return true;
}

}  // namespace installer
}  // namespace vexlo
