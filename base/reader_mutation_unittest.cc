// Mutation tests of the JSON reader, which takes untrusted input
// (configuration files, server replies, statistics records). Each run applies
// the same few hundred thousand seeded mutations to a small corpus of valid
// inputs; every read must return and honour its own contract.

#include <string>
#include <vector>

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/strings/string_number_conversions.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// What mutations insert: single bytes and short runs that steer the reader
// into its rarer paths.
struct Dictionary {
  std::string bytes;
  std::vector<std::string> snippets;
};

// The input of one iteration, made again from its number alone to report a
// failure.
std::string MutatedInput(uint64_t seed,
                         uint64_t iteration,
                         const std::vector<std::string>& corpus,
                         const Dictionary& dictionary) {
  // splitmix64: small, fast and the same on every platform.
  uint64_t state = seed ^ (iteration * 0xD1B54A32D192ED03ull);
  auto below = [&state](size_t bound) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<size_t>((z ^ (z >> 31)) % bound);
  };
  std::string data = corpus[iteration % corpus.size()];
  for (size_t round = below(4) + 1; round > 0; --round) {
    const size_t size = data.size();
    const size_t at = size ? below(size) : 0;
    const char interesting = dictionary.bytes[below(dictionary.bytes.size())];
    const size_t kind = below(8);
    if (kind == 0)
      data.insert(at, 1, interesting);
    else if (kind == 1)
      data.insert(at, dictionary.snippets[below(dictionary.snippets.size())]);
    else if (kind == 2)
      data.resize(at);
    else if (size && kind == 3)
      data[at] ^= static_cast<char>(1u << below(8));
    else if (size && kind == 4)
      data.erase(at, 1 + below(8));
    else if (size && kind == 5)
      data.insert(below(size + 1), data.substr(at, 1 + below(16)));
    else if (size)
      data[at] = kind == 6 ? interesting : static_cast<char>(below(256));
  }
  return data;
}

// Checks |iterations| mutated inputs and stops at the first problem.
template <typename Check>
void CheckMutations(uint64_t seed,
                    uint64_t iterations,
                    const std::vector<std::string>& corpus,
                    const Dictionary& dictionary,
                    Check check) {
  for (uint64_t i = 0; i < iterations; ++i) {
    const std::string input = MutatedInput(seed, i, corpus, dictionary);
    if (const char* problem = check(i, input)) {
      ADD_FAILURE() << problem << " at iteration " << i << ": "
                    << HexEncode(input.data(), input.size());
      return;
    }
  }
}

// Null when the reader kept its contract on |json|. |outcomes| counts each
// error code and, last, the acceptances.
const char* CheckJson(const std::string& json, int options, int* outcomes) {
  int code = -1, line = -1, column = -1;
  std::string message;
  std::unique_ptr<Value> root = JSONReader::ReadAndReturnError(
      json, options, &code, &message, &line, &column);
  if (!root) {
    if (code < 0 || code > JSONReader::JSON_UNQUOTED_DICTIONARY_KEY)
      return "error code out of range";
    ++outcomes[code];
    if (code == JSONReader::JSON_NO_ERROR)
      return message.empty() && line == 0 && column == 0 ? nullptr
                                                         : "a position";
    return line < 1 || message.compare(0, 6, "Line: ") ? "no position"
                                                       : nullptr;
  }
  ++outcomes[JSONReader::JSON_UNQUOTED_DICTIONARY_KEY + 1];
  if (code != -1 || line != -1 || column != -1 || !message.empty())
    return "error outputs written on success";
  // What was accepted is written and read back as the same tree.
  std::string written;
  if (!JSONWriter::Write(*root, &written))
    return "accepted tree not written";
  std::unique_ptr<Value> reread = JSONReader::Read(written);
  return reread && reread->Equals(root.get()) ? nullptr
                                              : "not read back as written";
}

TEST(ReaderMutationTest, JsonReader) {
  const std::vector<std::string> corpus = {
      "{\"name\":\"setup\",\"version\":\"1.2.3.4\",\"flags\":[\"a@1\",\"b@2\"],"
      "\"retries\":3,\"ratio\":0.25,\"enabled\":true,\"proxy\":null}",
      "[1,-0,0.5,-1.5e-07,1E+05,2147483647,2147483648,-2147483648,"
      "-2147483649,9007199254740993,1e-310]",
      "{\"s\":\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\v\\x41\\xe9\\u0041\\u00E9"
      "\\ud83d\\ude00\\u2028\"}",
      "\xEF\xBB\xBF// comment\r\n{\"a\": /* inline */ [true, false],\r\n"
      " \"b\": {\"c\": {\"d\": [[], {}]}}}\r\n",
      "{\"k\xC3\xA9y\":\"\xE2\x82\xAC \xF0\x9F\x98\x80 raw\ttab\","
      "\"a.b\":1,\"a.b\":2}",
      "[{\"x\":1,},[2,3,],]",
      "\"just a string\"",
      "-12.5e+3",
      // Close to the nesting limit: an inserted bracket crosses it.
      std::string(97, '[') + "{\"deep\":1}" + std::string(97, ']'),
  };
  for (const std::string& json : corpus) {
    EXPECT_TRUE(JSONReader::ReadAndReturnError(
        json, kParseAllowTrailingCommas, nullptr, nullptr, nullptr, nullptr))
        << json;
  }
  const Dictionary dictionary = {
      std::string("{}[]\",:\\/*-+.0123456789eExu \t\r\nfnt\0\x7F\x80\xBF"
                  "\xC0\xC3\xE2\xED\xEF\xF0\xF4\xF8\xFE\xFF",
                  48),
      {"\\u",          "\\ud800",    "\\udc00",      "\\uFFFE",
       "\\x",          "\\x-",       "/*",           "*/",
       "//",           "[[[[[[[[",   "{\"k\":",      "1e999",
       "-0",           "2147483648", "\xEF\xBB\xBF", "\xF0\x9F\x98\x80",
       "\xED\xA0\x80", "true",       "null",         ",]",
       ",}",           "\r\n",       "\"",           "\\"}};
  // Each error code and acceptance is met, so each check above ran.
  int outcomes[JSONReader::JSON_UNQUOTED_DICTIONARY_KEY + 2] = {};
  CheckMutations(0x4A534F4E2D6D7574ull, 300000, corpus, dictionary,
                 [&outcomes](uint64_t i, const std::string& json) {
                   return CheckJson(json, static_cast<int>(i & 3), outcomes);
                 });
  for (const int& outcome : outcomes)
    EXPECT_GT(outcome, 0) << "outcome " << &outcome - outcomes;
}

}  // namespace
}  // namespace base
