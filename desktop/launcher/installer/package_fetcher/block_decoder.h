#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_BLOCK_DECODER_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_BLOCK_DECODER_H_

#include <stddef.h>

#include "desktop/launcher/installer/package_fetcher/lzma_sdk.h"

namespace vexlo {
namespace installer {

// Decodes one block of a 7z archive into a buffer a step at a time, so that
// the items at the block's front can be written while the rest is decoded.
// Drives the decoder as a decode of the whole block in one go does, reading
// the same packed bytes in the same pieces, so that it ends in the same
// result. Takes only blocks of one LZMA or LZMA2 coder over one packed
// stream, and none with a checksum of the whole block, which only its last
// byte could settle.
class BlockDecoder {
 public:
  // Whether block |folder| of |archive| is of the kind decoded here.
  static bool CanDecode(const CSzArEx* archive, UInt32 folder);

  // Decodes block |folder| of |archive|, read through |in|, into |out|,
  // which holds its |size| unpacked bytes. Nothing is read before the first
  // DecodeTo.
  BlockDecoder(const CSzArEx* archive,
               UInt32 folder,
               ILookInStreamPtr in,
               Byte* out,
               size_t size);
  BlockDecoder(const BlockDecoder&) = delete;
  BlockDecoder& operator=(const BlockDecoder&) = delete;
  ~BlockDecoder();

  // Decodes until at least the block's first |end| bytes are in the buffer.
  // At |end| equal to the block's size, decodes to the end of the packed
  // stream and checks that both end together. SZ_OK, or the decoder's
  // failure, which every later call returns again.
  SRes DecodeTo(size_t end);

  // The bytes at the block's front that are decoded.
  size_t decoded() const { return state_.decoder.dicPos; }

 private:
  SRes Begin();
  // Feeds the decoder what the packed stream has buffered, letting it write
  // at most one step further.
  SRes Step();

  const CSzArEx* const archive_;
  const UInt32 folder_;
  const ILookInStreamPtr in_;
  Byte* const out_;
  const size_t size_;
  // Whether the block's coder is LZMA2 rather than LZMA; an LZMA decode is
  // done by the LZMA2 decoder's inner one.
  bool lzma2_ = false;
  CLzma2Dec state_;
  UInt64 packed_left_ = 0;
  bool begun_ = false;
  bool finished_ = false;
  SRes result_ = SZ_OK;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_BLOCK_DECODER_H_
