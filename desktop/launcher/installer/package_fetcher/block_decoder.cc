#include "desktop/launcher/installer/package_fetcher/block_decoder.h"

#include <algorithm>

namespace vexlo {
namespace installer {

namespace {

constexpr UInt64 kLzmaMethod = 0x30101;
constexpr UInt64 kLzma2Method = 0x21;

// What a whole-block decode asks of the packed stream at a time; asking the
// same keeps every read, and so every read failure, where it would be.
constexpr size_t kLookahead = 1 << 18;

// How far one step may decode: small enough that the files at the block's
// front are handed on soon, large enough that a step costs little besides
// the decoding.
constexpr size_t kStep = 1 << 18;

// The coders of block |folder|, when their description is sound as a whole
// block decode checks it.
bool ReadCoders(const CSzArEx* archive, UInt32 folder, CSzFolder* coders) {
  const CSzAr& db = archive->db;
  CSzData description;
  description.Data = db.CodersData + db.FoCodersOffsets[folder];
  description.Size =
      db.FoCodersOffsets[folder + 1] - db.FoCodersOffsets[folder];
  return SzGetNextFolderItem(coders, &description) == SZ_OK &&
         description.Size == 0 &&
         coders->UnpackStream == db.FoToMainUnpackSizeIndex[folder];
}

}  // namespace

// static
bool BlockDecoder::CanDecode(const CSzArEx* archive, UInt32 folder) {
  CSzFolder coders;
  if (!ReadCoders(archive, folder, &coders) || coders.NumCoders != 1 ||
      coders.NumPackStreams != 1 || coders.PackStreams[0] != 0 ||
      coders.NumBonds != 0 || coders.Coders[0].NumStreams != 1) {
    return false;
  }
  const CSzCoderInfo& coder = coders.Coders[0];
  const bool lzma = coder.MethodID == kLzmaMethod;
  const bool lzma2 = coder.MethodID == kLzma2Method && coder.PropsSize == 1;
  // An empty block is decoded again for each of its items by the whole
  // block's path; it costs nothing there.
  return (lzma || lzma2) &&
         !SzBitWithVals_Check(&archive->db.FolderCRCs, folder) &&
         SzAr_GetFolderUnpackSize(&archive->db, folder) != 0;
}

BlockDecoder::BlockDecoder(const CSzArEx* archive,
                           UInt32 folder,
                           ILookInStreamPtr in,
                           Byte* out,
                           size_t size)
    : archive_(archive), folder_(folder), in_(in), out_(out), size_(size) {
  Lzma2Dec_CONSTRUCT(&state_);
  state_.decoder.dicPos = 0;
}

BlockDecoder::~BlockDecoder() {
  LzmaDec_FreeProbs(&state_.decoder, &kHeapAllocator);
}

SRes BlockDecoder::DecodeTo(size_t end) {
  if (!begun_) {
    begun_ = true;
    result_ = Begin();
  }
  while (result_ == SZ_OK && !finished_ && (decoded() < end || end >= size_))
    result_ = Step();
  return result_;
}

SRes BlockDecoder::Begin() {
  CSzFolder coders;
  if (!ReadCoders(archive_, folder_, &coders))
    return SZ_ERROR_FAIL;
  const CSzAr& db = archive_->db;
  const UInt64* pack = db.PackPositions + db.FoStartPackStreamIndex[folder_];
  packed_left_ = pack[1] - pack[0];
  RINOK(LookInStream_SeekTo(in_, archive_->dataPos + pack[0]));
  const CSzCoderInfo& coder = coders.Coders[0];
  const Byte* properties =
      db.CodersData + db.FoCodersOffsets[folder_] + coder.PropsOffset;
  lzma2_ = coder.MethodID == kLzma2Method;
  if (lzma2_) {
    RINOK(Lzma2Dec_AllocateProbs(&state_, properties[0], &kHeapAllocator));
  } else {
    RINOK(LzmaDec_AllocateProbs(&state_.decoder, properties, coder.PropsSize,
                                &kHeapAllocator));
  }
  state_.decoder.dic = out_;
  state_.decoder.dicBufSize = size_;
  if (lzma2_)
    Lzma2Dec_Init(&state_);
  else
    LzmaDec_Init(&state_.decoder);
  return SZ_OK;
}

SRes BlockDecoder::Step() {
  const void* input = nullptr;
  size_t available =
      static_cast<size_t>(std::min<UInt64>(kLookahead, packed_left_));
  RINOK(ILookInStream_Look(in_, &input, &available));
  const size_t before = decoded();
  // Short of the block's end the decoder may stop anywhere; at the end it
  // checks what a whole-block decode checks there.
  const size_t limit = std::min(size_, before + kStep);
  const ELzmaFinishMode mode =
      limit == size_ ? LZMA_FINISH_END : LZMA_FINISH_ANY;
  SizeT used = available;
  ELzmaStatus status;
  const SRes decoded_result =
      lzma2_ ? Lzma2Dec_DecodeToDic(&state_, limit,
                                    static_cast<const Byte*>(input), &used,
                                    mode, &status)
             : LzmaDec_DecodeToDic(&state_.decoder, limit,
                                   static_cast<const Byte*>(input), &used, mode,
                                   &status);
  packed_left_ -= used;
  RINOK(decoded_result);
  if (status == LZMA_STATUS_FINISHED_WITH_MARK) {
    finished_ = true;
    return decoded() == size_ && packed_left_ == 0 ? SZ_OK : SZ_ERROR_DATA;
  }
  // Only LZMA may end without a mark, when both the block and its packed
  // stream are done.
  if (!lzma2_ && decoded() == size_ && packed_left_ == 0 &&
      status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK) {
    finished_ = true;
    return SZ_OK;
  }
  if (used == 0 && decoded() == before)
    return SZ_ERROR_DATA;
  return ILookInStream_Skip(in_, used);
}

}  // namespace installer
}  // namespace vexlo
