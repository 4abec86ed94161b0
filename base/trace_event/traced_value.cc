#include "base/trace_event/traced_value.h"

#include <stdint.h>
#include <string.h>

#include <utility>
#include <vector>

#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/values.h"

namespace base {
namespace trace_event {

namespace {

const char kTypeStartDict = '{';
const char kTypeEndDict = '}';
const char kTypeStartArray = '[';
const char kTypeEndArray = ']';
const char kTypeBool = 'b';
const char kTypeInt = 'i';
const char kTypeDouble = 'd';
const char kTypeString = 's';
const char kTypeCStr = '*';

constexpr size_t kPageSize = 4096;

size_t RoundUpToPage(size_t size) {
  return (size + kPageSize - 1) & ~(kPageSize - 1);
}

bool ReadMarker(PickleIterator* iter, char* marker) {
  const char* data;
  if (!iter->ReadBytes(&data, 1))
    return false;
  *marker = *data;
  return true;
}

bool ReadKey(PickleIterator* iter, std::string* key) {
  char kind;
  if (!ReadMarker(iter, &kind))
    return false;
  if (kind == kTypeString)
    return iter->ReadString(key);
  const char* data;
  if (kind != kTypeCStr || !iter->ReadBytes(&data, sizeof(uint64_t)))
    return false;
  uint64_t address;
  memcpy(&address, data, sizeof(address));
  *key = reinterpret_cast<const char*>(static_cast<uintptr_t>(address));
  return true;
}

std::unique_ptr<Value> ReadValue(char marker, PickleIterator* iter) {
  switch (marker) {
    case kTypeBool: {
      bool value;
      CHECK(iter->ReadBool(&value));
      return std::make_unique<FundamentalValue>(value);
    }
    case kTypeInt: {
      int value;
      CHECK(iter->ReadInt(&value));
      return std::make_unique<FundamentalValue>(value);
    }
    case kTypeDouble: {
      const char* data;
      CHECK(iter->ReadBytes(&data, sizeof(double)));
      double value;
      memcpy(&value, data, sizeof(value));
      return std::make_unique<FundamentalValue>(value);
    }
    case kTypeString: {
      std::string value;
      CHECK(iter->ReadString(&value));
      return std::make_unique<StringValue>(value);
    }
  }
  return nullptr;
}

// Puts |value| into |container|: under the key that follows in the record
// when it is a dictionary, at the end when it is a list.
void Insert(Value* container, PickleIterator* iter, Value* value) {
  DictionaryValue* dictionary;
  ListValue* list;
  if (container->GetAsDictionary(&dictionary)) {
    std::string key;
    CHECK(ReadKey(iter, &key));
    dictionary->SetWithoutPathExpansion(key, value);
  } else if (container->GetAsList(&list)) {
    list->Append(value);
  }
}

}  // namespace

void ConvertableToTraceFormat::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  overhead->Add("ConvertableToTraceFormat(Unknown)", sizeof(*this));
}

TracedValue::TracedValue() = default;

TracedValue::~TracedValue() = default;

void TracedValue::WriteMarker(char marker) {
  pickle_.WriteBytes(&marker, 1);
}

void TracedValue::WriteKey(const char* name) {
  WriteMarker(kTypeCStr);
  const uint64_t address = reinterpret_cast<uintptr_t>(name);
  pickle_.WriteBytes(&address, sizeof(address));
}

void TracedValue::SetInteger(const char* name, int value) {
  WriteMarker(kTypeInt);
  pickle_.Write4Bytes(static_cast<uint32_t>(value));
  WriteKey(name);
}

void TracedValue::SetDouble(const char* name, double value) {
  WriteMarker(kTypeDouble);
  pickle_.WriteBytes(&value, sizeof(value));
  WriteKey(name);
}

void TracedValue::SetBoolean(const char* name, bool value) {
  WriteMarker(kTypeBool);
  pickle_.WriteBool(value);
  WriteKey(name);
}

void TracedValue::SetString(const char* name, StringPiece value) {
  WriteMarker(kTypeString);
  pickle_.WriteString(value);
  WriteKey(name);
}

void TracedValue::SetStringWithCopiedName(StringPiece name, StringPiece value) {
  WriteMarker(kTypeString);
  pickle_.WriteString(value);
  WriteMarker(kTypeString);
  pickle_.WriteString(name);
}

void TracedValue::BeginDictionary(const char* name) {
  WriteMarker(kTypeStartDict);
  WriteKey(name);
}

void TracedValue::BeginArray(const char* name) {
  WriteMarker(kTypeStartArray);
  WriteKey(name);
}

void TracedValue::EndDictionary() {
  WriteMarker(kTypeEndDict);
}

void TracedValue::EndArray() {
  WriteMarker(kTypeEndArray);
}

void TracedValue::AppendString(StringPiece value) {
  WriteMarker(kTypeString);
  pickle_.WriteString(value);
}

void TracedValue::BeginDictionary() {
  WriteMarker(kTypeStartDict);
}

std::unique_ptr<DictionaryValue> TracedValue::ToBaseValue() const {
  std::unique_ptr<DictionaryValue> root(new DictionaryValue);
  std::vector<Value*> stack = {root.get()};
  PickleIterator iter(pickle_);
  char marker;
  while (ReadMarker(&iter, &marker)) {
    switch (marker) {
      case kTypeStartDict:
      case kTypeStartArray: {
        Value* container = marker == kTypeStartDict
                               ? static_cast<Value*>(new DictionaryValue)
                               : static_cast<Value*>(new ListValue);
        Insert(stack.back(), &iter, container);
        stack.push_back(container);
        break;
      }
      case kTypeEndDict:
      case kTypeEndArray:
        // The root is never closed.
        if (stack.size() > 1)
          stack.pop_back();
        break;
      default: {
        std::unique_ptr<Value> value = ReadValue(marker, &iter);
        if (value)
          Insert(stack.back(), &iter, value.release());
        break;
      }
    }
  }
  return root;
}

void TracedValue::AppendAsTraceFormat(std::string* out) const {
  std::string json;
  JSONWriter::Write(*ToBaseValue(), &json);
  out->append(json);
}

void TracedValue::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  overhead->Add("TracedValue", RoundUpToPage(pickle_.GetTotalAllocatedSize()),
                RoundUpToPage(pickle_.size()));
}

}  // namespace trace_event
}  // namespace base
