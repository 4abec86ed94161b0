#include "desktop/launcher/installer/package_fetcher/lzma_util.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <windows.h>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_piece.h"
#include "base/strings/string_util.h"
#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"
#include "base/threading/platform_thread.h"
#include "desktop/launcher/installer/package_fetcher/below_folder.h"
#include "desktop/launcher/installer/package_fetcher/block_decoder.h"
#include "desktop/launcher/installer/package_fetcher/lzma_sdk.h"
#include "desktop/launcher/installer/package_fetcher/mapped_file_allocator.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher_delegate.h"

namespace vexlo {
namespace installer {

namespace {

// Large reads of the packed data; the decoder asks for no more than this.
constexpr size_t kLookBufferSize = 1 << 20;

// The decoder's seekable input over the archive's handle.
struct HandleInStream {
  ISeekInStream vt;
  HANDLE handle;
};

SRes ReadHandle(ISeekInStreamPtr stream, void* buffer, size_t* size) {
  const HANDLE handle = reinterpret_cast<const HandleInStream*>(stream)->handle;
  const size_t wanted = *size;
  size_t done = 0;
  while (done < wanted) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(wanted - done, 1u << 30));
    DWORD read = 0;
    const BOOL ok = ::ReadFile(handle, static_cast<char*>(buffer) + done, chunk,
                               &read, nullptr);
    done += read;
    if (read == 0) {
      // A failed read leaves a short count, which the decoder takes for a
      // truncated archive; a clean end of file is an error of its own.
      *size = done;
      return ok ? SZ_ERROR_READ : SZ_OK;
    }
  }
  *size = done;
  return SZ_OK;
}

SRes SeekHandle(ISeekInStreamPtr stream, Int64* position, ESzSeek origin) {
  static const DWORD kMethods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  if (origin < SZ_SEEK_SET || origin > SZ_SEEK_END)
    return SZ_ERROR_PARAM;
  const HANDLE handle = reinterpret_cast<const HandleInStream*>(stream)->handle;
  LONG high = static_cast<LONG>(*position >> 32);
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(handle, static_cast<LONG>(*position), &high,
                                   kMethods[origin]);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    return SZ_ERROR_FAIL;
  *position = (static_cast<Int64>(high) << 32) | low;
  return SZ_OK;
}

// The archive's table of contents, freed with the object.
class ArchiveDatabase {
 public:
  ArchiveDatabase() { SzArEx_Init(&db_); }
  ~ArchiveDatabase() { SzArEx_Free(&db_, &kHeapAllocator); }
  CSzArEx* get() { return &db_; }

 private:
  CSzArEx db_;
};

// The longest path Windows takes, in UTF-16 units.
constexpr size_t kMaxPathLength = 32767;

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// Whether Windows takes |component| for a device in whatever folder it
// stands: the device's name in any case, perhaps followed by spaces, then
// perhaps an extension or dots.
bool IsDeviceName(base::StringPiece16 component) {
  size_t end = std::min(component.find(L'.'), component.size());
  while (end > 0 && component[end - 1] == L' ')
    --end;
  const base::StringPiece16 stem = component.substr(0, end);
  for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
    if (base::LowerCaseEqualsASCII(stem, device))
      return true;
  }
  // COM1-9 and LPT1-9, and the superscript ones Windows counts among them.
  const bool numbered = stem.size() == 4 &&
                        (base::LowerCaseEqualsASCII(stem.substr(0, 3), "com") ||
                         base::LowerCaseEqualsASCII(stem.substr(0, 3), "lpt"));
  const wchar_t number = numbered ? stem[3] : L'0';
  return (number >= L'1' && number <= L'9') || number == L'\u00B9' ||
         number == L'\u00B2' || number == L'\u00B3';
}

// Creates |name|, one component, new below the folder that |parent| opens:
// 0 and |result|, or the Windows error. A name that is taken fails, so
// nothing that was there is ever written through.
DWORD MakeBelow(HANDLE parent,
                const base::string16& name,
                bool folder,
                base::win::ScopedHandle* result) {
  // Deleting what was made takes it back through the same handle.
  const ACCESS_MASK access = FILE_READ_ATTRIBUTES | DELETE |
                             (folder ? FILE_LIST_DIRECTORY | FILE_ADD_FILE |
                                           FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE
                                     : GENERIC_WRITE);
  // A folder is held while items go into it: not sharing its deletion keeps
  // it from being renamed and replaced meanwhile.
  const DWORD error =
      OpenBelow(parent, name, access,
                folder ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0, FILE_CREATE,
                folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE, result);
  // As CreateFileW reports a file that is there already.
  return error == ERROR_ALREADY_EXISTS && !folder ? ERROR_FILE_EXISTS : error;
}

// Removes |name| below the folder that |parent| opens, a file this
// extraction made.
void RemoveBelow(HANDLE parent, const base::string16& name) {
  base::win::ScopedHandle file;
  OpenBelow(parent, name, DELETE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
            FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE, &file);
}

// An item that could not be unpacked: the result Extract gives for it and
// the line it logs, which only the first failure in item order gets.
struct ItemFailure {
  UInt32 index = 0;
  int32_t result = 0;
  std::string message;
  // Whether what was made for the failing item itself stays: not when its
  // block fails to decode, which one item at a time finds before anything
  // is made for the block's first item.
  bool item_began = true;
};

std::string ErrorLine(const char* prefix, DWORD error) {
  return prefix + std::to_string(error);
}

// One file item to write, and what became of it.
struct FileItem {
  UInt32 index;
  // Shared with the extractor, which moves on to other folders meanwhile.
  std::shared_ptr<base::win::ScopedHandle> folder;
  base::string16 name;
  const Byte* data;
  size_t size;
  bool has_time;
  FILETIME time;
  bool created = false;
  DWORD error = 0;
  std::string message;
};

// Writes |item| as a new file in its folder; on failure sets its error and
// the line to log for it. A file whose writing failed is taken back: its
// bytes are not the item's.
void WriteItem(FileItem* item) {
  base::win::ScopedHandle file;
  const DWORD created =
      MakeBelow(item->folder->Get(), item->name, false, &file);
  if (created != 0) {
    item->error = created;
    item->message = ErrorLine("Error returned by CreateFile: ", created);
    return;
  }
  const char* failed_step = nullptr;
  if (!base::WriteToHandle(file.Get(), item->data, item->size)) {
    failed_step = "Error returned by WriteFile: ";
    item->error = GetLastError();
    if (item->error == NO_ERROR)
      item->error = ERROR_WRITE_FAULT;
  } else if (item->has_time &&
             !SetFileTime(file.Get(), nullptr, nullptr, &item->time)) {
    failed_step = "Error returned by SetFileTime: ";
    item->error = GetLastError();
  }
  if (failed_step) {
    item->message = ErrorLine(failed_step, item->error);
    // Through the handle that made it: its name may stand for another file
    // by now.
    DeleteWhenClosed(file.Get());
    return;
  }
  item->created = true;
  if (!CloseHandle(file.Take())) {
    item->error = GetLastError();
    item->message = ErrorLine("Error returned by CloseHandle: ", item->error);
  }
}

// Writes the file items of a decoded block from a few threads, so that the
// system's round trips of one file overlap those of the others, while the
// extractor goes on in item order. What a caller sees stays as if the items
// were written one after the other: Finish reports the first failure in
// item order, and the files of later items that were written meanwhile are
// removed again. The files written can be kept in mind until Forget, so
// that a failure found later, the decoding of their block, can take them
// back.
class ParallelItemWriter : public base::PlatformThread::Delegate {
 public:
  ParallelItemWriter() : work_(&lock_), done_(&lock_) {}
  ParallelItemWriter(const ParallelItemWriter&) = delete;
  ParallelItemWriter& operator=(const ParallelItemWriter&) = delete;
  ~ParallelItemWriter() override {
    Finish(nullptr, false);
    {
      base::AutoLock hold(lock_);
      stopping_ = true;
      work_.Broadcast();
    }
    for (size_t i = 0; i < thread_count_; ++i)
      base::PlatformThread::Join(&threads_[i]);
  }

  // Hands |item| to the writing threads; waits while many are in flight, so
  // that a failure leaves little to take back.
  void Add(FileItem item) {
    if (!started_)
      StartThreads();
    base::AutoLock hold(lock_);
    while (in_flight_ >= kMaxInFlight)
      done_.Wait();
    items_.push_back(std::move(item));
    ++in_flight_;
    if (thread_count_ == 0)
      WriteNextItem();
    else
      work_.Signal();
  }

  // Removes the files that items numbered |first| or later made and that
  // Finish kept in mind.
  void TakeBackFrom(UInt32 first) {
    base::AutoLock hold(lock_);
    for (const FileItem& item : written_) {
      if (item.index >= first)
        RemoveBelow(item.folder->Get(), item.name);
    }
  }

  // Lets go of the files written so far, and of the folders they are in.
  void Forget() {
    base::AutoLock hold(lock_);
    written_.clear();
  }

  // Whether an item handed over has failed already.
  bool HasFailed() {
    base::AutoLock hold(lock_);
    return first_failure_ != kNoFailure;
  }

  // Waits for every item handed over. False and |failure| (when not null)
  // once an item has failed: the first in item order; the files that later
  // items made are removed then. Takes no items after a failure. With
  // |keep_written| remembers the files that stay, for TakeBackFrom.
  bool Finish(ItemFailure* failure, bool keep_written) {
    base::AutoLock hold(lock_);
    while (in_flight_ > 0)
      done_.Wait();
    for (FileItem& item : items_) {
      if (item.index == first_failure_) {
        failure_.index = item.index;
        failure_.result = static_cast<int32_t>(item.error);
        failure_.message = item.message;
      }
      if (item.created && item.index > first_failure_)
        RemoveBelow(item.folder->Get(), item.name);
      else if (item.created && keep_written)
        written_.push_back(std::move(item));
    }
    items_.clear();
    next_ = 0;
    if (first_failure_ == kNoFailure)
      return true;
    if (failure)
      *failure = failure_;
    return false;
  }

 private:
  static constexpr size_t kThreads = 2;
  static constexpr size_t kMaxInFlight = 64;
  static constexpr UInt32 kNoFailure = 0xFFFFFFFF;

  void StartThreads() {
    started_ = true;
    while (thread_count_ < kThreads && base::PlatformThread::CreateWithPriority(
                                           0, this, &threads_[thread_count_],
                                           base::ThreadPriority::kNormal)) {
      ++thread_count_;
    }
    // Without a thread of its own the writer still writes, in place.
    if (thread_count_ == 0)
      LOG(WARNING) << "Writing unpacked files from one thread";
  }

  void ThreadMain() override {
    base::AutoLock hold(lock_);
    for (;;) {
      while (!stopping_ && next_ == items_.size())
        work_.Wait();
      if (next_ == items_.size())
        return;
      WriteNextItem();
    }
  }

  // Writes the oldest item not yet taken; called and returning with the lock
  // held, which is let go while the file is written.
  void WriteNextItem() {
    // The deque's elements stay where they are while it grows.
    FileItem* item = &items_[next_++];
    // An item after a failure is never begun: as without threads.
    if (item->index < first_failure_) {
      lock_.Release();
      WriteItem(item);
      lock_.Acquire();
    }
    if (item->error != 0)
      first_failure_ = std::min(first_failure_, item->index);
    --in_flight_;
    done_.Broadcast();
  }

  base::Lock lock_;
  // Signalled when an item is handed over, and when the threads must end.
  base::ConditionVariable work_;
  // Signalled when an item is done.
  base::ConditionVariable done_;
  std::deque<FileItem> items_;
  // The files that Finish found written, until Forget.
  std::vector<FileItem> written_;
  size_t next_ = 0;
  size_t in_flight_ = 0;
  UInt32 first_failure_ = kNoFailure;
  ItemFailure failure_;
  bool stopping_ = false;
  bool started_ = false;
  base::win::ScopedHandle threads_[kThreads];
  size_t thread_count_ = 0;
};

}  // namespace

LzmaExtractor::LzmaExtractor() = default;

LzmaExtractor::~LzmaExtractor() = default;

uint32_t LzmaExtractor::Open(const base::FilePath& archive_path) {
  archive_.Set(CreateFileW(archive_path.value().c_str(), GENERIC_READ,
                           FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  return archive_.IsValid() ? 0 : GetLastError();
}

uint32_t LzmaExtractor::Open(base::win::ScopedHandle* archive) {
  archive_.Set(archive->Take());
  if (!archive_.IsValid())
    return ERROR_INVALID_HANDLE;
  // The decoder takes the archive to start where the file pointer stands.
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(archive_.Get(), start, nullptr, FILE_BEGIN)) {
    const DWORD error = GetLastError();
    archive_.Close();
    return error;
  }
  return 0;
}

// static
bool LzmaExtractor::GetSafeRelativePath(const base::string16& name,
                                        base::string16* relative) {
  relative->clear();
  if (name.empty() || IsSeparator(name[0]) ||
      name.find(L':') != base::string16::npos) {
    return false;
  }
  for (size_t start = 0; start < name.size();) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end]))
      ++end;
    const base::string16 component = name.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == L".")
      continue;
    // Windows drops a component's trailing dots and spaces from a path it
    // is given, and reads "..." as "..": such a component names a file that
    // paths cannot reach, or another one.
    if (component.back() == L'.' || component.back() == L' ' ||
        IsDeviceName(component)) {
      return false;
    }
    if (!relative->empty())
      relative->push_back(L'\\');
    relative->append(component);
  }
  return true;
}

// static
base::string16 LzmaExtractor::FolderKey(const base::string16& relative) {
  base::string16 key = relative;
  if (!key.empty())
    CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
  return key;
}

uint32_t LzmaExtractor::EnterFolder(const base::string16& relative,
                                    uint32_t item,
                                    const char** failed_step) {
  const base::string16 key = FolderKey(relative);
  if (folder_ && key == folder_key_)
    return 0;
  // The nearest folder made here, the target at worst, then each missing
  // one below it, made new: a folder that was there before (planted, or a
  // link to elsewhere) is never entered. A folder made here is entered
  // again through the handle it was made with, never by its name, which
  // another process could have pointed elsewhere meanwhile. Items come
  // mostly in order, so the walk starts at the folder entered last when it
  // leads there.
  size_t index = 0;
  size_t start = 0;
  if (folder_ &&
      (folder_key_.empty() ||
       (key.size() > folder_key_.size() && key[folder_key_.size()] == L'\\' &&
        key.compare(0, folder_key_.size(), folder_key_) == 0))) {
    index = folder_index_;
    start = folder_key_.empty() ? 0 : folder_key_.size() + 1;
  }
  while (start < key.size()) {
    const size_t end = std::min(key.find(L'\\', start), key.size());
    const auto place = std::make_pair(index, key.substr(start, end - start));
    const auto found = created_folders_.find(place);
    if (found != created_folders_.end()) {
      index = found->second;
    } else {
      base::win::ScopedHandle child;
      const uint32_t created =
          MakeBelow(folders_[index].handle->Get(),
                    relative.substr(start, end - start), true, &child);
      if (created != 0) {
        *failed_step = "Error returned by CreateDirectory: ";
        return created;
      }
      folders_.push_back(
          {item, std::make_shared<base::win::ScopedHandle>(child.Take())});
      index = folders_.size() - 1;
      created_folders_.emplace(place, index);
    }
    start = end + 1;
  }
  folder_ = folders_[index].handle;
  folder_key_ = key;
  folder_index_ = index;
  return 0;
}

void LzmaExtractor::RemoveFoldersMadeFrom(uint32_t first) {
  // Children first; each goes as its handle, the last one, is closed.
  for (size_t i = folders_.size() - 1; i > 0; --i) {
    if (folders_[i].item >= first) {
      DeleteWhenClosed(folders_[i].handle->Get());
      folders_[i].handle.reset();
    }
  }
}

int32_t LzmaExtractor::Extract(const base::FilePath& target_folder) {
  if (!archive_.IsValid())
    return kArchiveError;
  HandleInStream in_stream = {{&ReadHandle, &SeekHandle}, archive_.Get()};
  std::vector<Byte> look_buffer(kLookBufferSize);
  CLookToRead2 look;
  LookToRead2_CreateVTable(&look, False);
  look.buf = look_buffer.data();
  look.bufSize = look_buffer.size();
  look.realStream = &in_stream.vt;
  LookToRead2_INIT(&look);
  CrcGenerateTable();
  ArchiveDatabase archive;
  CSzArEx* db = archive.get();
  const SRes opened =
      SzArEx_Open(db, &look.vt, &kHeapAllocator, &kHeapAllocator);
  if (opened != SZ_OK) {
    LOG(ERROR) << "Error returned by SzArchiveOpen: " << opened;
    return kArchiveError;
  }

  auto target = std::make_shared<base::win::ScopedHandle>(
      CreateFileW(target_folder.value().c_str(),
                  FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY |
                      FILE_TRAVERSE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!target->IsValid()) {
    const DWORD error = GetLastError();
    LOG(ERROR) << "Error returned by CreateFile: " << error;
    return static_cast<int32_t>(error);
  }
  folder_.reset();
  folder_key_.clear();
  folder_index_ = 0;
  created_folders_.clear();
  folders_ = {{0, std::move(target)}};
  blocks_decoded_in_steps_ = 0;
  MappedFileAllocator allocator(target_folder);
  UInt32 block_index = 0xFFFFFFFF;
  Byte* out_buffer = nullptr;
  size_t out_buffer_size = 0;
  if (delegate_)
    delegate_->SetTotalProgress(static_cast<int32_t>(db->NumFiles));
  ParallelItemWriter writer;
  // The files handed to the writer since it last finished, by FolderKey of
  // their relative paths: a later item of the same name, or a folder made
  // in its place, waits for them, so that the earlier one wins as it would
  // without threads.
  std::set<base::string16> pending_files;
  // A failure found here, on the extractor's own thread.
  ItemFailure failure;
  bool failed = false;
  const auto fail = [&failure, &failed](UInt32 index, int32_t result,
                                        std::string message) {
    failure.index = index;
    failure.result = result;
    failure.message = std::move(message);
    failure.item_began = true;
    failed = true;
  };
  // The block being decoded a step at a time, and its first item, which a
  // failure to decode it counts against, wherever in the block it shows:
  // one item at a time decodes the whole block at that item.
  std::unique_ptr<BlockDecoder> stepwise;
  UInt32 block_first = 0;
  // The files of a block not yet decoded to its end are kept in mind, for
  // a failure of the block to take back.
  const auto wait_for_writes = [&writer, &pending_files, &stepwise]() {
    pending_files.clear();
    return writer.Finish(nullptr, stepwise != nullptr);
  };
  const auto fail_block = [&failure, &failed, &block_first](SRes decoded) {
    if (failed && failure.index < block_first)
      return;
    failure.index = block_first;
    failure.result = kArchiveError;
    failure.message = "Error returned by SzExtract: " + std::to_string(decoded);
    failure.item_began = false;
    failed = true;
  };
  // Decodes the rest of the block, so that its items' outcome counts only
  // once the whole block is known to decode, as it would one at a time.
  const auto finish_block = [&stepwise, &out_buffer_size, &fail_block]() {
    if (!stepwise)
      return true;
    const SRes decoded = stepwise->DecodeTo(out_buffer_size);
    stepwise.reset();
    if (decoded == SZ_OK)
      return true;
    fail_block(decoded);
    return false;
  };
  std::vector<UInt16> name;
  for (UInt32 i = 0; i < db->NumFiles && !failed && !writer.HasFailed(); ++i) {
    if (delegate_)
      delegate_->SetCurrentProgress(static_cast<int32_t>(i));
    size_t offset = 0, size = 0;
    // An item without data of its own needs no decoding; asking the decoder
    // for one would free the block that items being written still read.
    const UInt32 folder_index = db->FileToFolder[i];
    if (folder_index != 0xFFFFFFFF) {
      if (folder_index != block_index) {
        if (!finish_block() || (!pending_files.empty() && !wait_for_writes())) {
          break;
        }
        writer.Forget();
        if (decode_in_steps_ && BlockDecoder::CanDecode(db, folder_index)) {
          // As the whole block's decode allocates its buffer.
          block_index = folder_index;
          allocator.Free(out_buffer);
          out_buffer_size = static_cast<size_t>(
              SzAr_GetFolderUnpackSize(&db->db, folder_index));
          out_buffer = static_cast<Byte*>(allocator.Allocate(out_buffer_size));
          block_first = i;
          if (!out_buffer) {
            fail_block(SZ_ERROR_MEM);
            break;
          }
          stepwise = std::make_unique<BlockDecoder>(
              db, folder_index, &look.vt, out_buffer, out_buffer_size);
          ++blocks_decoded_in_steps_;
        }
      }
      SRes extracted = SZ_OK;
      if (stepwise) {
        // The checks a whole block's extraction makes of each item.
        offset = static_cast<size_t>(
            db->UnpackPositions[i] -
            db->UnpackPositions[db->FolderToFile[folder_index]]);
        size = static_cast<size_t>(db->UnpackPositions[i + 1] -
                                   db->UnpackPositions[i]);
        if (offset + size > out_buffer_size) {
          extracted = SZ_ERROR_FAIL;
        } else {
          const SRes decoded = stepwise->DecodeTo(offset + size);
          if (decoded != SZ_OK) {
            fail_block(decoded);
            break;
          }
          if (SzBitWithVals_Check(&db->CRCs, i) &&
              CrcCalc(out_buffer + offset, size) != db->CRCs.Vals[i]) {
            extracted = SZ_ERROR_CRC;
          }
        }
      } else {
        extracted = SzArEx_Extract(
            db, &look.vt, i, &block_index, &out_buffer, &out_buffer_size,
            &offset, &size, allocator.decoder_allocator(), &kHeapAllocator);
      }
      if (extracted != SZ_OK) {
        fail(i, kArchiveError,
             "Error returned by SzExtract: " + std::to_string(extracted));
        break;
      }
    }
    // An archive without a name table has no names to ask for.
    const size_t length =
        db->FileNameOffsets ? SzArEx_GetFileNameUtf16(db, i, nullptr) : 0;
    if (length == 0) {
      fail(i, kArchiveError, "Couldn't get file name");
      break;
    }
    name.resize(length);
    SzArEx_GetFileNameUtf16(db, i, name.data());
    const base::string16 item_name(reinterpret_cast<wchar_t*>(name.data()));
    const bool is_folder = SzArEx_IsDir(db, i);
    base::string16 relative;
    if (!GetSafeRelativePath(item_name, &relative) ||
        (relative.empty() && !is_folder)) {
      fail(i, kArchiveError,
           "Refusing an unsafe item name: " +
               base::FilePath(item_name).AsUTF8());
      break;
    }
    // An entry for the target folder itself.
    if (relative.empty())
      continue;
    const base::FilePath path = target_folder.Append(relative);
    if (path.value().size() > kMaxPathLength) {
      fail(i, kArchiveError,
           "Refusing an item whose path would be " +
               std::to_string(path.value().size()) + " characters long");
      break;
    }
    const base::string16 key = FolderKey(relative);
    bool taken = pending_files.count(key) != 0;
    for (size_t separator = key.find(L'\\');
         !taken && separator != base::string16::npos;
         separator = key.find(L'\\', separator + 1)) {
      taken = pending_files.count(key.substr(0, separator)) != 0;
    }
    if (taken && !wait_for_writes())
      break;
    const size_t last_separator = relative.rfind(L'\\');
    const size_t name_start =
        last_separator == base::string16::npos ? 0 : last_separator + 1;
    const char* failed_step = nullptr;
    const uint32_t entered = EnterFolder(
        is_folder ? relative
                  : relative.substr(0, name_start == 0 ? 0 : name_start - 1),
        i, &failed_step);
    if (entered != 0) {
      fail(i, static_cast<int32_t>(entered), ErrorLine(failed_step, entered));
      break;
    }
    if (is_folder)
      continue;
    FileItem item = {i,
                     folder_,
                     relative.substr(name_start),
                     out_buffer + offset,
                     size,
                     SzBitWithVals_Check(&db->MTime, i)};
    if (item.has_time)
      item.time = {db->MTime.Vals[i].Low, db->MTime.Vals[i].High};
    pending_files.insert(key);
    writer.Add(std::move(item));
  }
  // A failure of the block's data, found after some of its items, counts
  // against its first one.
  finish_block();
  // A failure of an earlier item, found while writing, comes first.
  ItemFailure written_failure;
  if (!writer.Finish(&written_failure, failed && !failure.item_began) &&
      (!failed || written_failure.index < failure.index)) {
    failure = written_failure;
    failed = true;
  }
  int32_t result = 0;
  if (failed) {
    LOG(ERROR) << failure.message;
    const UInt32 first_removed =
        failure.item_began ? failure.index + 1 : failure.index;
    writer.TakeBackFrom(first_removed);
    // The folders held open share no deletion.
    writer.Forget();
    folder_.reset();
    RemoveFoldersMadeFrom(first_removed);
    result = failure.result;
  }
  writer.Forget();
  folder_.reset();
  allocator.Free(out_buffer);
  folders_.clear();
  return result;
}

}  // namespace installer
}  // namespace vexlo
