// Mutation tests of the readers that take untrusted input: JSON text
// (configuration files, server replies, statistics records) and pickles
// (inter-process messages). Each run applies the same few hundred thousand
// seeded mutations to a small corpus of valid inputs; every read must
// return, must leave no memory behind, and must honour its own contract.

#include <windows.h>

#include <stdint.h>
#include <stdlib.h>

#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/pickle.h"
#include "base/values.h"
#include "gtest/gtest.h"

// Allocation counting --------------------------------------------------------
//
// Every node, string and container buffer is made with operator new, so a
// node of a partial tree that a failed parse forgets to free shows up as a
// live allocation. Only the thread that armed the counter is counted, so
// other threads of the test process cannot disturb the count.

namespace {

std::atomic<DWORD> g_counted_thread{0};
int64_t g_live_allocations = 0;

// Out of line, so that the compiler does not pair the operators below with
// malloc and free and warn about mixing them.
__attribute__((noinline)) void* AllocateCounted(size_t size) {
  void* block = malloc(size ? size : 1);
  if (!block)
    abort();
  if (g_counted_thread.load(std::memory_order_relaxed) ==
      ::GetCurrentThreadId()) {
    ++g_live_allocations;
  }
  return block;
}

__attribute__((noinline)) void FreeCounted(void* block) {
  if (!block)
    return;
  if (g_counted_thread.load(std::memory_order_relaxed) ==
      ::GetCurrentThreadId()) {
    --g_live_allocations;
  }
  free(block);
}

}  // namespace

void* operator new(size_t size) {
  return AllocateCounted(size);
}

void* operator new[](size_t size) {
  return AllocateCounted(size);
}

void operator delete(void* block) noexcept {
  FreeCounted(block);
}

void operator delete[](void* block) noexcept {
  FreeCounted(block);
}

void operator delete(void* block, size_t) noexcept {
  FreeCounted(block);
}

void operator delete[](void* block, size_t) noexcept {
  FreeCounted(block);
}

namespace base {
namespace {

// Counts the allocations made and not freed on this thread while it lives.
class ScopedAllocationCounter {
 public:
  ScopedAllocationCounter() {
    g_live_allocations = 0;
    g_counted_thread.store(::GetCurrentThreadId());
  }
  ScopedAllocationCounter(const ScopedAllocationCounter&) = delete;
  ScopedAllocationCounter& operator=(const ScopedAllocationCounter&) = delete;
  ~ScopedAllocationCounter() { g_counted_thread.store(0); }

  int64_t live() const { return g_live_allocations; }
};

// Deterministic mutations ----------------------------------------------------

// splitmix64: small, fast and the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // Uniform enough in [0, bound); |bound| must not be 0.
  size_t Below(size_t bound) { return static_cast<size_t>(Next() % bound); }

 private:
  uint64_t state_;
};

// What a mutation may insert: single bytes and short runs that steer the
// reader into its rarer paths.
struct Dictionary {
  std::string bytes;
  std::vector<std::string> snippets;
};

void Mutate(Random* random, const Dictionary& dictionary, std::string* data) {
  const size_t rounds = 1 + random->Below(4);
  for (size_t round = 0; round < rounds; ++round) {
    const size_t size = data->size();
    const size_t at = size ? random->Below(size) : 0;
    const char interesting =
        dictionary.bytes[random->Below(dictionary.bytes.size())];
    switch (random->Below(8)) {
      case 0:
        if (size)
          (*data)[at] ^= static_cast<char>(1u << random->Below(8));
        break;
      case 1:
        if (size)
          (*data)[at] = interesting;
        break;
      case 2:
        data->insert(at, 1, interesting);
        break;
      case 3:
        if (size)
          data->erase(at, 1 + random->Below(8));
        break;
      case 4:
        if (size) {
          const std::string run = data->substr(at, 1 + random->Below(16));
          data->insert(random->Below(size + 1), run);
        }
        break;
      case 5:
        data->insert(
            at, dictionary.snippets[random->Below(dictionary.snippets.size())]);
        break;
      case 6:
        data->resize(at);
        break;
      default:
        if (size)
          (*data)[at] = static_cast<char>(random->Next());
        break;
    }
  }
}

// The input of one iteration, so that a failure can be reproduced from its
// number alone.
std::string MutatedInput(uint64_t seed,
                         uint64_t iteration,
                         const std::vector<std::string>& corpus,
                         const Dictionary& dictionary) {
  Random random(seed ^ (iteration * 0xD1B54A32D192ED03ull));
  std::string data = corpus[iteration % corpus.size()];
  Mutate(&random, dictionary, &data);
  return data;
}

std::string Printable(const std::string& data) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char c : data) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      text.push_back(static_cast<char>(c));
    } else {
      text += "\\x";
      text.push_back(kHex[c >> 4]);
      text.push_back(kHex[c & 15]);
    }
  }
  return text;
}

// JSON -----------------------------------------------------------------------

constexpr uint64_t kJsonSeed = 0x4A534F4E2D6D7574ull;
constexpr uint64_t kJsonIterations = 300000;

std::vector<std::string> JsonCorpus() {
  std::vector<std::string> corpus = {
      "{\"name\":\"setup\",\"version\":\"1.2.3.4\",\"flags\":[\"a@1\",\"b@2\"],"
      "\"retries\":3,\"ratio\":0.25,\"enabled\":true,\"proxy\":null}",
      "[1,-0,0.5,-1.5e-07,1E+05,2147483647,2147483648,-2147483648,"
      "-2147483649,9007199254740993]",
      "{\"s\":\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\v\\x41\\xe9\\u0041\\u00E9"
      "\\ud83d\\ude00\\u2028\"}",
      "\xEF\xBB\xBF// comment\r\n{\"a\": /* inline */ [true, false],\r\n"
      " \"b\": {\"c\": {\"d\": [[], {}]}}}\r\n",
      "{\"k\xC3\xA9y\":\"\xE2\x82\xAC \xF0\x9F\x98\x80 raw\ttab\","
      "\"a.b\":1,\"a.b\":2}",
      "[{\"x\":1,},[2,3,],]",
      "\"just a string\"",
      "-12.5e+3",
      "{\"list\":[{\"id\":1,\"tags\":[\"x\",\"y\"]},{\"id\":2,\"tags\":[]}],"
      "\"map\":{\"\":\"\",\"0\":0}}",
  };
  // Close to the nesting limit, so that an inserted bracket crosses it with
  // a deep partial tree to free.
  corpus.push_back(std::string(97, '[') + "{\"deep\":1}" +
                   std::string(97, ']'));
  return corpus;
}

Dictionary JsonDictionary() {
  Dictionary dictionary;
  dictionary.bytes = std::string("{}[]\",:\\/*-+.0123456789eExu \t\r\nfnt", 34);
  dictionary.bytes += std::string(
      "\0\x7F\x80\xBF\xC0\xC3\xE2\xED\xEF\xF0\xF4"
      "\xF8\xFE\xFF",
      14);
  dictionary.snippets = {
      "\\u",          "\\ud800",    "\\udc00",      "\\uFFFE",
      "\\x",          "\\x-",       "/*",           "*/",
      "//",           "[[[[[[[[",   "{\"k\":",      "1e999",
      "-0",           "2147483648", "\xEF\xBB\xBF", "\xF0\x9F\x98\x80",
      "\xED\xA0\x80", "true",       "null",         ",]",
      ",}",           "\r\n",       "\"",           "\\"};
  return dictionary;
}

struct JsonStats {
  int accepted = 0;
  int errors_by_code[JSONReader::JSON_UNQUOTED_DICTIONARY_KEY + 1] = {};
};

// Parses one input and checks the reader's contract. Null when all is well.
const char* CheckJson(const std::string& json, int options, JsonStats* stats) {
  int code = -1;
  std::string message;
  int line = -1;
  int column = -1;
  std::unique_ptr<Value> root = JSONReader::ReadAndReturnError(
      json, options, &code, &message, &line, &column);
  if (!root) {
    if (code < 0 || code > JSONReader::JSON_UNQUOTED_DICTIONARY_KEY)
      return "error code out of range";
    ++stats->errors_by_code[code];
    if (code == JSONReader::JSON_NO_ERROR)
      return message.empty() && line == 0 && column == 0
                 ? nullptr
                 : "position or message without an error code";
    if (line < 1 || message.compare(0, 6, "Line: ") != 0)
      return "error without a position";
    return nullptr;
  }

  ++stats->accepted;
  if (code != -1 || line != -1 || column != -1 || !message.empty())
    return "error outputs written on success";
  // What was accepted must be written and read back as the same tree.
  // "\u0000" reads as nothing, so trees with a zero byte are not compared.
  std::string written;
  if (!JSONWriter::Write(*root, &written))
    return "accepted tree not written";
  if (written.find("\\u0000") != std::string::npos)
    return nullptr;
  std::unique_ptr<Value> reread = JSONReader::Read(written);
  if (!reread)
    return "written text not read back";
  if (!reread->Equals(root.get()))
    return "written text read back differently";
  return nullptr;
}

TEST(ReaderMutationTest, JsonReader) {
  const std::vector<std::string> corpus = JsonCorpus();
  const Dictionary dictionary = JsonDictionary();
  // The unmutated corpus parses, with trailing commas allowed.
  for (const std::string& json : corpus) {
    EXPECT_TRUE(JSONReader::ReadAndReturnError(
        json, kParseAllowTrailingCommas, nullptr, nullptr, nullptr, nullptr))
        << json;
  }

  JsonStats stats;
  const char* problem = nullptr;
  uint64_t failed_iteration = 0;
  int64_t leaked = 0;
  for (uint64_t i = 0; i < kJsonIterations && !problem && !leaked; ++i) {
    ScopedAllocationCounter counter;
    {
      const std::string json = MutatedInput(kJsonSeed, i, corpus, dictionary);
      problem = CheckJson(json, static_cast<int>(i & 3), &stats);
    }
    leaked = counter.live();
    failed_iteration = i;
  }

  const std::string input =
      MutatedInput(kJsonSeed, failed_iteration, corpus, dictionary);
  EXPECT_FALSE(problem) << problem << " at iteration " << failed_iteration
                        << ": " << Printable(input);
  EXPECT_EQ(0, leaked) << "allocations left by iteration " << failed_iteration
                       << ": " << Printable(input);

  // The mutations reach every outcome, so the checks above did run on each.
  EXPECT_GT(stats.accepted, 1000);
  for (int code = 0; code <= JSONReader::JSON_UNQUOTED_DICTIONARY_KEY; ++code)
    EXPECT_GT(stats.errors_by_code[code], 0) << "error code " << code;
}

// Pickles --------------------------------------------------------------------

constexpr uint64_t kPickleSeed = 0x5049434B4C45ull;
constexpr uint64_t kPickleIterations = 200000;

// The fields of a message, in the order they were written and are read.
enum FieldType { kBool, kInt, kInt64, kString, kString16, kBytes };

struct Message {
  std::vector<FieldType> fields;
  std::string bytes;
};

std::string WrittenMessage(const std::vector<FieldType>& fields) {
  Pickle pickle;
  int counter = 0;
  for (FieldType field : fields) {
    ++counter;
    switch (field) {
      case kBool:
        pickle.WriteBool(counter & 1);
        break;
      case kInt:
        pickle.Write4Bytes(static_cast<uint32_t>(counter * 1000));
        break;
      case kInt64:
        pickle.Write8Bytes(0x0102030405060708ull * counter);
        break;
      case kString:
        pickle.WriteString(std::string(counter % 7, 'a' + counter % 26));
        break;
      case kString16:
        pickle.WriteString16(string16(counter % 5, L'\x263A'));
        break;
      case kBytes:
        pickle.WriteBytes("0123456789", counter % 11);
        break;
    }
  }
  return std::string(static_cast<const char*>(pickle.data()), pickle.size());
}

std::vector<Message> PickleCorpus() {
  const std::vector<std::vector<FieldType>> schemas = {
      {kInt, kString, kString16, kBool},
      {kString, kString, kInt64, kBytes, kInt},
      {kString16, kInt, kInt, kString16, kBytes, kBool, kInt64},
      {kBool},
      {},
  };
  std::vector<Message> corpus;
  for (const auto& fields : schemas)
    corpus.push_back({fields, WrittenMessage(fields)});
  return corpus;
}

Dictionary PickleDictionary() {
  Dictionary dictionary;
  dictionary.bytes = std::string("\0\1\3\4\x7F\x80\xFC\xFE\xFF", 9);
  // Little-endian words that make sizes and counts lie.
  dictionary.snippets = {
      std::string("\0\0\0\0", 4),         std::string("\xFF\xFF\xFF\xFF", 4),
      std::string("\xFF\xFF\xFF\x7F", 4), std::string("\0\0\0\x80", 4),
      std::string("\xFC\xFF\xFF\xFF", 4), std::string("\0\0\0\x40", 4),
      std::string("\x04\0\0\0", 4),       std::string("\x08\0\0\0", 4),
      std::string("\x40\0\0\0", 4)};
  return dictionary;
}

// Most mutations change the message's length and so its header, which the
// reader then refuses as a whole. Every other message gets a size word that
// fits again, so that the lying counts and lengths inside reach the reads.
std::string MutatedMessage(uint64_t iteration,
                           const std::vector<std::string>& corpus,
                           const Dictionary& dictionary) {
  std::string bytes = MutatedInput(kPickleSeed, iteration, corpus, dictionary);
  if (iteration % 2 == 1 && bytes.size() >= 4) {
    const uint32_t payload_size = static_cast<uint32_t>(bytes.size() - 4);
    for (int i = 0; i < 4; ++i)
      bytes[i] = static_cast<char>(payload_size >> (8 * i));
  }
  return bytes;
}

// Reads one message field by field as its schema says, then past its end.
// Null when all is well.
const char* CheckPickle(const std::string& bytes,
                        const std::vector<FieldType>& fields,
                        int bytes_length_change,
                        int* fields_read) {
  const char* const begin = bytes.data();
  const char* const end = begin + bytes.size();
  const Pickle view(begin, static_cast<int>(bytes.size()));
  const Pickle copy(view);
  for (const Pickle* pickle : {&view, &copy}) {
    PickleIterator iterator(*pickle);
    const char* const copy_begin = static_cast<const char*>(pickle->data());
    const char* const data_begin = pickle == &view ? begin : copy_begin;
    const char* const data_end =
        pickle == &view ? end : copy_begin + pickle->size();
    int counter = 0;
    for (FieldType field : fields) {
      ++counter;
      bool flag;
      int number;
      int64_t wide_number;
      std::string text;
      string16 text16;
      const char* data = nullptr;
      bool read = false;
      switch (field) {
        case kBool:
          read = iterator.ReadBool(&flag);
          break;
        case kInt:
          read = iterator.ReadInt(&number);
          break;
        case kInt64:
          read = iterator.ReadInt64(&wide_number);
          break;
        case kString:
          read = iterator.ReadString(&text);
          if (read && text.size() > bytes.size())
            return "string longer than the message";
          break;
        case kString16:
          read = iterator.ReadString16(&text16);
          if (read && text16.size() * 2 > bytes.size())
            return "wide string longer than the message";
          break;
        case kBytes: {
          const int length = counter % 11 + bytes_length_change;
          read = iterator.ReadBytes(&data, length);
          if (read &&
              (data < data_begin || length < 0 || length > data_end - data)) {
            return "bytes outside the message";
          }
          break;
        }
      }
      if (read)
        ++*fields_read;
    }
    const char* data = nullptr;
    if (iterator.ReadBytes(&data, 1) && (data < data_begin || data >= data_end))
      return "bytes outside the message";
  }
  return nullptr;
}

TEST(ReaderMutationTest, PickleReader) {
  const std::vector<Message> corpus = PickleCorpus();
  std::vector<std::string> corpus_bytes;
  for (const Message& message : corpus)
    corpus_bytes.push_back(message.bytes);
  const Dictionary dictionary = PickleDictionary();

  const char* problem = nullptr;
  uint64_t failed_iteration = 0;
  int64_t leaked = 0;
  int fields_read = 0;
  for (uint64_t i = 0; i < kPickleIterations && !problem && !leaked; ++i) {
    ScopedAllocationCounter counter;
    {
      const std::string bytes = MutatedMessage(i, corpus_bytes, dictionary);
      // Sometimes a caller asks for more or fewer bytes than were written.
      const int length_change = static_cast<int>(i % 7) - 3;
      problem =
          CheckPickle(bytes, corpus[i % corpus.size()].fields,
                      i % 5 == 0 ? length_change * 1000 : 0, &fields_read);
    }
    leaked = counter.live();
    failed_iteration = i;
  }

  const std::string input =
      MutatedMessage(failed_iteration, corpus_bytes, dictionary);
  EXPECT_FALSE(problem) << problem << " at iteration " << failed_iteration
                        << ": " << Printable(input);
  EXPECT_EQ(0, leaked) << "allocations left by iteration " << failed_iteration
                       << ": " << Printable(input);
  // Most fields of most mutated messages are still read.
  EXPECT_GT(fields_read, static_cast<int>(kPickleIterations));
}

}  // namespace
}  // namespace base
