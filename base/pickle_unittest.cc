#include "base/pickle.h"

#include <stdint.h>
#include <string.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string BytesOf(const Pickle& pickle) {
  return std::string(static_cast<const char*>(pickle.data()), pickle.size());
}

std::string Word(uint32_t value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

// A received message: the header word followed by |payload|.
std::string Message(const std::string& payload) {
  return Word(static_cast<uint32_t>(payload.size())) + payload;
}

// Reads |pickle| one letter a field (b bool, i int, l int64, s string,
// w wide string; a digit: that many raw bytes, '-': -1 of them, 'M': INT_MAX)
// and tells what each read gave, "x" for a failure.
std::string ReadAll(const Pickle& pickle, const std::string& reads) {
  PickleIterator it(pickle);
  std::string out;
  for (char read : reads) {
    bool flag = false;
    int number = 0;
    int64_t wide_number = 0;
    std::string text;
    string16 wide_text;
    const char* bytes = nullptr;
    const int length = read == '-' ? -1 : read == 'M' ? INT_MAX : read - '0';
    std::string got = "x";
    if (read == 'b' ? it.ReadBool(&flag) : false)
      got = flag ? "true" : "false";
    else if (read == 'i' ? it.ReadInt(&number) : false)
      got = IntToString(number);
    else if (read == 'l' ? it.ReadInt64(&wide_number) : false)
      got = Int64ToString(wide_number);
    else if (read == 's' ? it.ReadString(&text) : false)
      got = "'" + text + "'";
    else if (read == 'w' ? it.ReadString16(&wide_text) : false)
      got = "'" + UTF16ToUTF8(wide_text) + "'";
    else if (strchr("bilsw", read) ? false : it.ReadBytes(&bytes, length))
      got = "[" + std::string(bytes, length) + "]";
    out += (out.empty() ? "" : " ") + got;
  }
  return out;
}

TEST(PickleTest, WritesTheWireLayoutAndReadsItBack) {
  const struct {
    std::function<bool(Pickle*)> write;
    std::string bytes;
    const char* reads;
    const char* results;
  } kCases[] = {
      {[](Pickle*) { return true; }, Word(0), "0i", "[] x"},
      {[](Pickle* p) { return p->WriteString("abc"); },
       Message(Word(3) + std::string("abc\0", 4)), "si", "'abc' x"},
      {[](Pickle* p) { return p->WriteString16(L"ab"); },
       Message(Word(2) + std::string("a\0b\0", 4)), "w", "'ab'"},
      // A bool takes a whole four-byte slot.
      {[](Pickle* p) { return p->WriteBool(true) && p->WriteBool(false); },
       Message(Word(1) + Word(0)), "bbb", "true false x"},
      {[](Pickle* p) {
         return p->Write4Bytes(0x01020304) &&
                p->Write4Bytes(static_cast<uint32_t>(-2)) &&
                p->Write8Bytes(static_cast<uint64_t>(INT64_MIN));
       },
       Message(Word(0x01020304) + Word(0xFFFFFFFE) + Word(0) + Word(1u << 31)),
       "iil", "16909060 -2 -9223372036854775808"},
      // Raw bytes carry no length and are padded, like text.
      {[](Pickle* p) {
         return p->WriteBytes("abcde", 5) && p->WriteBytes(nullptr, 0) &&
                p->WriteString("") && p->WriteString16(L"\U0001F600");
       },
       Message(std::string("abcde\0\0\0", 8) + Word(0) + Word(2) +
               std::string("\x3D\xD8\0\xDE", 4)),
       "50sw", "[abcde] [] '' '\xF0\x9F\x98\x80'"},
  };
  for (const auto& c : kCases) {
    Pickle pickle;
    EXPECT_TRUE(c.write(&pickle));
    EXPECT_EQ(c.bytes, BytesOf(pickle)) << c.reads;
    EXPECT_EQ(c.results, ReadAll(pickle, c.reads));
  }
  // Every field starts on a four-byte boundary, whatever came before it.
  Pickle pickle;
  std::string reads, results;
  for (size_t length = 0; length <= 9; ++length) {
    pickle.WriteString(std::string(length, 'x'));
    pickle.Write4Bytes(0xFFFFFFFF);
    reads += "si";
    results += "'" + std::string(length, 'x') + "' -1 ";
  }
  EXPECT_EQ(results + "x", ReadAll(pickle, reads + "b"));
}

TEST(PickleTest, ReadsOfAReceivedMessage) {
  const struct {
    std::string message;
    const char* reads;
    const char* results;
  } kCases[] = {
      // A size word that does not fit the message rejects it as a whole.
      {Message(""), "0", "[]"},
      {Word(8) + "abcdef", "0", "x"},
      {Word(5) + "abcd", "0", "x"},
      {Word(0xFFFFFFFF) + "abcd", "0", "x"},
      {Word(8) + "abcd", "0", "x"},
      {std::string("\0\0\0", 3), "0", "x"},
      {Word(4) + Word(0xEEEEEEEE) + Word(42), "ii", "42 x"},
      // A failed read stops every later one.
      {Message("\x01\x02"), "ib", "x x"},
      {Message("\x01\x02"), "bb", "true x"},
      {Message("\x01\x02"), "wi", "x x"},
      {Message(Word(2)), "bi", "true x"},
      {Message(Word(1)), "li", "x x"},
      {Message(Word(1)), "-i", "x x"},
      {Message(Word(1)), "Mi", "x x"},
      // Counts past the end, negative, or overflowing when padded.
      {Message(Word(5) + "abcd"), "si", "x x"},
      {Message(Word(0x7FFFFFFF) + "abcd"), "si", "x x"},
      {Message(Word(0x7FFFFFFD) + "abcd"), "si", "x x"},
      {Message(Word(0xFFFFFFFF) + "abcd"), "si", "x x"},
      {Message(Word(0x80000000) + "abcd"), "si", "x x"},
      {Message(Word(0xFFFFFFFD) + "abcd"), "si", "x x"},
      {Message(Word(0xFFFFFFFF) + Word(1234)), "wi", "x x"},
      {Message(Word(3) + std::string("a\0b\0", 4)), "w", "x"},
      // A wide count too large to double fails alone.
      {Message(Word(0x40000000) + Word(1234)), "wi", "x 1234"},
      {Message(Word(0x7FFFFFFF) + Word(1234)), "wi", "x 1234"},
      {Message(Word(0xBFFFFFFF) + Word(1234)), "wi", "x 1234"},
      // The last field may lack its padding.
      {Message(Word(5) + "hello"), "s01", "'hello' [] x"},
      {Message(Word(5) + "hello"), "i6", "5 x"},
      {Message(Word(5) + "hello"), "i5", "5 [hello]"},
  };
  for (const auto& c : kCases) {
    // At an odd address, so that reads must not assume alignment.
    const std::string copy = " " + c.message;
    const Pickle view(copy.data() + 1, static_cast<int>(c.message.size()));
    EXPECT_EQ(c.results, ReadAll(view, c.reads)) << c.reads;
    EXPECT_EQ(0u, view.GetTotalAllocatedSize());
    EXPECT_EQ(view.data() ? c.message.size() : 0u, view.size());
    EXPECT_TRUE(!view.data() || view.data() == copy.data() + 1);
  }
  const std::string message = Message("abcd");
  EXPECT_EQ(0u, Pickle(message.data(), -1).size() + Pickle(nullptr, 8).size());
}

TEST(PickleTest, CapacityGrowsByDoublingThenInPages) {
  Pickle big;
  big.WriteBytes(std::string(5000, 'z').data(), 5000);
  EXPECT_EQ(4u + 5056u, big.GetTotalAllocatedSize());
  Pickle pickle;
  std::vector<size_t> capacities = {pickle.GetTotalAllocatedSize() - 4};
  for (int i = 0; i < 5000; ++i) {
    pickle.Write4Bytes(static_cast<uint32_t>(i));
    if (pickle.GetTotalAllocatedSize() - 4 != capacities.back())
      capacities.push_back(pickle.GetTotalAllocatedSize() - 4);
  }
  EXPECT_EQ((std::vector<size_t>{64, 128, 256, 512, 1024, 2048, 4096, 8128,
                                 16320, 32704}),
            capacities);
  PickleIterator it(pickle);
  int value = -1;
  for (int i = 0; i < 5000 && it.ReadInt(&value); ++i)
    ASSERT_EQ(i, value);
  EXPECT_EQ(4999, value);
}

TEST(PickleTest, CopiesAreWritableAndIndependent) {
  Pickle original;
  original.WriteString("abc");
  Pickle copy(original);
  EXPECT_NE(original.data(), copy.data());
  EXPECT_EQ(4u + 64u, copy.GetTotalAllocatedSize());
  copy.Write4Bytes(9);
  EXPECT_EQ("'abc' x / 'abc' 9",
            ReadAll(original, "si") + " / " + ReadAll(copy, "si"));
  // A copy of a received message owns its bytes; one of a rejected message
  // is an empty pickle.
  std::string received = Message(Word(5));
  const Pickle view(received.data(), static_cast<int>(received.size()));
  const Pickle rejected(received.data(), 4);
  Pickle owned(view);
  Pickle from_rejected(rejected);
  received.assign(received.size(), '\xCC');
  EXPECT_EQ(Word(0), BytesOf(from_rejected));
  owned.Write4Bytes(6);
  EXPECT_EQ("5 6", ReadAll(owned, "ii"));
  from_rejected.Write4Bytes(1);
  EXPECT_EQ(Message(Word(1)), BytesOf(from_rejected));
}

TEST(PickleDeathTest, ReadOnlyViewsCannotBeWritten) {
  const std::string received = Message("abcd");
  Pickle view(received.data(), static_cast<int>(received.size()));
  EXPECT_DEATH(view.Write4Bytes(1), "read-only");
  Pickle rejected(received.data(), 2);
  EXPECT_DEATH(rejected.WriteString("x"), "read-only");
  Pickle pickle;
  EXPECT_DEATH(pickle.WriteBytes("x", -1), "length >= 0");
}

}  // namespace
}  // namespace base
