#include "desktop/launcher/installer/uninstall_batch.h"

#include <windows.h>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"

namespace vexlo {
namespace installer {

namespace {

// Every line ends with a line feed alone.
void AddLine(const std::string& line, std::string* text) {
  text->append(line);
  text->push_back('\n');
}

std::string RunningFlag(size_t index) {
  return "PID" + base::Uint64ToString(index + 1) + "_RUNNING";
}

}  // namespace

UninstallBatch::UninstallBatch() = default;

UninstallBatch::~UninstallBatch() = default;

void UninstallBatch::AddLeftover(const base::FilePath& file,
                                 bool with_folders) {
  files_.push_back(file);
  if (with_folders)
    AddFoldersAbove(file);
}

void UninstallBatch::AddFileInUse(const base::FilePath& file,
                                  bool with_folders) {
  files_in_use_.push_back(file);
  if (with_folders)
    AddFoldersAbove(file);
}

void UninstallBatch::AddFolder(const base::FilePath& folder) {
  folders_.insert(folder.value());
}

void UninstallBatch::AddLast(const base::FilePath& file) {
  last_.push_back(file);
}

void UninstallBatch::AddFoldersAbove(const base::FilePath& file) {
  for (base::FilePath folder = file.DirName(); folder.DirName() != folder;
       folder = folder.DirName()) {
    folders_.insert(folder.value());
  }
}

std::string UninstallBatch::Build(const std::vector<uint32_t>& process_ids,
                                  const base::FilePath& final_folder,
                                  unsigned code_page,
                                  const PathFallback& fallback) const {
  const auto encode = [code_page, &fallback](const base::FilePath& path,
                                             std::string* encoded) {
    if (EncodeBatchPathOrFallback(path, code_page, fallback, encoded))
      return true;
    LOG(WARNING) << "Leaving " << path.AsUTF8()
                 << ": the batch's code page cannot name it";
    return false;
  };
  std::string text;
  for (size_t i = 0; i < process_ids.size(); ++i) {
    if (process_ids[i])
      AddLine("SET " + RunningFlag(i) + "=TRUE", &text);
  }
  AddLine(":again", &text);
  for (size_t i = 0; i < process_ids.size(); ++i) {
    if (!process_ids[i])
      continue;
    const std::string flag = RunningFlag(i);
    AddLine("IF %" + flag + "%==TRUE (", &text);
    AddLine("TASKLIST /FI \"PID eq " + base::UintToString(process_ids[i]) +
                "\" | FIND /c /i \".exe\"",
            &text);
    AddLine("IF ERRORLEVEL 1 SET " + flag + "=FALSE", &text);
    AddLine(")", &text);
  }
  AddLine("ping -n 2 127.0.0.1", &text);
  for (size_t i = 0; i < process_ids.size(); ++i) {
    if (process_ids[i])
      AddLine("IF %" + RunningFlag(i) + "%==TRUE GOTO :again", &text);
  }
  std::string encoded;
  // Nothing holds these files once their deletion succeeds; until then the
  // batch goes round again, a second at a time.
  for (const base::FilePath& file : files_in_use_) {
    if (!encode(file, &encoded))
      continue;
    AddLine("del \"" + encoded + "\"", &text);
    AddLine("IF EXIST \"" + encoded + "\" GOTO :again", &text);
  }
  for (const base::FilePath& file : files_) {
    if (encode(file, &encoded))
      AddLine("del \"" + encoded + "\"", &text);
  }
  for (const base::string16& folder : folders_) {
    // A link is no folder of the installation's: on some systems removing
    // it removes the folder it points to.
    if (base::IsLink(base::FilePath(folder))) {
      LOG(WARNING) << "Leaving the link " << base::FilePath(folder).AsUTF8();
      continue;
    }
    if (encode(base::FilePath(folder), &encoded))
      AddLine("rmdir \"" + encoded + "\"", &text);
  }
  for (const base::FilePath& file : last_) {
    if (encode(file, &encoded))
      AddLine("del \"" + encoded + "\"", &text);
  }
  // The batch's own path, unquoted and quoted again, so that a character
  // such as '&' in it cannot end the command. cmd.exe has read the whole
  // line before it runs it, so the removal still runs once the file that
  // holds the line is gone.
  std::string last = "del \"%~f0\"";
  if (!final_folder.empty() && encode(final_folder, &encoded))
    last += " & rmdir \"" + encoded + "\"";
  AddLine(last, &text);
  return text;
}

bool EncodeBatchPath(const base::FilePath& path,
                     unsigned code_page,
                     std::string* encoded) {
  encoded->clear();
  const base::string16& wide = path.value();
  if (wide.empty())
    return true;
  const int size = ::WideCharToMultiByte(code_page, 0, wide.data(),
                                         static_cast<int>(wide.size()), nullptr,
                                         0, nullptr, nullptr);
  if (size <= 0)
    return false;
  std::string narrow(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(code_page, 0, wide.data(),
                        static_cast<int>(wide.size()), &narrow[0], size,
                        nullptr, nullptr);
  // Only an exact round trip is safe: a best-fit or default character
  // ('?' is a wildcard to del) would name some other file.
  const int back =
      ::MultiByteToWideChar(code_page, 0, narrow.data(), size, nullptr, 0);
  base::string16 round_trip(static_cast<size_t>(back > 0 ? back : 0), L'\0');
  if (back > 0) {
    ::MultiByteToWideChar(code_page, 0, narrow.data(), size, &round_trip[0],
                          back);
  }
  if (round_trip != wide)
    return false;
  for (char c : narrow) {
    if (c == '%')
      encoded->push_back('%');
    encoded->push_back(c);
  }
  return true;
}

bool EncodeBatchPathOrFallback(const base::FilePath& path,
                               unsigned code_page,
                               const UninstallBatch::PathFallback& fallback,
                               std::string* encoded) {
  if (EncodeBatchPath(path, code_page, encoded))
    return true;
  const base::FilePath other = fallback ? fallback(path) : base::FilePath();
  return !other.empty() && EncodeBatchPath(other, code_page, encoded);
}

bool StartBatch(const base::FilePath& batch) {
  base::LaunchOptions options;
  options.start_hidden = true;
  if (!base::LaunchProcess(base::CommandLine(batch), options).IsValid()) {
    PLOG(ERROR) << "Could not start " << batch.AsUTF8();
    return false;
  }
  return true;
}

base::FilePath GetShortPath(const base::FilePath& path) {
  const DWORD size = ::GetShortPathNameW(path.value().c_str(), nullptr, 0);
  if (!size)
    return base::FilePath();
  base::string16 buffer(size, L'\0');
  const DWORD length =
      ::GetShortPathNameW(path.value().c_str(), &buffer[0], size);
  if (!length || length >= size)
    return base::FilePath();
  buffer.resize(length);
  return base::FilePath(buffer);
}

}  // namespace installer
}  // namespace vexlo
