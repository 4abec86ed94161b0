// A child program for the atomic writer's tests.
//   TARGET        replaces TARGET again and again until it is ended from
//                 outside. Each write holds 65536 copies of one letter, the
//                 next write the next letter, so that a whole file is one
//                 letter throughout.
//   read TARGET   opens and reads TARGET in a loop while another process
//                 replaces it with 5120 copies of one letter, until it holds
//                 the stop word. Once it has read a whole file it creates
//                 TARGET.reading. Exits with 0 when every open found a whole
//                 file (see ReplacedFileReader::ExitCodeOf).

#include <string>

#include "base/at_exit.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/test/replaced_file_reader.h"

namespace {

void NoteReading(const base::FilePath& target) {
  base::WriteFile(target.AddExtension(L"reading"), "", 0);
}

int Read(const base::FilePath& target) {
  base::ReplacedFileReader reader(target, 5120);
  return base::ReplacedFileReader::ExitCodeOf(
      reader.ReadUntilStopped(&NoteReading));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  base::AtExitManager exit_manager;
  if (argc == 3 && std::wstring(argv[1]) == L"read")
    return Read(base::FilePath(argv[2]));
  if (argc != 2)
    return 255;
  const base::FilePath target(argv[1]);
  for (int write = 0;; ++write) {
    base::ImportantFileWriter::WriteFileAtomically(
        target, std::string(65536, static_cast<char>('a' + write % 26)));
  }
}
