#include "base/values.h"

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

std::vector<std::string> KeysOf(const DictionaryValue& dictionary) {
  std::vector<std::string> keys;
  for (DictionaryValue::Iterator it(dictionary); !it.IsAtEnd(); it.Advance())
    keys.push_back(it.key());
  return keys;
}

// Counts its own destructions, so that tests can see which nodes a
// container deleted.
class CountedValue : public Value {
 public:
  explicit CountedValue(int* deletions)
      : Value(TYPE_NULL), deletions_(deletions) {}
  ~CountedValue() override { ++*deletions_; }

 private:
  int* deletions_;
};

// A dictionary that records every removal reaching its slot, as the JSON
// reader's root does.
class RecordingDictionary : public DictionaryValue {
 public:
  bool RemoveWithoutPathExpansion(StringPiece key,
                                  std::unique_ptr<Value>* out_value) override {
    removed_keys.push_back(key.as_string());
    return DictionaryValue::RemoveWithoutPathExpansion(key, out_value);
  }
  std::vector<std::string> removed_keys;
};

TEST(ValuesTest, TypedGettersMatchOnlyTheirOwnType) {
  FundamentalValue boolean(true);
  FundamentalValue integer(7);
  FundamentalValue real(7.0);
  StringValue text(std::string("x"));
  std::unique_ptr<Value> null = Value::CreateNullValue();

  bool b = false;
  int i = -1;
  double d = -1.0;
  std::string s = "untouched";
  EXPECT_TRUE(boolean.GetAsBoolean(&b));
  EXPECT_TRUE(b);
  EXPECT_FALSE(integer.GetAsBoolean(&b));
  EXPECT_FALSE(boolean.GetAsInteger(&i));
  EXPECT_EQ(-1, i);

  // An integer widens to double; a double never narrows to integer.
  EXPECT_TRUE(integer.GetAsDouble(&d));
  EXPECT_EQ(7.0, d);
  i = -1;
  EXPECT_FALSE(real.GetAsInteger(&i));
  EXPECT_EQ(-1, i);
  EXPECT_FALSE(boolean.GetAsDouble(&d));

  EXPECT_FALSE(integer.GetAsString(&s));
  EXPECT_EQ("untouched", s);
  EXPECT_FALSE(null->GetAsBoolean(&b));
  EXPECT_FALSE(null->GetAsString(&s));
  EXPECT_FALSE(text.GetAsList(static_cast<const ListValue**>(nullptr)));
  EXPECT_FALSE(text.GetAsBinary(nullptr));

  // Without an out-parameter the answer is still whether the type matches.
  EXPECT_TRUE(integer.GetAsInteger(nullptr));
  EXPECT_FALSE(real.GetAsInteger(nullptr));
  EXPECT_TRUE(text.GetAsString(static_cast<std::string*>(nullptr)));

  const StringValue* node = nullptr;
  EXPECT_TRUE(text.GetAsString(&node));
  EXPECT_EQ(&text, node);

  EXPECT_EQ(Value::TYPE_NULL, null->GetType());
  EXPECT_EQ(Value::TYPE_BOOLEAN, boolean.GetType());
  EXPECT_EQ(Value::TYPE_INTEGER, integer.GetType());
  EXPECT_EQ(Value::TYPE_DOUBLE, real.GetType());
  EXPECT_EQ(Value::TYPE_STRING, text.GetType());
  EXPECT_EQ(6, DictionaryValue().GetType());
  EXPECT_EQ(7, ListValue().GetType());
}

TEST(ValuesTest, NonFiniteDoublesBecomeZero) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  double d = -1.0;
  EXPECT_TRUE(FundamentalValue(nan).GetAsDouble(&d));
  EXPECT_EQ(0.0, d);
  EXPECT_TRUE(FundamentalValue(-inf).GetAsDouble(&d));
  EXPECT_EQ(0.0, d);

  ListValue list;
  list.AppendDouble(inf);
  list.AppendDouble(-2.5);
  const Value* element = nullptr;
  ASSERT_TRUE(list.Get(0, &element));
  EXPECT_TRUE(element->GetAsDouble(&d));
  EXPECT_EQ(0.0, d);
  ASSERT_TRUE(list.Get(1, &element));
  EXPECT_TRUE(element->GetAsDouble(&d));
  EXPECT_EQ(-2.5, d);

  DictionaryValue dictionary;
  dictionary.SetDoubleWithoutPathExpansion("x", nan);
  ASSERT_TRUE(dictionary.Get("x", &element));
  EXPECT_TRUE(element->GetAsDouble(&d));
  EXPECT_EQ(0.0, d);
  // A NaN would not equal itself; the stored zero does.
  EXPECT_TRUE(FundamentalValue(nan).Equals(element));
}

TEST(ValuesTest, StringsConvertBetweenUtf8AndUtf16) {
  // U+00E9 and U+1F600 (a surrogate pair in UTF-16).
  const std::string utf8 = "caf\xC3\xA9 \xF0\x9F\x98\x80";
  const string16 utf16 = L"caf\u00E9 \U0001F600";

  StringValue from_wide(utf16);
  std::string narrow;
  EXPECT_TRUE(from_wide.GetAsString(&narrow));
  EXPECT_EQ(utf8, narrow);

  StringValue from_narrow(utf8);
  string16 wide;
  EXPECT_TRUE(from_narrow.GetAsString(&wide));
  EXPECT_EQ(utf16, wide);
  EXPECT_TRUE(from_narrow.Equals(&from_wide));

  // Bytes are kept exactly, embedded zeros included.
  const std::string with_zero("a\0b", 3);
  StringValue zero(with_zero);
  EXPECT_TRUE(zero.GetAsString(&narrow));
  EXPECT_EQ(with_zero, narrow);
  EXPECT_FALSE(
      zero.Equals(std::make_unique<StringValue>(std::string("a")).get()));
}

TEST(ValuesTest, PathsDescendAtEveryDot) {
  DictionaryValue root;
  root.SetInteger("a.b.c", 1);
  root.SetString("a.b.d", "text");
  root.SetInteger("a.e", 2);

  int i = 0;
  EXPECT_TRUE(root.GetInteger("a.b.c", &i));
  EXPECT_EQ(1, i);
  EXPECT_TRUE(root.GetInteger("a.e", &i));
  EXPECT_EQ(2, i);
  std::string s;
  EXPECT_TRUE(root.GetString("a.b.d", &s));
  EXPECT_EQ("text", s);
  EXPECT_EQ(std::vector<std::string>{"a"}, KeysOf(root));

  const Value* b = nullptr;
  ASSERT_TRUE(root.Get("a.b", &b));
  const DictionaryValue* b_dictionary = nullptr;
  ASSERT_TRUE(b->GetAsDictionary(&b_dictionary));
  EXPECT_EQ((std::vector<std::string>{"c", "d"}), KeysOf(*b_dictionary));

  // Missing keys at any depth, and a path that runs past a leaf.
  EXPECT_FALSE(root.Get("x", nullptr));
  EXPECT_FALSE(root.Get("a.x.c", nullptr));
  EXPECT_FALSE(root.Get("a.b.c.d", nullptr));
  EXPECT_FALSE(root.Get("a.b.", nullptr));
  EXPECT_TRUE(root.Get("a", nullptr));

  // Literal keys keep their dots and do not clash with paths.
  root.SetIntegerWithoutPathExpansion("a.b", 5);
  EXPECT_TRUE(root.GetWithoutPathExpansion("a.b", &b));
  EXPECT_TRUE(b->GetAsInteger(&i));
  EXPECT_EQ(5, i);
  EXPECT_FALSE(root.GetWithoutPathExpansion("a.b.c", nullptr));
  EXPECT_TRUE(root.GetInteger("a.b.c", &i));
  EXPECT_EQ(1, i);
  EXPECT_EQ((std::vector<std::string>{"a", "a.b"}), KeysOf(root));

  // Empty parts are ordinary empty keys.
  DictionaryValue empties;
  empties.SetInteger(".x..y", 3);
  EXPECT_EQ(std::vector<std::string>{""}, KeysOf(empties));
  EXPECT_TRUE(empties.GetInteger(".x..y", &i));
  EXPECT_EQ(3, i);
  const Value* x = nullptr;
  ASSERT_TRUE(empties.Get(".x", &x));
  const DictionaryValue* x_dictionary = nullptr;
  ASSERT_TRUE(x->GetAsDictionary(&x_dictionary));
  EXPECT_TRUE(x_dictionary->Get(".y", nullptr));
  EXPECT_FALSE(empties.Get("x..y", nullptr));
}

TEST(ValuesTest, PathsDoNotDescendThroughOtherTypes) {
  DictionaryValue root;
  auto list = std::make_unique<ListValue>();
  list->AppendInteger(1);
  root.Set("a", std::move(list));
  // A list is not descended into.
  EXPECT_FALSE(root.Get("a.b", nullptr));
  EXPECT_FALSE(root.Get("a.0", nullptr));

  // A store through a non-dictionary replaces it with a dictionary.
  root.SetString("x", "x");
  root.SetInteger("x.b", 1);
  const Value* x = nullptr;
  ASSERT_TRUE(root.Get("x", &x));
  EXPECT_EQ(Value::TYPE_DICTIONARY, x->GetType());
  int i = 0;
  EXPECT_TRUE(root.GetInteger("x.b", &i));
  EXPECT_EQ(1, i);

  // Existing dictionaries on the way are kept, with their other keys.
  root.SetInteger("x.c", 2);
  EXPECT_TRUE(root.GetInteger("x.b", &i));
  EXPECT_EQ(1, i);

  // The replaced node is deleted.
  int deletions = 0;
  root.Set("counted", new CountedValue(&deletions));
  root.SetInteger("counted.inner", 1);
  EXPECT_EQ(1, deletions);
}

TEST(ValuesTest, TypedDictionaryGettersLeaveOutputOnMismatch) {
  DictionaryValue root;
  root.SetInteger("int", 4);
  root.SetDoubleWithoutPathExpansion("double", 4.0);
  root.SetBooleanWithoutPathExpansion("bool", true);
  root.SetString("ascii", "plain");
  root.SetString("utf8", "\xC3\xA9");
  root.Set("list", new ListValue);
  root.Set("dict.inner", new ListValue);

  int i = -1;
  EXPECT_FALSE(root.GetInteger("double", &i));
  EXPECT_FALSE(root.GetInteger("bool", &i));
  EXPECT_FALSE(root.GetInteger("missing", &i));
  EXPECT_EQ(-1, i);

  bool b = false;
  EXPECT_FALSE(root.GetBoolean("int", &b));
  EXPECT_TRUE(root.GetBoolean("bool", &b));
  EXPECT_TRUE(b);

  std::string s = "untouched";
  EXPECT_FALSE(root.GetString("int", &s));
  EXPECT_FALSE(root.GetStringASCII("utf8", &s));
  EXPECT_EQ("untouched", s);
  EXPECT_TRUE(root.GetStringASCII("ascii", &s));
  EXPECT_EQ("plain", s);
  EXPECT_TRUE(root.GetString("utf8", &s));
  EXPECT_EQ("\xC3\xA9", s);

  string16 wide = L"untouched";
  EXPECT_FALSE(root.GetString16("list", &wide));
  EXPECT_EQ(L"untouched", wide);
  EXPECT_TRUE(root.GetString16("utf8", &wide));
  EXPECT_EQ(L"\u00E9", wide);

  const ListValue* list = nullptr;
  EXPECT_FALSE(root.GetList("dict", &list));
  EXPECT_FALSE(root.GetList("ascii", &list));
  EXPECT_EQ(nullptr, list);
  EXPECT_TRUE(root.GetList("dict.inner", &list));
  ASSERT_NE(nullptr, list);
  ListValue* mutable_list = nullptr;
  ASSERT_TRUE(root.GetList("list", &mutable_list));
  mutable_list->AppendInteger(9);
  ASSERT_TRUE(root.GetList("list", &list));
  EXPECT_EQ(1u, list->GetSize());
}

TEST(ValuesTest, KeysIterateInByteOrder) {
  DictionaryValue dictionary;
  for (const char* key : {"ab", "B", "a", "", "\xC3\xA9", "a\x7F", "A"})
    dictionary.SetIntegerWithoutPathExpansion(key, 0);
  // Bytes compare as unsigned values, so 0xC3 sorts after every ASCII byte.
  EXPECT_EQ(
      (std::vector<std::string>{"", "A", "B", "a", "ab", "a\x7F", "\xC3\xA9"}),
      KeysOf(dictionary));

  // A key is stored once; setting it again replaces and deletes the node.
  int deletions = 0;
  dictionary.SetWithoutPathExpansion("ab", new CountedValue(&deletions));
  dictionary.SetIntegerWithoutPathExpansion("ab", 3);
  EXPECT_EQ(1, deletions);
  EXPECT_EQ(7u, dictionary.size());
  int i = 0;
  EXPECT_TRUE(dictionary.GetInteger("ab", &i));
  EXPECT_EQ(3, i);

  // Storing the node that is already there keeps it alive.
  Value* existing = nullptr;
  ASSERT_TRUE(dictionary.GetWithoutPathExpansion("ab", &existing));
  dictionary.SetWithoutPathExpansion("ab", existing);
  EXPECT_TRUE(dictionary.GetInteger("ab", &i));
  EXPECT_EQ(3, i);
}

TEST(ValuesTest, RemoveKeepsParentsRemovePathPrunesThem) {
  DictionaryValue by_remove;
  by_remove.SetInteger("a.b", 1);
  std::unique_ptr<Value> removed;
  EXPECT_TRUE(by_remove.Remove("a.b", &removed));
  int i = 0;
  ASSERT_TRUE(removed);
  EXPECT_TRUE(removed->GetAsInteger(&i));
  EXPECT_EQ(1, i);
  const Value* a = nullptr;
  ASSERT_TRUE(by_remove.Get("a", &a));
  const DictionaryValue* a_dictionary = nullptr;
  ASSERT_TRUE(a->GetAsDictionary(&a_dictionary));
  EXPECT_TRUE(a_dictionary->empty());
  EXPECT_FALSE(by_remove.Remove("a.b", &removed));
  EXPECT_TRUE(removed);  // untouched by the failed call

  DictionaryValue by_path;
  by_path.SetInteger("a.b.c", 1);
  by_path.SetInteger("a.d", 2);
  EXPECT_TRUE(by_path.RemovePath("a.b.c", nullptr));
  // a.b became empty and went; a still holds d.
  EXPECT_FALSE(by_path.Get("a.b", nullptr));
  EXPECT_TRUE(by_path.GetInteger("a.d", &i));
  EXPECT_TRUE(by_path.RemovePath("a.d", nullptr));
  EXPECT_TRUE(by_path.empty());

  DictionaryValue single;
  single.SetInteger("a.b", 1);
  EXPECT_TRUE(single.RemovePath("a.b", nullptr));
  EXPECT_TRUE(single.empty());

  // Failures leave the tree as it was.
  DictionaryValue tree;
  tree.SetInteger("a.b", 1);
  tree.SetString("s", "x");
  EXPECT_FALSE(tree.RemovePath("a.c", nullptr));
  EXPECT_FALSE(tree.RemovePath("s.x", nullptr));
  EXPECT_FALSE(tree.Remove("s.x", nullptr));
  EXPECT_FALSE(tree.Remove("q.b", nullptr));
  EXPECT_FALSE(tree.RemoveWithoutPathExpansion("a.b", nullptr));
  EXPECT_TRUE(tree.GetInteger("a.b", &i));
  EXPECT_EQ(2u, tree.size());

  // Remove splits at the last dot: a literal "b.c" key under a.
  DictionaryValue dotted;
  dotted.SetInteger("a.x", 0);
  Value* inner = nullptr;
  ASSERT_TRUE(dotted.Get("a", &inner));
  DictionaryValue* inner_dictionary = nullptr;
  ASSERT_TRUE(inner->GetAsDictionary(&inner_dictionary));
  inner_dictionary->SetIntegerWithoutPathExpansion("b.c", 1);
  EXPECT_FALSE(dotted.Remove("a.b.c", nullptr));
  // RemovePath splits at the first dot, so neither finds the literal key;
  // only the literal form does.
  EXPECT_FALSE(dotted.RemovePath("a.b.c", nullptr));
  EXPECT_TRUE(inner_dictionary->RemoveWithoutPathExpansion("b.c", nullptr));

  // A removed node that is not handed out is deleted, exactly once.
  int deletions = 0;
  DictionaryValue owner;
  owner.Set("k", new CountedValue(&deletions));
  EXPECT_TRUE(owner.Remove("k", nullptr));
  EXPECT_EQ(1, deletions);
  owner.Set("k", new CountedValue(&deletions));
  std::unique_ptr<Value> kept;
  EXPECT_TRUE(owner.RemoveWithoutPathExpansion("k", &kept));
  EXPECT_EQ(1, deletions);
  // Handing out into a pointer that holds a node deletes that node.
  owner.Set("k", new CountedValue(&deletions));
  EXPECT_TRUE(owner.RemoveWithoutPathExpansion("k", &kept));
  EXPECT_EQ(2, deletions);
  kept.reset();
  EXPECT_EQ(3, deletions);
}

TEST(ValuesTest, RemovalsGoThroughTheOverridableSlot) {
  RecordingDictionary root;
  root.SetInteger("a", 1);
  root.SetInteger("b.c", 2);
  EXPECT_TRUE(root.Remove("a", nullptr));
  // RemovePath removes c from the nested dictionary (not a recording one),
  // then the emptied b through this dictionary's slot.
  EXPECT_TRUE(root.RemovePath("b.c", nullptr));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), root.removed_keys);
  EXPECT_TRUE(root.empty());

  // Remove reaches the slot of the nested dictionary that holds the key.
  auto nested = std::make_unique<RecordingDictionary>();
  RecordingDictionary* nested_view = nested.get();
  nested->SetInteger("k", 1);
  root.Set("n", std::move(nested));
  EXPECT_TRUE(root.Remove("n.k", nullptr));
  EXPECT_EQ(std::vector<std::string>{"k"}, nested_view->removed_keys);
}

TEST(ValuesTest, ListSetPadsWithNullsAndRemoveClosesTheGap) {
  ListValue list;
  EXPECT_FALSE(list.Set(0, static_cast<Value*>(nullptr)));
  EXPECT_TRUE(list.empty());

  ASSERT_TRUE(list.Set(3, new FundamentalValue(4)));
  ASSERT_EQ(4u, list.GetSize());
  for (size_t i = 0; i < 3; ++i) {
    const Value* element = nullptr;
    ASSERT_TRUE(list.Get(i, &element));
    EXPECT_EQ(Value::TYPE_NULL, element->GetType());
  }
  const Value* element = nullptr;
  ASSERT_TRUE(list.Get(3, &element));
  int i = 0;
  EXPECT_TRUE(element->GetAsInteger(&i));
  EXPECT_EQ(4, i);
  EXPECT_FALSE(list.Get(4, &element));

  // Setting within the list replaces and deletes the old element.
  int deletions = 0;
  ASSERT_TRUE(list.Set(1, new CountedValue(&deletions)));
  ASSERT_TRUE(list.Set(1, new FundamentalValue(true)));
  EXPECT_EQ(1, deletions);
  EXPECT_EQ(4u, list.GetSize());

  std::unique_ptr<Value> removed;
  EXPECT_FALSE(list.Remove(4, &removed));
  EXPECT_FALSE(removed);
  EXPECT_TRUE(list.Remove(1, &removed));
  ASSERT_TRUE(removed);
  EXPECT_TRUE(removed->GetAsBoolean(nullptr));
  ASSERT_EQ(3u, list.GetSize());
  ASSERT_TRUE(list.Get(2, &element));
  EXPECT_TRUE(element->GetAsInteger(&i));
  EXPECT_EQ(4, i);

  list.Append(new CountedValue(&deletions));
  EXPECT_TRUE(list.Remove(3, nullptr));
  EXPECT_EQ(2, deletions);
  list.Append(new CountedValue(&deletions));
  list.Clear();
  EXPECT_EQ(3, deletions);
  EXPECT_TRUE(list.empty());
}

TEST(ValuesTest, ListIteratesInOrder) {
  ListValue list;
  list.AppendBoolean(false);
  list.AppendInteger(2);
  list.AppendDouble(3.5);
  list.AppendString("four");
  list.Append(Value::CreateNullValue());
  std::vector<Value::Type> types;
  for (const auto& element : list)
    types.push_back(element->GetType());
  EXPECT_EQ((std::vector<Value::Type>{Value::TYPE_BOOLEAN, Value::TYPE_INTEGER,
                                      Value::TYPE_DOUBLE, Value::TYPE_STRING,
                                      Value::TYPE_NULL}),
            types);
}

TEST(ValuesTest, DeepCopyIsIndependentAndEqual) {
  DictionaryValue original;
  original.SetInteger("a.b", 1);
  original.SetString("a.s", "text");
  original.SetBooleanWithoutPathExpansion("flag", false);
  original.SetDoubleWithoutPathExpansion("pi", 3.25);
  original.Set("null", Value::CreateNullValue());
  auto list = std::make_unique<ListValue>();
  list->AppendInteger(1);
  auto nested = std::make_unique<DictionaryValue>();
  nested->SetString("k", "v");
  list->Append(std::move(nested));
  original.Set("list", std::move(list));

  std::unique_ptr<DictionaryValue> copy = original.CreateDeepCopy();
  EXPECT_TRUE(original.Equals(copy.get()));
  EXPECT_TRUE(copy->Equals(&original));

  // No node is shared: changes on either side do not reach the other.
  copy->SetInteger("a.b", 2);
  EXPECT_FALSE(original.Equals(copy.get()));
  int i = 0;
  EXPECT_TRUE(original.GetInteger("a.b", &i));
  EXPECT_EQ(1, i);
  copy->SetInteger("a.b", 1);
  EXPECT_TRUE(original.Equals(copy.get()));

  ListValue* copied_list = nullptr;
  ASSERT_TRUE(copy->GetList("list", &copied_list));
  Value* copied_nested = nullptr;
  ASSERT_TRUE(copied_list->Get(1, &copied_nested));
  DictionaryValue* copied_nested_dictionary = nullptr;
  ASSERT_TRUE(copied_nested->GetAsDictionary(&copied_nested_dictionary));
  copied_nested_dictionary->SetString("k", "changed");
  std::string s;
  const ListValue* original_list = nullptr;
  ASSERT_TRUE(original.GetList("list", &original_list));
  const Value* original_nested = nullptr;
  ASSERT_TRUE(original_list->Get(1, &original_nested));
  EXPECT_NE(copied_nested, original_nested);
  const DictionaryValue* original_nested_dictionary = nullptr;
  ASSERT_TRUE(original_nested->GetAsDictionary(&original_nested_dictionary));
  EXPECT_TRUE(original_nested_dictionary->GetString("k", &s));
  EXPECT_EQ("v", s);
  EXPECT_FALSE(original.Equals(copy.get()));

  // Copies keep the exact type of every leaf.
  for (const char* key : {"flag", "pi", "null"}) {
    const Value* mine = nullptr;
    const Value* theirs = nullptr;
    ASSERT_TRUE(original.Get(key, &mine));
    ASSERT_TRUE(copy->Get(key, &theirs));
    EXPECT_EQ(mine->GetType(), theirs->GetType()) << key;
    EXPECT_TRUE(mine->Equals(theirs)) << key;
    EXPECT_TRUE(mine->CreateDeepCopy()->Equals(mine)) << key;
  }
}

TEST(ValuesTest, EqualityNeverCrossesTypes) {
  FundamentalValue int_one(1);
  FundamentalValue double_one(1.0);
  FundamentalValue true_value(true);
  StringValue one_text(std::string("1"));
  std::unique_ptr<Value> null = Value::CreateNullValue();
  DictionaryValue empty_dictionary;
  ListValue empty_list;

  const Value* all[] = {&int_one,   &double_one,       &true_value, &one_text,
                        null.get(), &empty_dictionary, &empty_list};
  for (const Value* a : all) {
    EXPECT_FALSE(a->Equals(nullptr));
    for (const Value* b : all)
      EXPECT_EQ(a == b, a->Equals(b)) << a->GetType() << " " << b->GetType();
  }

  EXPECT_TRUE(int_one.Equals(std::make_unique<FundamentalValue>(1).get()));
  EXPECT_FALSE(int_one.Equals(std::make_unique<FundamentalValue>(2).get()));
  EXPECT_FALSE(
      true_value.Equals(std::make_unique<FundamentalValue>(false).get()));
  EXPECT_TRUE(null->Equals(Value::CreateNullValue().get()));

  // Dictionaries: same keys with equal values, neither a subset.
  DictionaryValue a;
  DictionaryValue b;
  a.SetInteger("x", 1);
  b.SetInteger("x", 1);
  EXPECT_TRUE(a.Equals(&b));
  b.SetInteger("y", 2);
  EXPECT_FALSE(a.Equals(&b));
  EXPECT_FALSE(b.Equals(&a));
  a.SetInteger("z", 2);
  EXPECT_FALSE(a.Equals(&b));
  DictionaryValue int_x;
  DictionaryValue double_x;
  int_x.SetInteger("x", 1);
  double_x.SetDoubleWithoutPathExpansion("x", 1.0);
  EXPECT_FALSE(int_x.Equals(&double_x));

  // Lists: same length and order.
  ListValue first;
  ListValue second;
  first.AppendInteger(1);
  first.AppendInteger(2);
  second.AppendInteger(2);
  second.AppendInteger(1);
  EXPECT_FALSE(first.Equals(&second));
  second.Clear();
  second.AppendInteger(1);
  EXPECT_FALSE(first.Equals(&second));
  EXPECT_FALSE(second.Equals(&first));
  second.AppendInteger(2);
  EXPECT_TRUE(first.Equals(&second));
}

TEST(ValuesTest, SwapExchangesContentsWithoutCopies) {
  DictionaryValue a;
  DictionaryValue b;
  a.SetInteger("a", 1);
  b.SetInteger("b", 2);
  b.SetInteger("c", 3);
  const Value* node_b = nullptr;
  ASSERT_TRUE(b.Get("b", &node_b));
  a.Swap(&b);
  EXPECT_EQ((std::vector<std::string>{"b", "c"}), KeysOf(a));
  EXPECT_EQ(std::vector<std::string>{"a"}, KeysOf(b));
  const Value* moved = nullptr;
  ASSERT_TRUE(a.Get("b", &moved));
  EXPECT_EQ(node_b, moved);

  ListValue first;
  ListValue second;
  first.AppendInteger(1);
  second.AppendString("x");
  second.AppendString("y");
  first.Swap(&second);
  EXPECT_EQ(2u, first.GetSize());
  EXPECT_EQ(1u, second.GetSize());
}

TEST(ValuesTest, ContainersDeleteTheirChildren) {
  int deletions = 0;
  {
    DictionaryValue root;
    root.Set("a.b", new CountedValue(&deletions));
    auto list = std::make_unique<ListValue>();
    list->Append(new CountedValue(&deletions));
    list->Append(std::make_unique<CountedValue>(&deletions));
    root.Set("list", std::move(list));
    root.Clear();
    EXPECT_EQ(3, deletions);
    root.Set("x", new CountedValue(&deletions));
  }
  EXPECT_EQ(4, deletions);
}

}  // namespace
}  // namespace base
