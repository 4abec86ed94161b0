#include "base/trace_event/trace_buffer.h"

#include <utility>

#include "base/trace_event/trace_event_memory_overhead.h"

namespace base {
namespace trace_event {

namespace {

// What both kinds share: chunk entries indexed by chunk index, an empty
// entry for a chunk in flight.
class ChunkedTraceBuffer : public TraceBuffer {
 public:
  size_t Size() const override {
    return chunks_.size() * TraceBufferChunk::kTraceBufferChunkSize;
  }

  size_t Capacity() const override {
    return max_chunks_ * TraceBufferChunk::kTraceBufferChunkSize;
  }

  TraceEvent* GetEventByHandle(TraceEventHandle handle) override {
    if (handle.chunk_index >= chunks_.size())
      return nullptr;
    TraceBufferChunk* const chunk = chunks_[handle.chunk_index].get();
    if (!chunk || chunk->seq() != handle.chunk_seq)
      return nullptr;
    return chunk->GetEventAt(handle.event_index);
  }

 protected:
  explicit ChunkedTraceBuffer(size_t max_chunks) : max_chunks_(max_chunks) {
    chunks_.reserve(max_chunks);
  }

  const size_t max_chunks_;
  std::vector<std::unique_ptr<TraceBufferChunk>> chunks_;
};

class TraceBufferRingBuffer : public ChunkedTraceBuffer {
 public:
  explicit TraceBufferRingBuffer(size_t max_chunks)
      : ChunkedTraceBuffer(max_chunks),
        recyclable_chunks_queue_(new size_t[QueueCapacity()]),
        queue_head_(0),
        queue_tail_(max_chunks),
        current_iteration_index_(0),
        current_chunk_seq_(1) {
    for (size_t i = 0; i < max_chunks; ++i)
      recyclable_chunks_queue_[i] = i;
  }

  std::unique_ptr<TraceBufferChunk> GetChunk(size_t* index) override {
    // Every chunk is in flight: there is nothing to hand out.
    if (queue_head_ == queue_tail_)
      return nullptr;
    *index = recyclable_chunks_queue_[queue_head_];
    queue_head_ = NextQueueIndex(queue_head_);
    current_iteration_index_ = queue_head_;
    if (*index >= chunks_.size())
      chunks_.resize(*index + 1);
    std::unique_ptr<TraceBufferChunk> chunk = std::move(chunks_[*index]);
    if (chunk)
      chunk->Reset(current_chunk_seq_++);
    else
      chunk.reset(new TraceBufferChunk(current_chunk_seq_++));
    return chunk;
  }

  void ReturnChunk(size_t index,
                   std::unique_ptr<TraceBufferChunk> chunk) override {
    chunks_[index] = std::move(chunk);
    recyclable_chunks_queue_[queue_tail_] = index;
    queue_tail_ = NextQueueIndex(queue_tail_);
  }

  bool IsFull() const override { return false; }

  const TraceBufferChunk* GetChunkAtCursor() override {
    if (chunks_.empty())
      return nullptr;
    while (current_iteration_index_ != queue_tail_) {
      const size_t chunk_index =
          recyclable_chunks_queue_[current_iteration_index_];
      current_iteration_index_ = NextQueueIndex(current_iteration_index_);
      if (chunk_index >= chunks_.size())
        continue;
      return chunks_[chunk_index].get();
    }
    return nullptr;
  }

  void EstimateTraceMemoryOverhead(
      TraceEventMemoryOverhead* overhead) override {
    overhead->Add("TraceBufferRingBuffer", sizeof(*this));
    for (size_t queue_index = queue_head_; queue_index != queue_tail_;
         queue_index = NextQueueIndex(queue_index)) {
      const size_t chunk_index = recyclable_chunks_queue_[queue_index];
      if (chunk_index >= chunks_.size())
        continue;
      if (chunks_[chunk_index])
        chunks_[chunk_index]->EstimateTraceMemoryOverhead(overhead);
    }
  }

 private:
  size_t QueueCapacity() const { return max_chunks_ + 1; }
  size_t NextQueueIndex(size_t index) const {
    return index + 1 < QueueCapacity() ? index + 1 : 0;
  }

  std::unique_ptr<size_t[]> recyclable_chunks_queue_;
  size_t queue_head_;
  size_t queue_tail_;
  size_t current_iteration_index_;
  uint32_t current_chunk_seq_;
};

class TraceBufferVector : public ChunkedTraceBuffer {
 public:
  explicit TraceBufferVector(size_t max_chunks)
      : ChunkedTraceBuffer(max_chunks),
        in_flight_chunk_count_(0),
        current_iteration_index_(0) {}

  std::unique_ptr<TraceBufferChunk> GetChunk(size_t* index) override {
    // Even when full, metadata still needs room.
    *index = chunks_.size();
    chunks_.push_back(nullptr);
    ++in_flight_chunk_count_;
    return std::unique_ptr<TraceBufferChunk>(
        new TraceBufferChunk(static_cast<uint32_t>(*index) + 1));
  }

  void ReturnChunk(size_t index,
                   std::unique_ptr<TraceBufferChunk> chunk) override {
    --in_flight_chunk_count_;
    chunks_[index] = std::move(chunk);
  }

  bool IsFull() const override { return chunks_.size() >= max_chunks_; }

  const TraceBufferChunk* GetChunkAtCursor() override {
    while (current_iteration_index_ < chunks_.size()) {
      const TraceBufferChunk* const chunk =
          chunks_[current_iteration_index_++].get();
      if (chunk)
        return chunk;
    }
    return nullptr;
  }

  void EstimateTraceMemoryOverhead(
      TraceEventMemoryOverhead* overhead) override {
    const size_t chunks_ptr_vector_allocated_size =
        sizeof(*this) + max_chunks_ * sizeof(void*);
    const size_t chunks_ptr_vector_resident_size =
        sizeof(*this) + chunks_.size() * sizeof(void*);
    overhead->Add("TraceBufferVector", chunks_ptr_vector_allocated_size,
                  chunks_ptr_vector_resident_size);
    for (const std::unique_ptr<TraceBufferChunk>& chunk : chunks_) {
      // Chunks in flight are counted by their thread's buffer.
      if (chunk)
        chunk->EstimateTraceMemoryOverhead(overhead);
    }
  }

 private:
  size_t in_flight_chunk_count_;
  size_t current_iteration_index_;
};

}  // namespace

TraceBufferChunk::TraceBufferChunk(uint32_t seq) : used_count_(0), seq_(seq) {}

TraceBufferChunk::~TraceBufferChunk() = default;

void TraceBufferChunk::Reset(uint32_t new_seq) {
  for (size_t i = 0; i < used_count_; ++i)
    chunk_[i].Reset();
  used_count_ = 0;
  seq_ = new_seq;
  cached_overhead_estimate_.reset();
}

TraceEvent* TraceBufferChunk::AddTraceEvent(size_t* event_index) {
  *event_index = used_count_++;
  return &chunk_[*event_index];
}

void TraceBufferChunk::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  if (!cached_overhead_estimate_) {
    cached_overhead_estimate_.reset(new TraceEventMemoryOverhead);
    cached_overhead_estimate_->Add("TraceBufferChunk",
                                   sizeof(*this) - sizeof(chunk_));
  }
  const size_t estimated =
      cached_overhead_estimate_->GetCount(kOverheadTypeTraceEvent);
  if (IsFull() && estimated == used_count_) {
    overhead->Update(*cached_overhead_estimate_);
    return;
  }
  for (size_t i = estimated; i < used_count_; ++i)
    chunk_[i].EstimateTraceMemoryOverhead(cached_overhead_estimate_.get());
  if (IsFull()) {
    cached_overhead_estimate_->AddSelf();
  } else {
    overhead->Add("TraceEvent (unused)",
                  (kTraceBufferChunkSize - used_count_) * sizeof(TraceEvent));
  }
  overhead->Update(*cached_overhead_estimate_);
}

// static
std::unique_ptr<TraceBuffer> TraceBuffer::CreateTraceBufferRingBuffer(
    size_t max_chunks) {
  return std::unique_ptr<TraceBuffer>(new TraceBufferRingBuffer(max_chunks));
}

// static
std::unique_ptr<TraceBuffer> TraceBuffer::CreateTraceBufferVectorOfSize(
    size_t max_chunks) {
  return std::unique_ptr<TraceBuffer>(new TraceBufferVector(max_chunks));
}

}  // namespace trace_event
}  // namespace base
