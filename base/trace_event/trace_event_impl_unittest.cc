#include "base/trace_event/trace_event_impl.h"

#include <limits>
#include <memory>
#include <string>

#include "base/trace_event/memory_allocator_dump.h"
#include "base/trace_event/process_memory_dump.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/trace_event/trace_log.h"
#include "base/trace_event/traced_value.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

std::string Json(unsigned char type, TraceEvent::TraceValue value) {
  std::string out;
  TraceEvent::AppendValueAsJSON(type, value, &out);
  return out;
}

std::string DoubleJson(double value) {
  TraceEvent::TraceValue trace_value;
  trace_value.as_double = value;
  return Json(TRACE_VALUE_TYPE_DOUBLE, trace_value);
}

TEST(TraceEventTest, ValuesAsJSON) {
  EXPECT_EQ("1.0", DoubleJson(1.0));
  EXPECT_EQ("0.5", DoubleJson(0.5));
  EXPECT_EQ("-0.25", DoubleJson(-0.25));
  EXPECT_EQ("1e+300", DoubleJson(1e300));
  EXPECT_EQ("\"NaN\"", DoubleJson(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ("\"Infinity\"",
            DoubleJson(std::numeric_limits<double>::infinity()));
  EXPECT_EQ("\"-Infinity\"",
            DoubleJson(-std::numeric_limits<double>::infinity()));

  TraceEvent::TraceValue value;
  value.as_uint = 0;
  value.as_bool = true;
  EXPECT_EQ("true", Json(TRACE_VALUE_TYPE_BOOL, value));
  value.as_int = -5;
  EXPECT_EQ("-5", Json(TRACE_VALUE_TYPE_INT, value));
  value.as_uint = 18446744073709551615ull;
  EXPECT_EQ("18446744073709551615", Json(TRACE_VALUE_TYPE_UINT, value));
  value.as_uint = 0xABC;
  EXPECT_EQ("\"0xabc\"", Json(TRACE_VALUE_TYPE_POINTER, value));
  value.as_string = nullptr;
  EXPECT_EQ("\"NULL\"", Json(TRACE_VALUE_TYPE_STRING, value));
  value.as_string = "a\"b";
  EXPECT_EQ("\"a\\\"b\"", Json(TRACE_VALUE_TYPE_COPY_STRING, value));
  EXPECT_EQ("", Json(9, value));
}

TEST(TraceEventTest, KeepsTwoArguments) {
  const char* const names[] = {"a", "b", "c"};
  const unsigned char types[] = {TRACE_VALUE_TYPE_INT, TRACE_VALUE_TYPE_INT,
                                 TRACE_VALUE_TYPE_INT};
  const unsigned long long values[] = {1, 2, 3};
  TraceEvent event;
  event.Initialize(7, TimeTicks(), ThreadTicks(), 'I', nullptr, "name", nullptr,
                   0, 0, 3, names, types, values, nullptr, 0);
  EXPECT_STREQ("b", event.arg_name(1));
  EXPECT_EQ(2, event.arg_value(1).as_int);
  EXPECT_EQ(nullptr, event.parameter_copy_storage());
  EXPECT_EQ(-1, event.duration().InMicroseconds());
}

TEST(TraceEventTest, CopiesWhatItMustNotBorrow) {
  std::string name = "event";
  std::string arg_name = "arg";
  std::string arg_value = "value";
  const char* const names[] = {arg_name.c_str()};
  const unsigned char types[] = {TRACE_VALUE_TYPE_STRING};
  const unsigned long long values[] = {
      reinterpret_cast<uintptr_t>(arg_value.c_str())};
  TraceEvent event;
  event.Initialize(1, TimeTicks(), ThreadTicks(), 'I', nullptr, name.c_str(),
                   nullptr, 0, 0, 1, names, types, values, nullptr,
                   TRACE_EVENT_FLAG_COPY);
  name = "XXXXX";
  arg_name = "XXX";
  arg_value = "XXXXX";
  EXPECT_STREQ("event", event.name());
  EXPECT_EQ(nullptr, event.scope());
  EXPECT_STREQ("arg", event.arg_name(0));
  EXPECT_EQ(TRACE_VALUE_TYPE_COPY_STRING, event.arg_type(0));
  EXPECT_STREQ("value", event.arg_value(0).as_string);
  ASSERT_TRUE(event.parameter_copy_storage());
  EXPECT_EQ(std::string("event\0arg\0value\0", 16),
            *event.parameter_copy_storage());
}

TEST(TraceEventTest, MoveAndDuration) {
  std::unique_ptr<TraceEvent> source(new TraceEvent);
  const char* const names[] = {"n"};
  const unsigned char types[] = {TRACE_VALUE_TYPE_COPY_STRING};
  const unsigned long long values[] = {reinterpret_cast<uintptr_t>("text")};
  source->Initialize(3, TimeTicks::FromInternalValue(100), ThreadTicks(), 'X',
                     nullptr, "moved", nullptr, 9, 11, 1, names, types, values,
                     nullptr, 0);
  TraceEvent target;
  target.MoveFrom(std::move(source));
  EXPECT_STREQ("moved", target.name());
  EXPECT_EQ(9u, target.id());
  EXPECT_EQ(0u, target.bind_id());
  EXPECT_STREQ("text", target.arg_value(0).as_string);
  target.UpdateDuration(TimeTicks::FromInternalValue(350), ThreadTicks());
  EXPECT_EQ(250, target.duration().InMicroseconds());
  // Without a thread timestamp the thread duration stays unset.
  EXPECT_EQ(0, target.thread_duration().InMicroseconds());
}

TEST(TraceEventTest, PrettyPrinted) {
  const unsigned char* category = TraceLog::GetCategoryGroupEnabled("cat");
  TraceEvent event;
  event.Initialize(1, TimeTicks(), ThreadTicks(), 'I', category, "plain",
                   nullptr, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 0);
  std::string out;
  event.AppendPrettyPrinted(&out);
  EXPECT_EQ("plain[cat]", out);

  std::unique_ptr<ConvertableToTraceFormat> convertables[2];
  std::unique_ptr<TracedValue> traced(new TracedValue);
  traced->SetInteger("x", 1);
  convertables[1] = std::move(traced);
  const char* const names[] = {"count", "value"};
  const unsigned char types[] = {TRACE_VALUE_TYPE_UINT,
                                 TRACE_VALUE_TYPE_CONVERTABLE};
  const unsigned long long values[] = {4, 0};
  event.Initialize(1, TimeTicks(), ThreadTicks(), 'I', category, "args",
                   nullptr, 0, 0, 2, names, types, values, convertables, 0);
  out.clear();
  event.AppendPrettyPrinted(&out);
  EXPECT_EQ("args[cat], {count:4, value:{\"x\":1}}", out);
}

TEST(TraceEventMemoryOverheadTest, TypesAreKeptByAddress) {
  static const char kFirst[] = "type";
  static const char kSecond[] = "type";
  TraceEventMemoryOverhead overhead;
  overhead.Add(kFirst, 10);
  overhead.Add(kFirst, 20, 5);
  overhead.Add(kSecond, 1);
  EXPECT_EQ(2u, overhead.GetCount(kFirst));
  EXPECT_EQ(1u, overhead.GetCount(kSecond));
  EXPECT_EQ(0u, overhead.GetCount("absent"));

  ProcessMemoryDump pmd;
  overhead.DumpInto("base", &pmd);
  EXPECT_EQ(1u, pmd.size());
  EXPECT_TRUE(pmd.GetAllocatorDump("base/type"));
}

TEST(TraceEventMemoryOverheadTest, SeventeenTypes) {
  static const char kTypes[17][4] = {"a", "b", "c", "d", "e", "f",
                                     "g", "h", "i", "j", "k", "l",
                                     "m", "n", "o", "p", "q"};
  TraceEventMemoryOverhead overhead;
  for (const char* type : kTypes)
    overhead.Add(type, 8);
  overhead.Add(kTypes[0], 8);
  TraceEventMemoryOverhead copy;
  copy.Update(overhead);
  for (int i = 0; i < 17; ++i)
    EXPECT_EQ(i == 0 ? 2u : 1u, copy.GetCount(kTypes[i])) << i;
  ProcessMemoryDump pmd;
  copy.DumpInto("t", &pmd);
  EXPECT_EQ(17u, pmd.size());
}

TEST(TraceEventMemoryOverheadTest, StringsAndSelf) {
  TraceEventMemoryOverhead overhead;
  overhead.AddString(std::string());
  overhead.AddSelf();
  EXPECT_EQ(1u, overhead.GetCount(kOverheadTypeString));
  EXPECT_EQ(1u, overhead.GetCount(kOverheadTypeSelf));
}

}  // namespace
}  // namespace trace_event
}  // namespace base
