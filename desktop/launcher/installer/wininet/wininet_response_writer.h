#ifndef DESKTOP_LAUNCHER_INSTALLER_WININET_WININET_RESPONSE_WRITER_H_
#define DESKTOP_LAUNCHER_INSTALLER_WININET_WININET_RESPONSE_WRITER_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

// Where the body of an HTTP response goes, block by block, as it arrives.
class ResponseWriter {
 public:
  virtual ~ResponseWriter() = default;

  // Appends |size| bytes; false when they could not all be kept.
  virtual bool Write(const char* data, uint32_t size) = 0;
  // The transfer is over; nothing more will be written.
  virtual void Close() = 0;
  // Forgets everything written so far, for a server that answers a resumed
  // request with the whole body again. False when that cannot be done.
  virtual bool Rewind() = 0;
};

// Writes the body to a file of its own, created afresh.
class FileResponseWriter : public ResponseWriter {
 public:
  FileResponseWriter();
  FileResponseWriter(const FileResponseWriter&) = delete;
  FileResponseWriter& operator=(const FileResponseWriter&) = delete;
  ~FileResponseWriter() override;

  // Creates the file at |path| anew, opened for this writer alone: what
  // stood at that name goes first, so that nothing is written through a
  // file or a link planted there. On failure every later Write fails.
  bool Open(const base::FilePath& path);

  bool Write(const char* data, uint32_t size) override;
  void Close() override;
  bool Rewind() override;

 private:
  base::win::ScopedHandle file_;
};

// Appends the body to a string that the caller owns and keeps alive.
class StringResponseWriter : public ResponseWriter {
 public:
  explicit StringResponseWriter(std::string* target);
  StringResponseWriter(const StringResponseWriter&) = delete;
  StringResponseWriter& operator=(const StringResponseWriter&) = delete;

  bool Write(const char* data, uint32_t size) override;
  void Close() override {}
  bool Rewind() override;

 private:
  std::string* const target_;
};

// Drops the body: for requests whose answer nobody reads.
class DiscardingResponseWriter : public ResponseWriter {
 public:
  bool Write(const char* /*data*/, uint32_t /*size*/) override { return true; }
  void Close() override {}
  bool Rewind() override { return true; }
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_WININET_WININET_RESPONSE_WRITER_H_
