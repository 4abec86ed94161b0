#include "base/trace_event/trace_buffer.h"

#include <memory>
#include <vector>

#include "base/trace_event/process_memory_dump.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

TraceEventHandle Handle(uint32_t seq, size_t chunk_index, size_t event_index) {
  TraceEventHandle handle;
  handle.chunk_seq = seq;
  handle.chunk_index = static_cast<uint32_t>(chunk_index);
  handle.event_index = static_cast<uint32_t>(event_index);
  return handle;
}

TEST(TraceBufferTest, VectorFillsUp) {
  std::unique_ptr<TraceBuffer> buffer =
      TraceBuffer::CreateTraceBufferVectorOfSize(3);
  EXPECT_EQ(3u * 64, buffer->Capacity());
  std::vector<std::unique_ptr<TraceBufferChunk>> chunks;
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_FALSE(buffer->IsFull());
    size_t index;
    chunks.push_back(buffer->GetChunk(&index));
    EXPECT_EQ(i, index);
    EXPECT_EQ(i + 1, chunks.back()->seq());
  }
  // Full whether or not the chunks came back; more still comes for
  // metadata.
  EXPECT_TRUE(buffer->IsFull());
  EXPECT_EQ(3u * 64, buffer->Size());
  size_t index;
  std::unique_ptr<TraceBufferChunk> extra = buffer->GetChunk(&index);
  EXPECT_TRUE(extra);
  EXPECT_EQ(4u * 64, buffer->Size());

  size_t event_index;
  chunks[1]->AddTraceEvent(&event_index);
  TraceEvent* event = chunks[1]->AddTraceEvent(&event_index);
  EXPECT_EQ(1u, event_index);
  // A chunk in flight is not found.
  EXPECT_EQ(nullptr, buffer->GetEventByHandle(Handle(2, 1, 1)));
  buffer->ReturnChunk(1, std::move(chunks[1]));
  EXPECT_EQ(event, buffer->GetEventByHandle(Handle(2, 1, 1)));
  EXPECT_EQ(nullptr, buffer->GetEventByHandle(Handle(3, 1, 1)));
  EXPECT_EQ(nullptr, buffer->GetEventByHandle(Handle(2, 9, 1)));

  const TraceBufferChunk* cursor = buffer->GetChunkAtCursor();
  EXPECT_EQ(2u, cursor->seq());
  EXPECT_EQ(nullptr, buffer->GetChunkAtCursor());
}

TEST(TraceBufferTest, RingRecyclesInReturnOrder) {
  std::unique_ptr<TraceBuffer> buffer =
      TraceBuffer::CreateTraceBufferRingBuffer(2);
  size_t first_index;
  size_t second_index;
  std::unique_ptr<TraceBufferChunk> first = buffer->GetChunk(&first_index);
  std::unique_ptr<TraceBufferChunk> second = buffer->GetChunk(&second_index);
  EXPECT_EQ(0u, first_index);
  EXPECT_EQ(1u, second_index);
  EXPECT_EQ(1u, first->seq());
  EXPECT_EQ(2u, second->seq());
  // Everything is in flight: nothing to hand out.
  size_t index;
  EXPECT_FALSE(buffer->GetChunk(&index));

  size_t event_index;
  first->AddTraceEvent(&event_index);
  buffer->ReturnChunk(second_index, std::move(second));
  buffer->ReturnChunk(first_index, std::move(first));
  EXPECT_TRUE(buffer->GetEventByHandle(Handle(1, 0, 0)));

  std::unique_ptr<TraceBufferChunk> recycled = buffer->GetChunk(&index);
  EXPECT_EQ(1u, index);
  EXPECT_EQ(3u, recycled->seq());
  std::unique_ptr<TraceBufferChunk> recycled_again = buffer->GetChunk(&index);
  EXPECT_EQ(0u, index);
  EXPECT_EQ(0u, recycled_again->size());
  buffer->ReturnChunk(0, std::move(recycled_again));
  // The handle to the old contents finds nothing.
  EXPECT_EQ(nullptr, buffer->GetEventByHandle(Handle(1, 0, 0)));
  EXPECT_FALSE(buffer->IsFull());
  EXPECT_EQ(2u * 64, buffer->Size());
}

TEST(TraceBufferTest, ChunkEstimateIsCachedOnceFull) {
  TraceBufferChunk chunk(1);
  size_t event_index;
  chunk.AddTraceEvent(&event_index);
  TraceEventMemoryOverhead partial;
  chunk.EstimateTraceMemoryOverhead(&partial);
  EXPECT_EQ(1u, partial.GetCount(kOverheadTypeTraceEvent));
  ProcessMemoryDump partial_dump;
  partial.DumpInto("chunk", &partial_dump);
  EXPECT_TRUE(partial_dump.GetAllocatorDump("chunk/TraceEvent (unused)"));
  EXPECT_TRUE(partial_dump.GetAllocatorDump("chunk/TraceBufferChunk"));

  while (!chunk.IsFull())
    chunk.AddTraceEvent(&event_index);
  TraceEventMemoryOverhead full;
  chunk.EstimateTraceMemoryOverhead(&full);
  EXPECT_EQ(64u, full.GetCount(kOverheadTypeTraceEvent));
  ProcessMemoryDump full_dump;
  full.DumpInto("chunk", &full_dump);
  EXPECT_FALSE(full_dump.GetAllocatorDump("chunk/TraceEvent (unused)"));
  EXPECT_EQ(1u, full.GetCount(kOverheadTypeSelf));
  TraceEventMemoryOverhead again;
  chunk.EstimateTraceMemoryOverhead(&again);
  EXPECT_EQ(64u, again.GetCount(kOverheadTypeTraceEvent));
  EXPECT_EQ(1u, again.GetCount(kOverheadTypeSelf));

  chunk.Reset(5);
  EXPECT_EQ(0u, chunk.size());
  EXPECT_EQ(5u, chunk.seq());
}

}  // namespace
}  // namespace trace_event
}  // namespace base
