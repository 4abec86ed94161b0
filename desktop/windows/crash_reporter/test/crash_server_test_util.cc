#include "desktop/windows/crash_reporter/test/crash_server_test_util.h"

#include <minizip/unzip.h>

// After unzip.h, whose headers it needs.
#include <minizip/iowin32.h>

#include "base/files/file_util.h"
#include "base/strings/stringprintf.h"

namespace vexlo {
namespace crash_reporter {

std::string CrashServerReplyPath(int code, const std::string& location) {
  std::string path = "/reply/" + std::to_string(code);
  if (location.empty())
    return path;
  path += "/";
  for (const unsigned char c : location)
    path += base::StringPrintf("%%%02X", c);
  return path;
}

bool UnzipOnlyEntry(const std::string& zip,
                    const base::FilePath& scratch,
                    std::string* name,
                    std::string* contents) {
  if (base::WriteFile(scratch, zip.data(), static_cast<int>(zip.size())) !=
      static_cast<int>(zip.size())) {
    return false;
  }
  zlib_filefunc64_def functions;
  fill_win32_filefunc64W(&functions);
  const unzFile file = unzOpen2_64(scratch.value().c_str(), &functions);
  if (!file)
    return false;
  unz_global_info64 info = {};
  char entry_name[256] = {};
  unz_file_info64 entry = {};
  bool read =
      unzGetGlobalInfo64(file, &info) == UNZ_OK && info.number_entry == 1 &&
      unzGoToFirstFile(file) == UNZ_OK &&
      unzGetCurrentFileInfo64(file, &entry, entry_name, sizeof(entry_name),
                              nullptr, 0, nullptr, 0) == UNZ_OK &&
      unzOpenCurrentFile(file) == UNZ_OK;
  if (read) {
    contents->assign(static_cast<size_t>(entry.uncompressed_size), '\0');
    read = contents->empty() ||
           unzReadCurrentFile(file, &(*contents)[0],
                              static_cast<unsigned>(contents->size())) ==
               static_cast<int>(contents->size());
    unzCloseCurrentFile(file);
    *name = entry_name;
  }
  unzClose(file);
  return read;
}

std::map<std::string, std::string> FormFields(
    const installer::HttpTestServer::Request& request) {
  std::map<std::string, std::string> fields;
  for (const installer::HttpTestServer::FormPart& part : request.form) {
    if (!part.has_filename)
      fields[part.name] = part.data;
  }
  return fields;
}

std::vector<std::string> FormPartNames(
    const installer::HttpTestServer::Request& request) {
  std::vector<std::string> names;
  for (const installer::HttpTestServer::FormPart& part : request.form)
    names.push_back(part.name);
  return names;
}

}  // namespace crash_reporter
}  // namespace vexlo
