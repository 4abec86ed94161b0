#ifndef BASE_TRACE_EVENT_TRACE_BUFFER_H_
#define BASE_TRACE_EVENT_TRACE_BUFFER_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

#include "base/trace_event/trace_event_impl.h"
#include "base/trace_event/trace_log.h"

namespace base {
namespace trace_event {

class TraceEventMemoryOverhead;

// 64 event slots that one thread fills before giving the chunk back.
class TraceBufferChunk {
 public:
  static constexpr size_t kTraceBufferChunkSize = 64;

  explicit TraceBufferChunk(uint32_t seq);
  TraceBufferChunk(const TraceBufferChunk&) = delete;
  TraceBufferChunk& operator=(const TraceBufferChunk&) = delete;
  ~TraceBufferChunk();

  // Empties the used slots for reuse under sequence number |new_seq|.
  void Reset(uint32_t new_seq);
  // The first free slot and its index; callers check IsFull first.
  TraceEvent* AddTraceEvent(size_t* event_index);
  bool IsFull() const { return used_count_ == kTraceBufferChunkSize; }

  uint32_t seq() const { return seq_; }
  size_t size() const { return used_count_; }
  TraceEvent* GetEventAt(size_t index) { return &chunk_[index]; }
  const TraceEvent* GetEventAt(size_t index) const { return &chunk_[index]; }

  // A full chunk is estimated once and answered from its cache later.
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead);

 private:
  size_t used_count_;
  std::unique_ptr<TraceEventMemoryOverhead> cached_overhead_estimate_;
  TraceEvent chunk_[kTraceBufferChunkSize];
  uint32_t seq_;
};

// Where the trace log keeps its chunks. A chunk taken with GetChunk is in
// flight (its entry is empty) until ReturnChunk gives it back.
class TraceBuffer {
 public:
  virtual ~TraceBuffer() = default;

  virtual std::unique_ptr<TraceBufferChunk> GetChunk(size_t* index) = 0;
  virtual void ReturnChunk(size_t index,
                           std::unique_ptr<TraceBufferChunk> chunk) = 0;
  virtual bool IsFull() const = 0;
  // Events, counting every chunk entry (in flight too) as a full chunk.
  virtual size_t Size() const = 0;
  virtual size_t Capacity() const = 0;
  // The event of |handle|, when its chunk is here and still of the
  // handle's sequence.
  virtual TraceEvent* GetEventByHandle(TraceEventHandle handle) = 0;
  // The following stored chunk in reading order; null at the end.
  virtual const TraceBufferChunk* GetChunkAtCursor() = 0;
  virtual void EstimateTraceMemoryOverhead(
      TraceEventMemoryOverhead* overhead) = 0;

  // Recycles its oldest returned chunks; never full.
  static std::unique_ptr<TraceBuffer> CreateTraceBufferRingBuffer(
      size_t max_chunks);
  // Grows to |max_chunks| chunks, then reports full.
  static std::unique_ptr<TraceBuffer> CreateTraceBufferVectorOfSize(
      size_t max_chunks);
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_BUFFER_H_
