#ifndef BASE_FILES_FILE_TRACING_H_
#define BASE_FILES_FILE_TRACING_H_

#include <stdint.h>

namespace base {

class FilePath;

// The hook through which file operations report their begin and end to a
// tracing provider. Nothing in the programs installs a provider, so every
// registration and scope below costs one pointer test.
class FileTracing {
 public:
  // The process-wide receiver of file events. |id| identifies one open file
  // for its whole life.
  class Provider {
   public:
    virtual ~Provider() = default;
    virtual bool FileTracingCategoryIsEnabled() const = 0;
    virtual void FileTracingEnable(const void* id) = 0;
    virtual void FileTracingDisable(const void* id) = 0;
    virtual void FileTracingEventBegin(const char* name,
                                       const void* id,
                                       const FilePath& path,
                                       int64_t size) = 0;
    virtual void FileTracingEventEnd(const char* name, const void* id) = 0;
  };

  // Registers one file with the provider for the life of the object; its
  // address is the file's identity in the events.
  class ScopedEnabler {
   public:
    ScopedEnabler();
    ScopedEnabler(const ScopedEnabler&) = delete;
    ScopedEnabler& operator=(const ScopedEnabler&) = delete;
    ~ScopedEnabler();

   private:
    // The provider this file was registered with, if any.
    Provider* provider_;
  };

  // Reports one operation: begin when built, end when destroyed.
  class ScopedTrace {
   public:
    ScopedTrace(const char* name,
                const ScopedEnabler* id,
                const FilePath& path,
                int64_t size);
    ScopedTrace(const ScopedTrace&) = delete;
    ScopedTrace& operator=(const ScopedTrace&) = delete;
    ~ScopedTrace();

   private:
    // Null when tracing was off at the beginning.
    Provider* provider_;
    const char* name_;
    const void* id_;
  };

  FileTracing() = delete;

  static bool IsCategoryEnabled();
  // Installs |provider| (null removes it); the caller keeps ownership and
  // removes it before destroying it.
  static void SetProvider(Provider* provider);
};

}  // namespace base

#endif  // BASE_FILES_FILE_TRACING_H_
