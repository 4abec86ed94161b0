#include "base/trace_event/memory_allocator_dump.h"

#include <memory>
#include <string>

#include "base/json/json_writer.h"
#include "base/trace_event/heap_profiler_stack_frame_deduplicator.h"
#include "base/trace_event/heap_profiler_type_name_deduplicator.h"
#include "base/trace_event/process_memory_dump.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/trace_event/traced_value.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

std::string JsonOf(const ConvertableToTraceFormat& value) {
  std::string out;
  value.AppendAsTraceFormat(&out);
  return out;
}

TEST(MemoryAllocatorDumpTest, ScalarsAndIdentity) {
  ProcessMemoryDump pmd;
  MemoryAllocatorDump* dump = pmd.CreateAllocatorDump("tracing/main_trace_log");
  EXPECT_EQ(dump, pmd.CreateAllocatorDump("tracing/main_trace_log"));
  EXPECT_EQ(1u, pmd.size());
  dump->AddScalar("size", "bytes", 4096);
  dump->AddScalar("object_count", "objects", 0xABCDEF0123ull);
  EXPECT_EQ(
      "{\"object_count\":{\"type\":\"scalar\",\"units\":\"objects\",\"value\":"
      "\"abcdef0123\"},\"size\":{\"type\":\"scalar\",\"units\":\"bytes\","
      "\"value\":\"1000\"}}",
      JsonOf(*dump->attributes()));
  EXPECT_EQ(0x3b219d9e16a46e0full,
            MemoryAllocatorDump::MakeGuid(42, "tracing/main_trace_log"));
}

TEST(TracedValueTest, NestedContainers) {
  TracedValue value;
  value.BeginDictionary("outer");
  value.SetString("text", "a\"b");
  value.SetInteger("number", -3);
  value.SetBoolean("flag", true);
  value.SetDouble("half", 0.5);
  value.BeginArray("list");
  value.AppendString("x");
  value.BeginDictionary();
  value.SetStringWithCopiedName(std::string("copied"), "y");
  value.EndDictionary();
  value.EndArray();
  value.EndDictionary();
  // An extra close never pops the root.
  value.EndDictionary();
  value.SetString("last", "z");
  EXPECT_EQ(
      "{\"last\":\"z\",\"outer\":{\"flag\":true,\"half\":0.5,\"list\":[\"x\","
      "{\"copied\":\"y\"}],\"number\":-3,\"text\":\"a\\\"b\"}}",
      JsonOf(value));

  TraceEventMemoryOverhead overhead;
  value.EstimateTraceMemoryOverhead(&overhead);
  ProcessMemoryDump pmd;
  overhead.DumpInto("v", &pmd);
  EXPECT_TRUE(pmd.GetAllocatorDump("v/TracedValue"));
}

TEST(DeduplicatorTest, TypeNames) {
  TypeNameDeduplicator types;
  EXPECT_EQ("{\"0\":\"[unknown]\"}", JsonOf(types));
  static const char kInt[] = "int";
  static const char kQuoted[] = "a\"b";
  EXPECT_EQ(1, types.Insert(kInt));
  EXPECT_EQ(2, types.Insert(kQuoted));
  EXPECT_EQ(1, types.Insert(kInt));
  EXPECT_EQ(0, types.Insert(nullptr));
  const std::string json = JsonOf(types);
  EXPECT_NE(std::string::npos, json.find(",\"1\":\"int\"")) << json;
  EXPECT_NE(std::string::npos, json.find(",\"2\":\"a\\\"b\"")) << json;
}

TEST(DeduplicatorTest, StackFrames) {
  StackFrameDeduplicator frames;
  EXPECT_EQ("{}", JsonOf(frames));
  static const char kRoot[] = "Root";
  static const char kChild[] = "Child";
  static const char kOther[] = "Other";
  const StackFrameDeduplicator::StackFrame path[] = {kRoot, kChild};
  EXPECT_EQ(1, frames.Insert(path, path + 2));
  EXPECT_EQ(1, frames.Insert(path, path + 2));
  EXPECT_EQ(0, frames.Insert(path, path + 1));
  const StackFrameDeduplicator::StackFrame other[] = {kRoot, kOther};
  EXPECT_EQ(2, frames.Insert(other, other + 2));
  EXPECT_EQ(-1, frames.Insert(path, path));
  EXPECT_EQ(
      "{\"0\":{\"name\":\"Root\"},\"1\":{\"name\":\"Child\",\"parent\":\"0\"},"
      "\"2\":{\"name\":\"Other\",\"parent\":\"0\"}}",
      JsonOf(frames));
}

}  // namespace
}  // namespace trace_event
}  // namespace base
