#include "base/files/file.h"

namespace base {

File::Info::Info() : size(0), is_directory(false), is_symbolic_link(false) {}

File::Info::~Info() = default;

File::File()
    : error_details_(FILE_ERROR_FAILED), created_(false), async_(false) {}

File::File(const FilePath& path, uint32_t flags)
    : error_details_(FILE_OK), created_(false), async_(false) {
  Initialize(path, flags);
}

File::~File() {
  Close();
}

void File::Initialize(const FilePath& path, uint32_t flags) {
  // The outcome must describe this open alone, not a file held before.
  Close();
  if (path.ReferencesParent()) {
    error_details_ = FILE_ERROR_ACCESS_DENIED;
    return;
  }
  if (FileTracing::IsCategoryEnabled())
    tracing_path_ = path;
  FileTracing::ScopedTrace trace("File::Initialize", &trace_enabler_,
                                 tracing_path_, 0);
  DoInitialize(path, flags);
}

}  // namespace base
