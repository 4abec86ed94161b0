#include "base/values.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/strings/string_split.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Trees are written and given as JSON with ' for ", to keep tables short.
std::string Json(const Value* value) {
  std::string json = "-";
  if (value)
    JSONWriter::Write(*value, &json);
  std::replace(json.begin(), json.end(), '"', '\'');
  return json;
}

std::unique_ptr<Value> Parsed(std::string json) {
  std::replace(json.begin(), json.end(), '\'', '"');
  std::unique_ptr<Value> value = JSONReader::Read(json);
  EXPECT_TRUE(value) << json;
  return value;
}

std::unique_ptr<DictionaryValue> ParsedDictionary(const char* json) {
  std::unique_ptr<Value> value = Parsed(json);
  DictionaryValue* dictionary = nullptr;
  if (!value || !value->GetAsDictionary(&dictionary))
    return std::make_unique<DictionaryValue>();
  value.release();
  return std::unique_ptr<DictionaryValue>(dictionary);
}

// Which typed reads of |value| succeed (in the order of the slots), then
// what they wrote: outputs of reads that failed stay as they were.
std::string TypedReads(const Value& value) {
  bool b = false;
  int i = -1;
  double d = -1;
  std::string s = "-";
  string16 w = L"-";
  const StringValue* node = nullptr;
  const ListValue* list = nullptr;
  const DictionaryValue* dictionary = nullptr;
  const std::string results = StringPrintf(
      "%d%d%d%d%d%d%d%d%d", value.GetAsBoolean(&b), value.GetAsInteger(&i),
      value.GetAsDouble(&d), value.GetAsString(&node), value.GetAsString(&w),
      value.GetAsString(&s), value.GetAsBinary(nullptr), value.GetAsList(&list),
      value.GetAsDictionary(&dictionary));
  // Without an out-parameter the answer is still whether the type matches.
  EXPECT_EQ(results[1] == '1', value.GetAsInteger(nullptr));
  EXPECT_EQ(results[5] == '1',
            value.GetAsString(static_cast<std::string*>(nullptr)));
  return StringPrintf("%d %s %d %d %g %d %s %s %d %d", value.GetType(),
                      results.c_str(), b, i, d, node == &value,
                      UTF16ToUTF8(w).c_str(), s.c_str(), list == &value,
                      dictionary == &value);
}

TEST(ValuesTest, TypedReadsMatchOnlyTheirOwnType) {
  const std::unique_ptr<Value> null = Value::CreateNullValue();
  const FundamentalValue boolean(true), integer(7), real(7.5);
  const StringValue text(std::string("x\xC3\xA9"));
  const ListValue list;
  const DictionaryValue dictionary;
  const struct {
    const Value& value;
    const char* reads;
  } kCases[] = {
      {*null, "0 000000000 0 -1 -1 0 - - 0 0"},
      {boolean, "1 100000000 1 -1 -1 0 - - 0 0"},
      // An integer widens to double; a double never narrows to integer.
      {integer, "2 011000000 0 7 7 0 - - 0 0"},
      {real, "3 001000000 0 -1 7.5 0 - - 0 0"},
      {text, "4 000111000 0 -1 -1 1 x\xC3\xA9 x\xC3\xA9 0 0"},
      {list, "7 000000010 0 -1 -1 0 - - 1 0"},
      {dictionary, "6 000000001 0 -1 -1 0 - - 0 1"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.reads, TypedReads(c.value));
}

TEST(ValuesTest, StringsAndDoubles) {
  // Text converts between UTF-8 and UTF-16; bytes, zeros included, stay.
  StringValue from_wide(string16(L"caf\u00E9 \U0001F600"));
  StringValue from_narrow(std::string("caf\xC3\xA9 \xF0\x9F\x98\x80"));
  string16 wide;
  EXPECT_TRUE(from_narrow.GetAsString(&wide));
  EXPECT_EQ(L"caf\u00E9 \U0001F600", wide);
  EXPECT_TRUE(from_narrow.Equals(&from_wide));
  StringValue zero(std::string("a\0b", 3));
  EXPECT_FALSE(zero.Equals(std::make_unique<StringValue>("a").get()));
  EXPECT_EQ(3u, zero.GetAsString(&wide) ? wide.size() : 0);

  // No tree holds a non-finite number.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  ListValue list;
  list.Append(new FundamentalValue(nan));
  list.Append(new FundamentalValue(-inf));
  list.AppendDouble(inf);
  list.AppendDouble(-2.5);
  list.AppendBoolean(true);
  DictionaryValue dictionary;
  dictionary.SetDoubleWithoutPathExpansion("x", nan);
  dictionary.SetDoubleWithoutPathExpansion("y", 1e-310);
  EXPECT_EQ("[0.0,0.0,0.0,-2.5,true] {'x':0.0,'y':1e-310}",
            Json(&list) + " " + Json(&dictionary));
  const FundamentalValue zero_double(0.0);
  EXPECT_TRUE(FundamentalValue(nan).Equals(&zero_double));
}

// Runs |op| on |root| and tells what a getter found or a removal handed out
// ("!" first when it failed), then the whole tree.
std::string Apply(DictionaryValue* root,
                  const std::string& op,
                  const std::string& path,
                  const char* arg) {
  std::unique_ptr<Value> out = std::make_unique<StringValue>("untouched");
  Value* found = nullptr;
  bool ok = true;
  if (op == "set")
    root->Set(path, Parsed(arg));
  else if (op == "setk")
    root->SetWithoutPathExpansion(path, Parsed(arg));
  else if (op == "get")
    ok = root->Get(path, &found);
  else if (op == "getk")
    ok = root->GetWithoutPathExpansion(path, &found);
  else if (op == "remove")
    ok = root->Remove(path, &out);
  else if (op == "removepath")
    ok = root->RemovePath(path, &out);
  else
    ok = root->RemoveWithoutPathExpansion(path, &out);
  const std::string result = op[0] == 'r' ? Json(out.get()) : Json(found);
  return (ok ? "" : "!") + result + " " + Json(root);
}

TEST(ValuesTest, PathsSplitAtEveryDot) {
  DictionaryValue root;
  const struct {
    const char* op;
    const char* path;
    const char* arg;
    const char* outcome;
  } kSteps[] = {
      {"set", "a.b.c", "1", "- {'a':{'b':{'c':1}}}"},
      {"set", "a.e", "'x'", "- {'a':{'b':{'c':1},'e':'x'}}"},
      {"get", "a.b", nullptr, "{'c':1} {'a':{'b':{'c':1},'e':'x'}}"},
      {"get", "a.x.c", nullptr, "!- {'a':{'b':{'c':1},'e':'x'}}"},
      {"get", "a.b.c.d", nullptr, "!- {'a':{'b':{'c':1},'e':'x'}}"},
      {"get", "a.b.", nullptr, "!- {'a':{'b':{'c':1},'e':'x'}}"},
      // A node of another type on the way is replaced by a dictionary.
      {"set", "a.e.f", "2", "- {'a':{'b':{'c':1},'e':{'f':2}}}"},
      // Literal keys keep their dots; a list is not descended into.
      {"setk", "a.b", "[5]", "- {'a':{'b':{'c':1},'e':{'f':2}},'a.b':[5]}"},
      {"getk", "a.b", nullptr, "[5] {'a':{'b':{'c':1},'e':{'f':2}},'a.b':[5]}"},
      {"getk", "a.e", nullptr, "!- {'a':{'b':{'c':1},'e':{'f':2}},'a.b':[5]}"},
      {"set", "l", "[{}]",
       "- {'a':{'b':{'c':1},'e':{'f':2}},'a.b':[5],'l':[{}]}"},
      {"get", "l.0", nullptr,
       "!- {'a':{'b':{'c':1},'e':{'f':2}},'a.b':[5],'l':[{}]}"},
      {"removek", "a.b", nullptr,
       "[5] {'a':{'b':{'c':1},'e':{'f':2}},'l':[{}]}"},
      {"removek", "l", nullptr, "[{}] {'a':{'b':{'c':1},'e':{'f':2}}}"},
      // Remove splits at the last dot and keeps emptied parents.
      {"remove", "a.b.c", nullptr, "1 {'a':{'b':{},'e':{'f':2}}}"},
      {"remove", "a.b.c", nullptr, "!'untouched' {'a':{'b':{},'e':{'f':2}}}"},
      {"remove", "q.b", nullptr, "!'untouched' {'a':{'b':{},'e':{'f':2}}}"},
      // RemovePath splits at the first dot and prunes emptied parents.
      {"set", "a.g", "[]", "- {'a':{'b':{},'e':{'f':2},'g':[]}}"},
      {"removepath", "a.e.f", nullptr, "2 {'a':{'b':{},'g':[]}}"},
      {"removepath", "a.g.x", nullptr, "!'untouched' {'a':{'b':{},'g':[]}}"},
      {"removepath", "a.x", nullptr, "!'untouched' {'a':{'b':{},'g':[]}}"},
      {"removepath", "a.g", nullptr, "[] {'a':{'b':{}}}"},
      {"removepath", "a.b", nullptr, "{} {}"},
      // Empty parts are empty keys; no path form finds a key with a dot.
      {"set", ".x..y", "3", "- {'':{'x':{'':{'y':3}}}}"},
      {"get", "x..y", nullptr, "!- {'':{'x':{'':{'y':3}}}}"},
      {"removepath", ".x..y", nullptr, "3 {}"},
      {"set", "d", "{'b.c':1}", "- {'d':{'b.c':1}}"},
      {"remove", "d.b.c", nullptr, "!'untouched' {'d':{'b.c':1}}"},
      {"removepath", "d.b.c", nullptr, "!'untouched' {'d':{'b.c':1}}"},
  };
  for (const auto& step : kSteps) {
    EXPECT_EQ(step.outcome, Apply(&root, step.op, step.path, step.arg))
        << step.op << " " << step.path;
  }
}

TEST(ValuesTest, TypedGettersFollowPaths) {
  std::unique_ptr<DictionaryValue> root = ParsedDictionary(
      "{'i':4,'d':4.0,'b':true,'s':'a','u':'\xC3\xA9','l':[1],'n':{'l':[]}}");
  // Which of GetBoolean, GetInteger, GetString, GetString16, GetStringASCII
  // and GetList succeed, and their outputs.
  const struct {
    const char* path;
    const char* gets;
  } kCases[] = {
      {"i", "010000 0 4 - - - -"},
      {"d", "000000 0 -1 - - - -"},
      {"b", "100000 1 -1 - - - -"},
      {"s", "001110 0 -1 a a a -"},
      {"u", "001100 0 -1 \xC3\xA9 \xC3\xA9 - -"},
      {"l", "000001 0 -1 - - - [1]"},
      {"n", "000000 0 -1 - - - -"},
      {"n.l", "000001 0 -1 - - - []"},
      {"x", "000000 0 -1 - - - -"},
  };
  for (const auto& c : kCases) {
    bool b = false;
    int i = -1;
    std::string s = "-", ascii = "-";
    string16 w = L"-";
    const ListValue* list = nullptr;
    const std::string results = StringPrintf(
        "%d%d%d%d%d%d", root->GetBoolean(c.path, &b),
        root->GetInteger(c.path, &i), root->GetString(c.path, &s),
        root->GetString16(c.path, &w), root->GetStringASCII(c.path, &ascii),
        root->GetList(c.path, &list));
    EXPECT_EQ(c.gets, StringPrintf("%s %d %d %s %s %s %s", results.c_str(), b,
                                   i, s.c_str(), UTF16ToUTF8(w).c_str(),
                                   ascii.c_str(), Json(list).c_str()))
        << c.path;
  }
}

TEST(ValuesTest, KeysIterateInByteOrder) {
  DictionaryValue dictionary;
  for (const char* key : {"ab", "B", "a", "", "\xC3\xA9", "a\x7F", "A"})
    dictionary.SetIntegerWithoutPathExpansion(key, 0);
  std::string keys;
  for (DictionaryValue::Iterator it(dictionary); !it.IsAtEnd(); it.Advance())
    keys += it.key() + ",";
  EXPECT_EQ(",A,B,a,ab,a\x7F,\xC3\xA9,", keys);
}

TEST(ValuesTest, ListSetPadsWithNullsAndRemoveClosesTheGap) {
  ListValue list;
  std::unique_ptr<Value> removed;
  const Value* element = nullptr;
  EXPECT_FALSE(list.Set(0, static_cast<Value*>(nullptr)));
  EXPECT_TRUE(list.Set(3, new FundamentalValue(4)));
  EXPECT_TRUE(list.Set(1, new FundamentalValue(true)));
  EXPECT_EQ("[null,true,null,4]", Json(&list));
  EXPECT_FALSE(list.Remove(4, &removed) || removed);
  EXPECT_TRUE(list.Remove(1, &removed));
  EXPECT_TRUE(list.Get(2, &element) && !list.Get(3, &element));
  EXPECT_EQ("true [null,null,4] 4",
            Json(removed.get()) + " " + Json(&list) + " " + Json(element));
}

TEST(ValuesTest, CopiesEqualitySwaps) {
  std::unique_ptr<DictionaryValue> original = ParsedDictionary(
      "{'a':{'b':1,'s':'t'},'f':false,'p':3.25,'z':null,'l':[1,{'k':'v'}]}");
  const std::string kOriginal = Json(original.get());
  std::unique_ptr<DictionaryValue> copy = original->CreateDeepCopy();
  EXPECT_EQ(kOriginal, Json(copy.get()));
  EXPECT_TRUE(copy->Equals(original.get()));
  // No node is shared.
  ListValue* list = nullptr;
  Value* nested = nullptr;
  ASSERT_TRUE(copy->GetList("l", &list) && list->Get(1, &nested));
  static_cast<DictionaryValue*>(nested)->SetString("k", "changed");
  copy->SetInteger("a.b", 2);
  EXPECT_EQ(kOriginal, Json(original.get()));

  // Equal trees are of one type, with equal children in the same order.
  const std::vector<std::string> kDistinct = SplitString(
      "1 1.0 true '1' null {} [] 2 false {'x':1} {'x':1.0} {'x':1,'y':2} "
      "{'x':1,'z':2} [1,2] [2,1] [1]",
      " ", KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY);
  for (const std::string& a : kDistinct) {
    std::unique_ptr<Value> value = Parsed(a);
    EXPECT_FALSE(value->Equals(nullptr)) << a;
    EXPECT_TRUE(value->CreateDeepCopy()->Equals(value.get())) << a;
    for (const std::string& b : kDistinct)
      EXPECT_EQ(a == b, value->Equals(Parsed(b).get())) << a << " " << b;
  }

  const Value* node = nullptr;
  const Value* moved = nullptr;
  ASSERT_TRUE(copy->Get("l", &node));
  original->Swap(copy.get());
  ASSERT_TRUE(original->Get("l", &moved));
  EXPECT_EQ(node, moved);
  EXPECT_EQ(kOriginal, Json(copy.get()));
  // Storing a node where it already is keeps it; Clear empties the tree.
  Value* list_node = nullptr;
  ASSERT_TRUE(copy->Get("l", &list_node));
  copy->SetWithoutPathExpansion("l", list_node);
  EXPECT_EQ(kOriginal, Json(copy.get()));
  copy->Clear();
  copy->Set("x", new FundamentalValue(1));
  EXPECT_EQ("{'x':1}", Json(copy.get()));
  ListValue first, second;
  first.AppendInteger(1);
  second.AppendString("x");
  first.Swap(&second);
  EXPECT_EQ("['x'] [1]", Json(&first) + " " + Json(&second));
}

}  // namespace
}  // namespace base
