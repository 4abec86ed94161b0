// A child program for the atomic writer's tests: it replaces the file named
// by its argument again and again until it is ended from outside. Each write
// holds 65536 copies of one letter, the next write the next letter, so that
// a whole file is one letter throughout.

#include <string>

#include "base/at_exit.h"
#include "base/files/file_path.h"
#include "base/files/important_file_writer.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2)
    return 255;
  base::AtExitManager exit_manager;
  const base::FilePath target(argv[1]);
  for (int write = 0;; ++write) {
    base::ImportantFileWriter::WriteFileAtomically(
        target, std::string(65536, static_cast<char>('a' + write % 26)));
  }
}
