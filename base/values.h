#ifndef BASE_VALUES_H_
#define BASE_VALUES_H_

#include <stddef.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

// The in-memory form of every JSON document: a tree of typed nodes in which
// each container owns its children. Getters hand out borrowed pointers that
// stay valid while the node stays in its container; operations that take a
// node take ownership of it.

namespace base {

// The binary type code is reserved: no node of that type is ever built, so
// this class is only declared.
class BinaryValue;
class DictionaryValue;
class ListValue;
class StringValue;

// Base of all nodes; a node of this class itself is the null value.
class Value {
 public:
  // The codes are stored in every node and never change after construction.
  enum Type {
    TYPE_NULL = 0,
    TYPE_BOOLEAN = 1,
    TYPE_INTEGER = 2,
    TYPE_DOUBLE = 3,
    TYPE_STRING = 4,
    TYPE_BINARY = 5,
    TYPE_DICTIONARY = 6,
    TYPE_LIST = 7,
  };

  static std::unique_ptr<Value> CreateNullValue();

  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  virtual ~Value();

  Type GetType() const { return type_; }
  bool IsType(Type type) const { return type_ == type; }

  // Each returns whether the node is of the matching type, and writes
  // |out_value| only when it is and |out_value| is given.
  virtual bool GetAsBoolean(bool* out_value) const;
  virtual bool GetAsInteger(int* out_value) const;
  // Integers convert to double; doubles never convert to integer.
  virtual bool GetAsDouble(double* out_value) const;
  virtual bool GetAsString(const StringValue** out_value) const;
  virtual bool GetAsString(string16* out_value) const;
  virtual bool GetAsString(std::string* out_value) const;
  virtual bool GetAsBinary(const BinaryValue** out_value) const;
  virtual bool GetAsList(const ListValue** out_value) const;
  virtual bool GetAsList(ListValue** out_value);
  virtual bool GetAsDictionary(const DictionaryValue** out_value) const;
  virtual bool GetAsDictionary(DictionaryValue** out_value);

  // A new tree equal to this one, owned by the caller.
  virtual Value* DeepCopy() const;
  std::unique_ptr<Value> CreateDeepCopy() const;

  // Deep equality. Nodes of different types are never equal, so integer 1
  // differs from double 1.0.
  virtual bool Equals(const Value* other) const;

 protected:
  explicit Value(Type type);

 private:
  const Type type_;
};

// A boolean, an integer or a double.
class FundamentalValue : public Value {
 public:
  explicit FundamentalValue(bool in_value);
  explicit FundamentalValue(int in_value);
  // Infinity and NaN are stored as 0.0: no tree holds a non-finite number,
  // which JSON could not express.
  explicit FundamentalValue(double in_value);
  ~FundamentalValue() override;

  bool GetAsBoolean(bool* out_value) const override;
  bool GetAsInteger(int* out_value) const override;
  bool GetAsDouble(double* out_value) const override;
  FundamentalValue* DeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  union {
    bool boolean_value_;
    int integer_value_;
    double double_value_;
  };
};

// UTF-8 text.
class StringValue : public Value {
 public:
  explicit StringValue(const std::string& in_value);
  // Converted to UTF-8.
  explicit StringValue(const string16& in_value);
  ~StringValue() override;

  bool GetAsString(const StringValue** out_value) const override;
  bool GetAsString(string16* out_value) const override;
  bool GetAsString(std::string* out_value) const override;
  StringValue* DeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  std::string value_;
};

// A map from key to owned node, ordered by the keys' bytes taken as unsigned
// values (a shorter key first when one is the start of the other). A path is
// split at every '.' into keys of nested dictionaries; the forms ending in
// WithoutPathExpansion take their key literally, dots included.
class DictionaryValue : public Value {
 public:
  // Walks the keys in order. The dictionary must not change during the walk.
  class Iterator {
   public:
    explicit Iterator(const DictionaryValue& target);

    bool IsAtEnd() const { return it_ == target_.dictionary_.end(); }
    void Advance() { ++it_; }
    const std::string& key() const { return it_->first; }
    const Value& value() const { return *it_->second; }

   private:
    const DictionaryValue& target_;
    std::map<std::string, std::unique_ptr<Value>, std::less<>>::const_iterator
        it_;
  };

  DictionaryValue();
  ~DictionaryValue() override;

  bool GetAsDictionary(const DictionaryValue** out_value) const override;
  bool GetAsDictionary(DictionaryValue** out_value) override;
  DictionaryValue* DeepCopy() const override;
  std::unique_ptr<DictionaryValue> CreateDeepCopy() const;
  bool Equals(const Value* other) const override;

  // Removes the key after the last '.' from the dictionary that the part
  // before it names. Intermediate dictionaries stay, even when left empty.
  // The removed node goes to |out_value| when given, else it is deleted.
  virtual bool Remove(StringPiece path, std::unique_ptr<Value>* out_value);
  virtual bool RemoveWithoutPathExpansion(StringPiece key,
                                          std::unique_ptr<Value>* out_value);
  // As Remove, but also removes every intermediate dictionary that the
  // removal leaves empty.
  virtual bool RemovePath(StringPiece path, std::unique_ptr<Value>* out_value);
  // Exchanges the whole contents without copying nodes.
  virtual void Swap(DictionaryValue* other);

  size_t size() const { return dictionary_.size(); }
  bool empty() const { return dictionary_.empty(); }
  void Clear();

  // Stores |in_value|, which must not be null, creating the intermediate
  // dictionaries of the path; a node of another type standing where a
  // dictionary is needed is replaced.
  void Set(StringPiece path, std::unique_ptr<Value> in_value);
  void Set(StringPiece path, Value* in_value);
  void SetInteger(StringPiece path, int in_value);
  void SetString(StringPiece path, StringPiece in_value);
  // Replaces (and deletes) a node already stored under |key|.
  void SetWithoutPathExpansion(StringPiece key,
                               std::unique_ptr<Value> in_value);
  void SetWithoutPathExpansion(StringPiece key, Value* in_value);
  void SetBooleanWithoutPathExpansion(StringPiece key, bool in_value);
  void SetIntegerWithoutPathExpansion(StringPiece key, int in_value);
  void SetDoubleWithoutPathExpansion(StringPiece key, double in_value);
  void SetStringWithoutPathExpansion(StringPiece key, StringPiece in_value);

  // False when a key of the path is missing or an intermediate node is not a
  // dictionary. |out_value| may be null.
  bool Get(StringPiece path, const Value** out_value) const;
  bool Get(StringPiece path, Value** out_value);
  bool GetWithoutPathExpansion(StringPiece key, const Value** out_value) const;
  bool GetWithoutPathExpansion(StringPiece key, Value** out_value);

  // Get followed by the matching GetAs operation: false, with the output
  // untouched, when the path is missing or the node's type differs.
  bool GetBoolean(StringPiece path, bool* out_value) const;
  bool GetInteger(StringPiece path, int* out_value) const;
  bool GetString(StringPiece path, std::string* out_value) const;
  bool GetString16(StringPiece path, string16* out_value) const;
  // Also false when the text is not all ASCII.
  bool GetStringASCII(StringPiece path, std::string* out_value) const;
  bool GetList(StringPiece path, const ListValue** out_value) const;
  bool GetList(StringPiece path, ListValue** out_value);

 private:
  // std::less<> lets a key be looked up without copying it into a string.
  std::map<std::string, std::unique_ptr<Value>, std::less<>> dictionary_;
};

// A vector of owned nodes.
class ListValue : public Value {
 public:
  typedef std::vector<std::unique_ptr<Value>>::const_iterator const_iterator;

  ListValue();
  ~ListValue() override;

  bool GetAsList(const ListValue** out_value) const override;
  bool GetAsList(ListValue** out_value) override;
  ListValue* DeepCopy() const override;
  std::unique_ptr<ListValue> CreateDeepCopy() const;
  bool Equals(const Value* other) const override;

  // False when |index| is not below the size. The removed node goes to
  // |out_value| when given, else it is deleted; later elements move up.
  virtual bool Remove(size_t index, std::unique_ptr<Value>* out_value);
  // Exchanges the whole contents without copying nodes.
  virtual void Swap(ListValue* other);

  size_t GetSize() const { return list_.size(); }
  bool empty() const { return list_.empty(); }
  void Clear();

  // Replaces the element at |index|, or, beyond the end, pads the list with
  // null nodes up to |index| and appends. False only for a null |in_value|.
  bool Set(size_t index, std::unique_ptr<Value> in_value);
  bool Set(size_t index, Value* in_value);

  // False when |index| is not below the size. |out_value| may be null.
  bool Get(size_t index, const Value** out_value) const;
  bool Get(size_t index, Value** out_value);

  // |in_value| must not be null.
  void Append(std::unique_ptr<Value> in_value);
  void Append(Value* in_value);
  void AppendBoolean(bool in_value);
  void AppendInteger(int in_value);
  // Infinity and NaN are appended as 0.0.
  void AppendDouble(double in_value);
  void AppendString(StringPiece in_value);

  const_iterator begin() const { return list_.begin(); }
  const_iterator end() const { return list_.end(); }

 private:
  std::vector<std::unique_ptr<Value>> list_;
};

}  // namespace base

#endif  // BASE_VALUES_H_
