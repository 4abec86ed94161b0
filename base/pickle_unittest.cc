#include "base/pickle.h"

#include <stdint.h>
#include <string.h>

#include <climits>
#include <string>
#include <vector>

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

TEST(PickleTest, WritesTheWireLayout) {
  Pickle text;
  EXPECT_TRUE(text.WriteString("abc"));
  EXPECT_EQ(std::string("\x08\0\0\0\x03\0\0\0abc\0", 12), BytesOf(text));

  Pickle wide;
  EXPECT_TRUE(wide.WriteString16(L"ab"));
  EXPECT_EQ(std::string("\x08\0\0\0\x02\0\0\0a\0b\0", 12), BytesOf(wide));

  Pickle flags;
  EXPECT_TRUE(flags.WriteBool(true));
  EXPECT_TRUE(flags.WriteBool(false));
  EXPECT_EQ(std::string("\x08\0\0\0\x01\0\0\0\0\0\0\0", 12), BytesOf(flags));

  Pickle numbers;
  EXPECT_TRUE(numbers.Write4Bytes(0x01020304));
  EXPECT_TRUE(numbers.Write4Bytes(static_cast<uint32_t>(-2)));
  EXPECT_TRUE(numbers.Write8Bytes(0x1122334455667788ull));
  EXPECT_EQ(std::string("\x10\0\0\0"
                        "\x04\x03\x02\x01"
                        "\xFE\xFF\xFF\xFF"
                        "\x88\x77\x66\x55\x44\x33\x22\x11",
                        20),
            BytesOf(numbers));

  // Raw bytes carry no length and are padded; empty fields take no room
  // beyond their count.
  Pickle raw;
  EXPECT_TRUE(raw.WriteBytes("\xAA\xBB\xCC\xDD\xEE", 5));
  EXPECT_TRUE(raw.WriteBytes(nullptr, 0));
  EXPECT_TRUE(raw.WriteString(""));
  EXPECT_TRUE(raw.WriteString16(L""));
  EXPECT_EQ(std::string("\x10\0\0\0"
                        "\xAA\xBB\xCC\xDD\xEE\0\0\0"
                        "\0\0\0\0"
                        "\0\0\0\0",
                        20),
            BytesOf(raw));

  Pickle empty;
  EXPECT_EQ(std::string("\0\0\0\0", 4), BytesOf(empty));
}

TEST(PickleTest, EveryFieldStartsOnAFourByteBoundary) {
  Pickle pickle;
  std::vector<size_t> expected_sizes;
  for (size_t length = 0; length <= 9; ++length) {
    pickle.WriteString(std::string(length, 'x'));
    pickle.Write4Bytes(0xFFFFFFFF);
    // Count, the text padded to 4, then the marker.
    const size_t field = 4 + (length + 3) / 4 * 4 + 4;
    expected_sizes.push_back(
        (expected_sizes.empty() ? 4 : expected_sizes.back()) + field);
    EXPECT_EQ(expected_sizes.back(), pickle.size()) << length;
    // The marker sits right at the end, so padding before it is exact.
    const std::string bytes = BytesOf(pickle);
    EXPECT_EQ(std::string(4, '\xFF'), bytes.substr(bytes.size() - 4));
    EXPECT_EQ(std::string((4 - length % 4) % 4, '\0'),
              bytes.substr(bytes.size() - 4 - (4 - length % 4) % 4,
                           (4 - length % 4) % 4));
  }

  PickleIterator it(pickle);
  for (size_t length = 0; length <= 9; ++length) {
    std::string text;
    int marker = 0;
    ASSERT_TRUE(it.ReadString(&text));
    EXPECT_EQ(std::string(length, 'x'), text);
    ASSERT_TRUE(it.ReadInt(&marker));
    EXPECT_EQ(-1, marker);
  }
  int extra = 5;
  EXPECT_FALSE(it.ReadInt(&extra));
  EXPECT_EQ(5, extra);
}

TEST(PickleTest, ReadsBackEveryFieldKind) {
  Pickle pickle;
  const std::string binary("\0\x01\x02\xFF\x80", 5);
  pickle.WriteBool(true);
  pickle.Write4Bytes(7);
  pickle.Write4Bytes(0xFFFFFFFF);
  pickle.Write8Bytes(static_cast<uint64_t>(INT64_MIN));
  pickle.WriteString(binary);
  pickle.WriteString16(L"caf\u00E9 \U0001F600");
  pickle.WriteBytes("xyz", 3);
  pickle.WriteBool(false);

  PickleIterator it(pickle);
  bool flag = false;
  int number = 0;
  int64_t wide_number = 0;
  std::string text;
  string16 wide_text;
  const char* bytes = nullptr;
  ASSERT_TRUE(it.ReadBool(&flag));
  EXPECT_TRUE(flag);
  // The bool takes its whole 4-byte slot: the next read is the next field.
  ASSERT_TRUE(it.ReadInt(&number));
  EXPECT_EQ(7, number);
  ASSERT_TRUE(it.ReadInt(&number));
  EXPECT_EQ(-1, number);
  ASSERT_TRUE(it.ReadInt64(&wide_number));
  EXPECT_EQ(INT64_MIN, wide_number);
  ASSERT_TRUE(it.ReadString(&text));
  EXPECT_EQ(binary, text);
  ASSERT_TRUE(it.ReadString16(&wide_text));
  EXPECT_EQ(L"caf\u00E9 \U0001F600", wide_text);
  ASSERT_TRUE(it.ReadBytes(&bytes, 3));
  EXPECT_EQ(0, memcmp(bytes, "xyz", 3));
  ASSERT_TRUE(it.ReadBool(&flag));
  EXPECT_FALSE(flag);
  EXPECT_FALSE(it.ReadBool(&flag));
}

TEST(PickleTest, RejectsMessagesWhoseSizeWordDoesNotFit) {
  struct Case {
    std::string message;
    bool accepted;
  } cases[] = {
      {Message(""), true},
      {Message("abcd"), true},
      // 10 bytes saying 8: a 2-byte header is not a multiple of 4.
      {Word(8) + "abcdef", false},
      // Longer than the message: the implied header is negative.
      {Word(5) + "abcd", false},
      {Word(0xFFFFFFFF) + "abcd", false},
      // The size word counting itself leaves no header.
      {Word(8) + "abcd", false},
      // Shorter than a header.
      {std::string("\0\0\0", 3), false},
      {std::string(), false},
      // A longer header is allowed; the payload follows it.
      {Word(4) + Word(0xEEEEEEEE) + Word(42), true},
  };
  for (const Case& c : cases) {
    Pickle view(c.message.data(), static_cast<int>(c.message.size()));
    PickleIterator it(view);
    int value = -7;
    const char* bytes = nullptr;
    EXPECT_EQ(0u, view.GetTotalAllocatedSize());
    if (!c.accepted) {
      EXPECT_EQ(nullptr, view.data());
      EXPECT_EQ(0u, view.size());
      EXPECT_FALSE(it.ReadInt(&value));
      EXPECT_FALSE(it.ReadBytes(&bytes, 0));
      EXPECT_EQ(-7, value);
      continue;
    }
    EXPECT_EQ(c.message.data(), view.data());
    EXPECT_EQ(c.message.size(), view.size());
  }

  const std::string long_header = Word(4) + Word(0xEEEEEEEE) + Word(42);
  Pickle view(long_header.data(), static_cast<int>(long_header.size()));
  PickleIterator it(view);
  int value = 0;
  ASSERT_TRUE(it.ReadInt(&value));
  EXPECT_EQ(42, value);

  const std::string message = Message("abcd");
  Pickle negative(message.data(), -1);
  EXPECT_EQ(0u, negative.size());
  Pickle null_data(nullptr, 8);
  EXPECT_EQ(0u, null_data.size());
}

TEST(PickleTest, FailedReadsStopAllLaterReads) {
  // Two payload bytes: too few for an int, and the bool after it fails too.
  const std::string short_payload = Message("\x01\x02");
  Pickle view(short_payload.data(), static_cast<int>(short_payload.size()));
  PickleIterator it(view);
  int value = -7;
  bool flag = false;
  EXPECT_FALSE(it.ReadInt(&value));
  EXPECT_EQ(-7, value);
  EXPECT_FALSE(it.ReadBool(&flag));
  EXPECT_FALSE(flag);

  // A bool with one to three bytes left reads the first and ends the walk.
  PickleIterator bool_walk(view);
  EXPECT_TRUE(bool_walk.ReadBool(&flag));
  EXPECT_TRUE(flag);
  EXPECT_FALSE(bool_walk.ReadBool(&flag));
  // Any non-zero byte is true.
  const std::string two = Message(std::string("\x02\0\0\0", 4));
  Pickle two_view(two.data(), static_cast<int>(two.size()));
  PickleIterator two_walk(two_view);
  flag = false;
  EXPECT_TRUE(two_walk.ReadBool(&flag));
  EXPECT_TRUE(flag);

  // An int64 needs all eight bytes.
  Pickle pickle;
  pickle.Write4Bytes(1);
  PickleIterator int64_walk(pickle);
  int64_t wide_number = 9;
  EXPECT_FALSE(int64_walk.ReadInt64(&wide_number));
  EXPECT_EQ(9, wide_number);
  EXPECT_FALSE(int64_walk.ReadInt(&value));
}

TEST(PickleTest, LengthsAreCheckedAgainstTheRemainingPayload) {
  const char* bytes = nullptr;
  std::string text = "untouched";
  int value = 0;

  // A negative length fails and ends the walk.
  Pickle negative;
  negative.Write4Bytes(1);
  PickleIterator negative_walk(negative);
  EXPECT_FALSE(negative_walk.ReadBytes(&bytes, -1));
  EXPECT_FALSE(negative_walk.ReadInt(&value));

  // Counts past the end, negative counts, and counts whose padded size
  // would overflow 32 bits.
  for (uint32_t count :
       {5u, 0x7FFFFFFFu, 0x7FFFFFFDu, 0xFFFFFFFFu, 0x80000000u, 0xFFFFFFFDu}) {
    Pickle pickle;
    pickle.Write4Bytes(count);
    pickle.WriteBytes("abcd", 4);
    PickleIterator it(pickle);
    EXPECT_FALSE(it.ReadString(&text)) << count;
    EXPECT_EQ("untouched", text);
    EXPECT_FALSE(it.ReadInt(&value)) << count;
  }
  PickleIterator big_walk(negative);
  EXPECT_FALSE(big_walk.ReadBytes(&bytes, INT_MAX));
  EXPECT_EQ(nullptr, bytes);

  // Exactly the remaining bytes, with no padding after them, is fine.
  const std::string unpadded = Message(Word(5) + "hello");
  Pickle view(unpadded.data(), static_cast<int>(unpadded.size()));
  PickleIterator it(view);
  ASSERT_TRUE(it.ReadString(&text));
  EXPECT_EQ("hello", text);
  // Nothing is left but an empty field.
  EXPECT_TRUE(it.ReadBytes(&bytes, 0));
  EXPECT_FALSE(it.ReadBytes(&bytes, 1));
  PickleIterator one_more(view);
  EXPECT_TRUE(one_more.ReadInt(&value));
  EXPECT_FALSE(one_more.ReadBytes(&bytes, 6));
  PickleIterator exact(view);
  EXPECT_TRUE(exact.ReadInt(&value));
  EXPECT_TRUE(exact.ReadBytes(&bytes, 5));
  EXPECT_EQ(0, memcmp(bytes, "hello", 5));
}

TEST(PickleTest, WideStringCountsThatCannotBeDoubled) {
  // Too large to double: fails, but the cursor stays just past the count.
  for (uint32_t count : {0x40000000u, 0x7FFFFFFFu, 0xBFFFFFFFu}) {
    Pickle pickle;
    pickle.Write4Bytes(count);
    pickle.Write4Bytes(1234);
    PickleIterator it(pickle);
    string16 text = L"untouched";
    EXPECT_FALSE(it.ReadString16(&text)) << count;
    EXPECT_EQ(L"untouched", text);
    int value = 0;
    EXPECT_TRUE(it.ReadInt(&value)) << count;
    EXPECT_EQ(1234, value);
  }

  // A negative count that doubles fine fails like a negative length.
  Pickle negative;
  negative.Write4Bytes(static_cast<uint32_t>(-1));
  negative.Write4Bytes(1234);
  PickleIterator it(negative);
  string16 text;
  EXPECT_FALSE(it.ReadString16(&text));
  int value = 0;
  EXPECT_FALSE(it.ReadInt(&value));

  // A count one unit past the data.
  Pickle short_text;
  short_text.Write4Bytes(3);
  short_text.WriteBytes("a\0b\0", 4);
  PickleIterator short_walk(short_text);
  EXPECT_FALSE(short_walk.ReadString16(&text));
  EXPECT_TRUE(text.empty());
}

TEST(PickleTest, TruncatedMessagesReadOnlyWhatIsThere) {
  Pickle full;
  full.Write4Bytes(11);
  full.WriteString("hello");
  full.Write8Bytes(22);
  full.WriteString16(L"xyz");
  full.WriteBool(true);
  // Where each field's bytes end (before its padding) in the payload.
  const size_t field_ends[] = {4, 4 + 4 + 5, 16 + 8, 24 + 4 + 6, 36 + 1};
  const std::string payload = BytesOf(full).substr(4);
  ASSERT_EQ(40u, payload.size());

  for (size_t cut = 0; cut <= payload.size(); ++cut) {
    // A heap copy of exactly the message, at an odd address.
    const std::string message = " " + Message(payload.substr(0, cut));
    Pickle view(message.data() + 1, static_cast<int>(message.size() - 1));
    ASSERT_EQ(cut + 4, view.size());
    PickleIterator it(view);
    int number = 0;
    std::string text;
    int64_t wide_number = 0;
    string16 wide_text;
    bool flag = false;
    const bool results[] = {
        it.ReadInt(&number),        it.ReadString(&text),
        it.ReadInt64(&wide_number), it.ReadString16(&wide_text),
        it.ReadBool(&flag),
    };
    for (size_t field = 0; field < 5; ++field) {
      EXPECT_EQ(cut >= field_ends[field], results[field])
          << "cut " << cut << " field " << field;
    }
    if (results[4]) {
      EXPECT_EQ(11, number);
      EXPECT_EQ("hello", text);
      EXPECT_EQ(22, wide_number);
      EXPECT_EQ(L"xyz", wide_text);
      EXPECT_TRUE(flag);
    }
  }
}

TEST(PickleTest, CapacityGrowsByDoublingThenInPages) {
  Pickle big;
  big.WriteBytes(std::string(5000, 'z').data(), 5000);
  EXPECT_EQ(4u + 5056u, big.GetTotalAllocatedSize());
  EXPECT_EQ(4u + 5000u, big.size());

  Pickle pickle;
  EXPECT_EQ(4u + 64u, pickle.GetTotalAllocatedSize());
  std::vector<size_t> capacities = {64};
  for (int i = 0; i < 5000; ++i) {
    pickle.Write4Bytes(static_cast<uint32_t>(i));
    const size_t capacity = pickle.GetTotalAllocatedSize() - 4;
    if (capacity != capacities.back())
      capacities.push_back(capacity);
  }
  EXPECT_EQ((std::vector<size_t>{64, 128, 256, 512, 1024, 2048, 4096, 8128,
                                 16320, 32704}),
            capacities);
  // Nothing was lost on the way.
  PickleIterator it(pickle);
  for (int i = 0; i < 5000; ++i) {
    int value = -1;
    ASSERT_TRUE(it.ReadInt(&value));
    ASSERT_EQ(i, value);
  }
}

TEST(PickleTest, CopiesAreWritableAndIndependent) {
  Pickle original;
  original.WriteString("abc");
  Pickle copy(original);
  EXPECT_EQ(BytesOf(original), BytesOf(copy));
  EXPECT_NE(original.data(), copy.data());
  // Room for the payload, rounded up to 64.
  EXPECT_EQ(4u + 64u, copy.GetTotalAllocatedSize());
  copy.Write4Bytes(9);
  EXPECT_EQ(12u, original.size());
  EXPECT_EQ(16u, copy.size());
  PickleIterator it(copy);
  std::string text;
  int value = 0;
  EXPECT_TRUE(it.ReadString(&text));
  EXPECT_EQ("abc", text);
  EXPECT_TRUE(it.ReadInt(&value));
  EXPECT_EQ(9, value);

  // A copy of a received message owns its bytes and appends after them.
  std::string received = Message(std::string("\x05\0\0\0", 4));
  Pickle view(received.data(), static_cast<int>(received.size()));
  Pickle owned(view);
  received.assign(received.size(), '\xCC');
  owned.Write4Bytes(6);
  PickleIterator owned_walk(owned);
  EXPECT_TRUE(owned_walk.ReadInt(&value));
  EXPECT_EQ(5, value);
  EXPECT_TRUE(owned_walk.ReadInt(&value));
  EXPECT_EQ(6, value);

  // A copy of a rejected message is an empty, writable pickle.
  const std::string bad = Word(100);
  Pickle rejected(bad.data(), static_cast<int>(bad.size()));
  Pickle from_rejected(rejected);
  EXPECT_EQ(std::string("\0\0\0\0", 4), BytesOf(from_rejected));
  from_rejected.Write4Bytes(1);
  EXPECT_EQ(8u, from_rejected.size());
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
