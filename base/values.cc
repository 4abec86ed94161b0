#include "base/values.h"

#include <cmath>
#include <string_view>
#include <utility>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

std::string_view AsKey(StringPiece piece) {
  return std::string_view(piece.data(), piece.size());
}

// JSON has no notation for infinity or NaN, so they never enter a tree.
double FiniteOrZero(double value) {
  return std::isfinite(value) ? value : 0.0;
}

}  // namespace

// Value --------------------------------------------------------------------

Value::Value(Type type) : type_(type) {}

Value::~Value() = default;

// static
std::unique_ptr<Value> Value::CreateNullValue() {
  return std::unique_ptr<Value>(new Value(TYPE_NULL));
}

bool Value::GetAsBoolean(bool*) const {
  return false;
}

bool Value::GetAsInteger(int*) const {
  return false;
}

bool Value::GetAsDouble(double*) const {
  return false;
}

bool Value::GetAsString(const StringValue**) const {
  return false;
}

bool Value::GetAsString(string16*) const {
  return false;
}

bool Value::GetAsString(std::string*) const {
  return false;
}

bool Value::GetAsBinary(const BinaryValue**) const {
  return false;
}

bool Value::GetAsList(const ListValue**) const {
  return false;
}

bool Value::GetAsList(ListValue**) {
  return false;
}

bool Value::GetAsDictionary(const DictionaryValue**) const {
  return false;
}

bool Value::GetAsDictionary(DictionaryValue**) {
  return false;
}

Value* Value::DeepCopy() const {
  // Every other type overrides this, so this node is the null value.
  return CreateNullValue().release();
}

std::unique_ptr<Value> Value::CreateDeepCopy() const {
  return std::unique_ptr<Value>(DeepCopy());
}

bool Value::Equals(const Value* other) const {
  return other && other->IsType(TYPE_NULL);
}

// FundamentalValue -----------------------------------------------------------

FundamentalValue::FundamentalValue(bool in_value)
    : Value(TYPE_BOOLEAN), boolean_value_(in_value) {}

FundamentalValue::FundamentalValue(int in_value)
    : Value(TYPE_INTEGER), integer_value_(in_value) {}

FundamentalValue::FundamentalValue(double in_value)
    : Value(TYPE_DOUBLE), double_value_(FiniteOrZero(in_value)) {}

FundamentalValue::~FundamentalValue() = default;

bool FundamentalValue::GetAsBoolean(bool* out_value) const {
  if (!IsType(TYPE_BOOLEAN))
    return false;
  if (out_value)
    *out_value = boolean_value_;
  return true;
}

bool FundamentalValue::GetAsInteger(int* out_value) const {
  if (!IsType(TYPE_INTEGER))
    return false;
  if (out_value)
    *out_value = integer_value_;
  return true;
}

bool FundamentalValue::GetAsDouble(double* out_value) const {
  if (IsType(TYPE_DOUBLE)) {
    if (out_value)
      *out_value = double_value_;
    return true;
  }
  if (IsType(TYPE_INTEGER)) {
    if (out_value)
      *out_value = static_cast<double>(integer_value_);
    return true;
  }
  return false;
}

FundamentalValue* FundamentalValue::DeepCopy() const {
  switch (GetType()) {
    case TYPE_BOOLEAN:
      return new FundamentalValue(boolean_value_);
    case TYPE_INTEGER:
      return new FundamentalValue(integer_value_);
    default:
      return new FundamentalValue(double_value_);
  }
}

bool FundamentalValue::Equals(const Value* other) const {
  if (!other || other->GetType() != GetType())
    return false;
  switch (GetType()) {
    case TYPE_BOOLEAN: {
      bool other_value = false;
      return other->GetAsBoolean(&other_value) && other_value == boolean_value_;
    }
    case TYPE_INTEGER: {
      int other_value = 0;
      return other->GetAsInteger(&other_value) && other_value == integer_value_;
    }
    default: {
      double other_value = 0.0;
      return other->GetAsDouble(&other_value) && other_value == double_value_;
    }
  }
}

// StringValue ----------------------------------------------------------------

StringValue::StringValue(const std::string& in_value)
    : Value(TYPE_STRING), value_(in_value) {}

StringValue::StringValue(const string16& in_value)
    : Value(TYPE_STRING), value_(UTF16ToUTF8(in_value)) {}

StringValue::~StringValue() = default;

bool StringValue::GetAsString(const StringValue** out_value) const {
  if (out_value)
    *out_value = this;
  return true;
}

bool StringValue::GetAsString(string16* out_value) const {
  if (out_value)
    *out_value = UTF8ToUTF16(value_);
  return true;
}

bool StringValue::GetAsString(std::string* out_value) const {
  if (out_value)
    *out_value = value_;
  return true;
}

StringValue* StringValue::DeepCopy() const {
  return new StringValue(value_);
}

bool StringValue::Equals(const Value* other) const {
  if (!other || !other->IsType(TYPE_STRING))
    return false;
  // Read through the virtual getter: other string nodes may keep their
  // text elsewhere.
  std::string other_value;
  return other->GetAsString(&other_value) && other_value == value_;
}

// DictionaryValue ------------------------------------------------------------

DictionaryValue::Iterator::Iterator(const DictionaryValue& target)
    : target_(target), it_(target.dictionary_.begin()) {}

DictionaryValue::DictionaryValue() : Value(TYPE_DICTIONARY) {}

DictionaryValue::~DictionaryValue() = default;

bool DictionaryValue::GetAsDictionary(const DictionaryValue** out_value) const {
  if (out_value)
    *out_value = this;
  return true;
}

bool DictionaryValue::GetAsDictionary(DictionaryValue** out_value) {
  if (out_value)
    *out_value = this;
  return true;
}

DictionaryValue* DictionaryValue::DeepCopy() const {
  DictionaryValue* result = new DictionaryValue;
  for (const auto& entry : dictionary_)
    result->SetWithoutPathExpansion(entry.first, entry.second->DeepCopy());
  return result;
}

std::unique_ptr<DictionaryValue> DictionaryValue::CreateDeepCopy() const {
  return std::unique_ptr<DictionaryValue>(DeepCopy());
}

bool DictionaryValue::Equals(const Value* other) const {
  const DictionaryValue* other_dictionary = nullptr;
  if (!other || !other->IsType(TYPE_DICTIONARY) ||
      !other->GetAsDictionary(&other_dictionary)) {
    return false;
  }
  Iterator mine(*this);
  Iterator theirs(*other_dictionary);
  for (; !mine.IsAtEnd() && !theirs.IsAtEnd();
       mine.Advance(), theirs.Advance()) {
    if (mine.key() != theirs.key() || !mine.value().Equals(&theirs.value()))
      return false;
  }
  return mine.IsAtEnd() && theirs.IsAtEnd();
}

bool DictionaryValue::Remove(StringPiece path,
                             std::unique_ptr<Value>* out_value) {
  const size_t last_dot = path.rfind('.');
  if (last_dot == StringPiece::npos)
    return RemoveWithoutPathExpansion(path, out_value);
  Value* parent = nullptr;
  DictionaryValue* parent_dictionary = nullptr;
  if (!Get(path.substr(0, last_dot), &parent) ||
      !parent->GetAsDictionary(&parent_dictionary)) {
    return false;
  }
  return parent_dictionary->RemoveWithoutPathExpansion(
      path.substr(last_dot + 1), out_value);
}

bool DictionaryValue::RemoveWithoutPathExpansion(
    StringPiece key,
    std::unique_ptr<Value>* out_value) {
  auto it = dictionary_.find(AsKey(key));
  if (it == dictionary_.end())
    return false;
  std::unique_ptr<Value> removed = std::move(it->second);
  dictionary_.erase(it);
  if (out_value)
    *out_value = std::move(removed);
  return true;
}

bool DictionaryValue::RemovePath(StringPiece path,
                                 std::unique_ptr<Value>* out_value) {
  const size_t first_dot = path.find('.');
  if (first_dot == StringPiece::npos)
    return RemoveWithoutPathExpansion(path, out_value);
  const StringPiece key = path.substr(0, first_dot);
  Value* child = nullptr;
  DictionaryValue* child_dictionary = nullptr;
  if (!GetWithoutPathExpansion(key, &child) ||
      !child->GetAsDictionary(&child_dictionary)) {
    return false;
  }
  if (!child_dictionary->RemovePath(path.substr(first_dot + 1), out_value))
    return false;
  if (child_dictionary->empty())
    RemoveWithoutPathExpansion(key, nullptr);
  return true;
}

void DictionaryValue::Swap(DictionaryValue* other) {
  dictionary_.swap(other->dictionary_);
}

void DictionaryValue::Clear() {
  dictionary_.clear();
}

void DictionaryValue::Set(StringPiece path, std::unique_ptr<Value> in_value) {
  CHECK(in_value);
  DictionaryValue* current = this;
  for (size_t dot = path.find('.'); dot != StringPiece::npos;
       dot = path.find('.')) {
    const StringPiece key = path.substr(0, dot);
    Value* existing = nullptr;
    DictionaryValue* child = nullptr;
    if (!current->GetWithoutPathExpansion(key, &existing) ||
        !existing->GetAsDictionary(&child)) {
      auto new_child = std::make_unique<DictionaryValue>();
      child = new_child.get();
      current->SetWithoutPathExpansion(key, std::move(new_child));
    }
    current = child;
    path = path.substr(dot + 1);
  }
  current->SetWithoutPathExpansion(path, std::move(in_value));
}

void DictionaryValue::Set(StringPiece path, Value* in_value) {
  Set(path, std::unique_ptr<Value>(in_value));
}

void DictionaryValue::SetInteger(StringPiece path, int in_value) {
  Set(path, std::make_unique<FundamentalValue>(in_value));
}

void DictionaryValue::SetString(StringPiece path, StringPiece in_value) {
  Set(path, std::make_unique<StringValue>(in_value.as_string()));
}

void DictionaryValue::SetWithoutPathExpansion(StringPiece key,
                                              std::unique_ptr<Value> in_value) {
  CHECK(in_value);
  auto it = dictionary_.lower_bound(AsKey(key));
  if (it == dictionary_.end() || it->first != AsKey(key)) {
    dictionary_.emplace_hint(it, key.as_string(), std::move(in_value));
    return;
  }
  // Storing the node that is already there must not delete it.
  if (it->second == in_value) {
    in_value.release();
    return;
  }
  it->second = std::move(in_value);
}

void DictionaryValue::SetWithoutPathExpansion(StringPiece key,
                                              Value* in_value) {
  SetWithoutPathExpansion(key, std::unique_ptr<Value>(in_value));
}

void DictionaryValue::SetBooleanWithoutPathExpansion(StringPiece key,
                                                     bool in_value) {
  SetWithoutPathExpansion(key, std::make_unique<FundamentalValue>(in_value));
}

void DictionaryValue::SetIntegerWithoutPathExpansion(StringPiece key,
                                                     int in_value) {
  SetWithoutPathExpansion(key, std::make_unique<FundamentalValue>(in_value));
}

void DictionaryValue::SetDoubleWithoutPathExpansion(StringPiece key,
                                                    double in_value) {
  SetWithoutPathExpansion(key, std::make_unique<FundamentalValue>(in_value));
}

void DictionaryValue::SetStringWithoutPathExpansion(StringPiece key,
                                                    StringPiece in_value) {
  SetWithoutPathExpansion(key,
                          std::make_unique<StringValue>(in_value.as_string()));
}

bool DictionaryValue::Get(StringPiece path, const Value** out_value) const {
  const DictionaryValue* current = this;
  for (size_t dot = path.find('.'); dot != StringPiece::npos;
       dot = path.find('.')) {
    const Value* child = nullptr;
    if (!current->GetWithoutPathExpansion(path.substr(0, dot), &child) ||
        !child->GetAsDictionary(&current)) {
      return false;
    }
    path = path.substr(dot + 1);
  }
  return current->GetWithoutPathExpansion(path, out_value);
}

bool DictionaryValue::Get(StringPiece path, Value** out_value) {
  const Value* found = nullptr;
  if (!static_cast<const DictionaryValue*>(this)->Get(path, &found))
    return false;
  if (out_value)
    *out_value = const_cast<Value*>(found);
  return true;
}

bool DictionaryValue::GetWithoutPathExpansion(StringPiece key,
                                              const Value** out_value) const {
  auto it = dictionary_.find(AsKey(key));
  if (it == dictionary_.end())
    return false;
  if (out_value)
    *out_value = it->second.get();
  return true;
}

bool DictionaryValue::GetWithoutPathExpansion(StringPiece key,
                                              Value** out_value) {
  const Value* found = nullptr;
  if (!static_cast<const DictionaryValue*>(this)->GetWithoutPathExpansion(
          key, &found)) {
    return false;
  }
  if (out_value)
    *out_value = const_cast<Value*>(found);
  return true;
}

bool DictionaryValue::GetBoolean(StringPiece path, bool* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsBoolean(out_value);
}

bool DictionaryValue::GetInteger(StringPiece path, int* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsInteger(out_value);
}

bool DictionaryValue::GetString(StringPiece path,
                                std::string* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetString16(StringPiece path, string16* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetStringASCII(StringPiece path,
                                     std::string* out_value) const {
  std::string text;
  if (!GetString(path, &text) || !IsStringASCII(text))
    return false;
  if (out_value)
    out_value->swap(text);
  return true;
}

bool DictionaryValue::GetList(StringPiece path,
                              const ListValue** out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->IsType(TYPE_LIST) &&
         value->GetAsList(out_value);
}

bool DictionaryValue::GetList(StringPiece path, ListValue** out_value) {
  Value* value = nullptr;
  return Get(path, &value) && value->IsType(TYPE_LIST) &&
         value->GetAsList(out_value);
}

// ListValue ------------------------------------------------------------------

ListValue::ListValue() : Value(TYPE_LIST) {}

ListValue::~ListValue() = default;

bool ListValue::GetAsList(const ListValue** out_value) const {
  if (out_value)
    *out_value = this;
  return true;
}

bool ListValue::GetAsList(ListValue** out_value) {
  if (out_value)
    *out_value = this;
  return true;
}

ListValue* ListValue::DeepCopy() const {
  ListValue* result = new ListValue;
  result->list_.reserve(list_.size());
  for (const auto& element : list_)
    result->Append(element->DeepCopy());
  return result;
}

std::unique_ptr<ListValue> ListValue::CreateDeepCopy() const {
  return std::unique_ptr<ListValue>(DeepCopy());
}

bool ListValue::Equals(const Value* other) const {
  const ListValue* other_list = nullptr;
  if (!other || !other->IsType(TYPE_LIST) || !other->GetAsList(&other_list) ||
      other_list->GetSize() != GetSize()) {
    return false;
  }
  for (size_t i = 0; i < list_.size(); ++i) {
    if (!list_[i]->Equals(other_list->list_[i].get()))
      return false;
  }
  return true;
}

bool ListValue::Remove(size_t index, std::unique_ptr<Value>* out_value) {
  if (index >= list_.size())
    return false;
  std::unique_ptr<Value> removed = std::move(list_[index]);
  list_.erase(list_.begin() + index);
  if (out_value)
    *out_value = std::move(removed);
  return true;
}

void ListValue::Swap(ListValue* other) {
  list_.swap(other->list_);
}

void ListValue::Clear() {
  list_.clear();
}

bool ListValue::Set(size_t index, std::unique_ptr<Value> in_value) {
  if (!in_value)
    return false;
  if (index < list_.size()) {
    // Storing the node that is already there must not delete it.
    if (list_[index] == in_value)
      in_value.release();
    else
      list_[index] = std::move(in_value);
    return true;
  }
  list_.reserve(index + 1);
  while (list_.size() < index)
    list_.push_back(CreateNullValue());
  list_.push_back(std::move(in_value));
  return true;
}

bool ListValue::Set(size_t index, Value* in_value) {
  return Set(index, std::unique_ptr<Value>(in_value));
}

bool ListValue::Get(size_t index, const Value** out_value) const {
  if (index >= list_.size())
    return false;
  if (out_value)
    *out_value = list_[index].get();
  return true;
}

bool ListValue::Get(size_t index, Value** out_value) {
  if (index >= list_.size())
    return false;
  if (out_value)
    *out_value = list_[index].get();
  return true;
}

void ListValue::Append(std::unique_ptr<Value> in_value) {
  CHECK(in_value);
  list_.push_back(std::move(in_value));
}

void ListValue::Append(Value* in_value) {
  Append(std::unique_ptr<Value>(in_value));
}

void ListValue::AppendBoolean(bool in_value) {
  Append(std::make_unique<FundamentalValue>(in_value));
}

void ListValue::AppendInteger(int in_value) {
  Append(std::make_unique<FundamentalValue>(in_value));
}

void ListValue::AppendDouble(double in_value) {
  Append(std::make_unique<FundamentalValue>(in_value));
}

void ListValue::AppendString(StringPiece in_value) {
  Append(std::make_unique<StringValue>(in_value.as_string()));
}

}  // namespace base
