// A child crashes on purpose with known registers, threads, heap text and
// crash keys; the test process, as its reporter, captures it and writes the
// text crash log, and every section is checked against what the test sees
// of the live child.

#include "desktop/windows/crash_reporter/crash_log_writer.h"

#include <windows.h>

#include <psapi.h>
#include <string.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/windows/crash_reporter/crash_client.h"
#include "desktop/windows/crash_reporter/crash_pipe_server.h"
#include "desktop/windows/crash_reporter/test/crash_server_recorder.h"
#include "desktop/windows/crash_reporter/test/crash_test_child_command.h"
#include "desktop/windows/crash_reporter/test/file_version_string.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

std::string Hex(uint64_t value, int width) {
  return base::StringPrintf("%0*llX", width,
                            static_cast<unsigned long long>(value));
}

uint64_t ParseHex(const std::string& text) {
  uint64_t value = 0;
  return base::HexStringToUint64(text, &value) ? value : ~uint64_t{0};
}

// What the test, as the child's reporter, wrote and saw while the child
// waited in its crash handler.
struct CapturedCrash {
  base::FilePath path;
  bool written = false;
  // With CR LF turned to LF; a bare LF in the file shows as "<LF>".
  std::string log;
  std::map<std::wstring, std::wstring> keys;
  CONTEXT waiter = {};
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  // Printed words of each "Stack dump" heading; printed memory by line.
  std::map<std::string, size_t> stack_words;
  std::map<uint64_t, size_t> memory_lines;
  size_t mismatches = 0;
};

void CompareWithChild(HANDLE process,
                      uint64_t address,
                      const std::vector<uint8_t>& printed,
                      CapturedCrash* crash) {
  std::vector<uint8_t> live(printed.size());
  SIZE_T read = 0;
  if (!::ReadProcessMemory(process, reinterpret_cast<const void*>(address),
                           live.data(), live.size(), &read) ||
      live != printed) {
    ++crash->mismatches;
  }
}

// Compares every printed stack word and memory byte with the child.
void CompareDumpsWithChild(HANDLE process, CapturedCrash* crash) {
  std::istringstream lines(crash->log);
  std::string stack;
  bool memory = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Stack dump: ", 0) == 0 || line == "Memory dumps:") {
      stack = line;
      memory = line == "Memory dumps:";
      continue;
    }
    if (line.empty() && !memory)
      stack.clear();
    if (line.empty() || stack.empty())
      continue;
    std::vector<uint8_t> printed;
    for (size_t i = 0; memory && i < 16; ++i) {
      const std::string pair = line.substr(14 + i * 3 + i / 4, 2);
      if (pair != "  ")
        printed.push_back(static_cast<uint8_t>(ParseHex(pair)));
    }
    for (size_t slot = 0; !memory && slot < 2 && line[14 + slot * 18] != ' ';
         ++slot) {
      const uint64_t word = ParseHex(line.substr(14 + slot * 18, 16));
      printed.insert(printed.end(), reinterpret_cast<const uint8_t*>(&word),
                     reinterpret_cast<const uint8_t*>(&word) + 8);
      ++crash->stack_words[stack];
    }
    const uint64_t address = ParseHex(line.substr(0, 12));
    if (memory)
      crash->memory_lines[address] = printed.size();
    CompareWithChild(process, address, printed, crash);
  }
}

void OnDumpRequest(void* context, CrashClient* client, const base::FilePath*) {
  CapturedCrash* crash = static_cast<CapturedCrash*>(context);
  const CrashKeySet keys = client->GetCrashKeys();
  for (size_t i = 0; i < keys.count; ++i) {
    crash->keys[keys.entries[i].name] =
        JoinCrashKey(keys.entries, keys.count, keys.entries[i].name);
  }
  ProcessStateImpl state;
  if (!state.Capture(client->process_id(), client->exception_pointers_address(),
                     client->thread_id_address(),
                     ParseModuleList(crash->keys[L"modules"]))) {
    return;
  }
  CrashReportData data;
  CollectCrashKeyMetadata(keys, &data);
  AddMemoryMetadata(state.working_set_size(), state.peak_working_set_size(),
                    state.private_bytes(), &data);
  MemoryRangeList ranges;
  crash->written = WriteCrashLog(&ranges, state, data,
                                 base::WideToUTF8(crash->path.value()));
  std::string text;
  base::ReadFileToString(crash->path, &text);
  base::ReplaceSubstringsAfterOffset(&text, 0, "\r\n", "\r");
  base::ReplaceSubstringsAfterOffset(&text, 0, "\n", "<LF>");
  base::ReplaceChars(text, "\r", "\n", &crash->log);
  const HANDLE process = client->process_handle();
  ::GetProcessMemoryInfo(
      process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&crash->counters),
      sizeof(crash->counters));
  const std::vector<std::string> facts =
      base::SplitString(base::WideToUTF8(crash->keys[L"gpu_device_id"]), ":",
                        base::TRIM_WHITESPACE, base::SPLIT_WANT_ALL);
  HANDLE waiter = ::OpenThread(THREAD_GET_CONTEXT, FALSE,
                               static_cast<DWORD>(ParseHex(facts.at(1))));
  crash->waiter.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
  ::GetThreadContext(waiter, &crash->waiter);
  ::CloseHandle(waiter);
  CompareDumpsWithChild(process, crash);
}

// True when the printed memory covers [start, end).
bool Covers(const std::map<uint64_t, size_t>& lines,
            uint64_t start,
            uint64_t end) {
  while (start < end) {
    auto line = lines.upper_bound(start);
    if (line == lines.begin() || start >= (--line)->first + line->second)
      return false;
    start = line->first + line->second;
  }
  return true;
}

TEST(CrashLogWriterTest, TheLogOfACrashedChildMatchesTheChild) {
  base::UniqueTestDir folder;
  CapturedCrash crash;
  crash.path = folder.path().Append(L"crash.txt");
  CrashPipeServer server(CrashServerRecorder::OwnPipeName(), nullptr, nullptr,
                         nullptr, &OnDumpRequest, &crash, nullptr, nullptr,
                         nullptr, nullptr, false, nullptr);
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(0xC0000005u,
            RunCrashTestChild(WatchedCrashTestChild("known-state"), nullptr));
  ASSERT_TRUE(crash.written);
  const std::string& log = crash.log;
  const auto contains = [&log](const std::string& text) {
    return log.find(text) != std::string::npos;
  };
  EXPECT_FALSE(contains("<LF>"));
  const std::string facts = base::WideToUTF8(crash.keys[L"gpu_device_id"]);
  const std::vector<std::string> fact = base::SplitString(
      facts, ":", base::TRIM_WHITESPACE, base::SPLIT_WANT_ALL);
  const std::string main = Hex(ParseHex(fact[0]), 8);
  const std::string waiter = Hex(ParseHex(fact[1]), 8);
  const uint64_t heap = ParseHex(fact[2]);
  const uint64_t fault = ParseHex(fact[3]);
  const std::vector<ModuleListEntry> modules =
      ParseModuleList(crash.keys[L"modules"]);
  ASSERT_LE(2u, modules.size());

  // Header, and metadata: the child's keys (a forged line kept on its
  // line), the system description and the memory counters.
  EXPECT_EQ(0u, log.find("VEXLO-CRASHLOG V1 desktop" +
                         ProductConfiguration::GetCrashLogProductSuffix() +
                         " " + base::WideToUTF8(crash.keys[L"version"]) + " " +
                         base::WideToUTF8(crash.keys[L"build"]) +
                         " windows x64 release\n"
                         "crash_reporter_test_child.exe caused exception "
                         "C0000005 at address " +
                         Hex(fault, 12) + " (Base: " +
                         Hex(modules[0].base, 12) + ")\n\nmetadata:\n"));
  EXPECT_TRUE(contains("\nprocess_type=\"installer\"\n"));
  EXPECT_TRUE(contains("\ngpu_vendor_id=\"ab  forged=\"1\"\"\n"));
  EXPECT_TRUE(contains("\ngpu_device_id=\"" + facts + "\"\n"));
  EXPECT_TRUE(contains("\nenabled_extensions=\"\"\n"));
  EXPECT_FALSE(contains("\nmodules="));
  EXPECT_TRUE(contains("\ncpu_architecture=\"" +
                       CrashMetadata::Get()->cpu_architecture() + "\"\n"));
  EXPECT_TRUE(contains("\nmem_private_usage=\"" +
                       base::Uint64ToString(crash.counters.PrivateUsage) +
                       "\"\n"));
  uint64_t peak = 0;
  const size_t peak_at = log.find("\nmem_peak_working_set_size=\"") + 28;
  base::StringToUint64(log.substr(peak_at, log.find('"', peak_at) - peak_at),
                       &peak);
  EXPECT_LT(0u, peak);
  EXPECT_GE(crash.counters.PeakWorkingSetSize, peak);

  // The crashed thread first, with the registers it crashed with.
  EXPECT_EQ(log.find("\nThread: "), log.find("\nThread: " + main + "\n"));
  EXPECT_TRUE(contains(
      "\nThreadInfo: " + main +
      "\nPriority=00000000\nCrashed=1\nchecked_context_values=17 (all)\n"
      "checked_stack_values=" +
      std::to_string(crash.stack_words["Stack dump: " + main]) +
      " (all)\n\nRegisters: " + main +
      "\nRAX=0000000000000000   RBX=1111111111111111   RCX=" + Hex(heap, 16) +
      "\nRDX=" + Hex(fault, 16) +
      "   RSI=5151515151515151   RDI=0D1D0D1D0D1D0D1D\n"));
  EXPECT_TRUE(contains("   R12=" + Hex(heap, 16) + "   R13=" + Hex(fault, 16) +
                       "\nR14=0123456789ABCDEF   R15=FEDCBA9876543210   RBP="));
  EXPECT_TRUE(contains("   RIP=" + Hex(fault, 16) + " FLAGS="));
  EXPECT_TRUE(contains("\n\nFPU stack: " + main +
                       "\nst(0)=3FFF8000000000000000 st(1)="));
  EXPECT_TRUE(contains("\n XMM8=FEDCBA98765432100123456789ABCDEF  XMM9="));
  EXPECT_LT(0u, crash.stack_words["Stack dump: " + main]);

  // The waiting thread, as the test reads it.
  EXPECT_TRUE(
      contains("\nThreadInfo: " + waiter + "\nPriority=FFFFFFFF\nCrashed=0\n"));
  EXPECT_TRUE(contains("\nRSP=" + Hex(crash.waiter.Rsp, 16) +
                       "   RIP=" + Hex(crash.waiter.Rip, 16) +
                       " FLAGS=" + Hex(crash.waiter.EFlags, 8) +
                       "\n\nFPU stack: " + waiter + "\n"));
  EXPECT_TRUE(contains("\nStack dump: " + waiter + "\n" +
                       Hex(crash.waiter.Rsp & ~uint64_t{3}, 12) + " "));
  EXPECT_LT(0u, crash.stack_words["Stack dump: " + waiter]);

  // Modules: every one the child listed, at its base and size.
  EXPECT_TRUE(contains("\nUsed DLLs:\ncrash_reporter_test_child.exe "));
  for (const ModuleListEntry& module : modules) {
    EXPECT_TRUE(contains(" Base: " + Hex(module.base, 12) +
                         " Size: " + Hex(module.size, 8) + " Timestamp: "))
        << module.name;
  }
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const IMAGE_NT_HEADERS* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      reinterpret_cast<const uint8_t*>(kernel32) +
      reinterpret_cast<const IMAGE_DOS_HEADER*>(kernel32)->e_lfanew);
  wchar_t kernel32_path[MAX_PATH];
  ::GetModuleFileNameW(kernel32, kernel32_path, MAX_PATH);
  EXPECT_TRUE(contains(base::StringPrintf(
      "\n%-26s %-46s Base: %s Size: %s Timestamp: %s\n", "KERNEL32.dll",
      GetFileVersionString(kernel32_path, L"FileVersion").c_str(),
      Hex(reinterpret_cast<uintptr_t>(kernel32), 12).c_str(),
      Hex(headers->OptionalHeader.SizeOfImage, 8).c_str(),
      Hex(headers->FileHeader.TimeDateStamp, 8).c_str())));

  // Memory: the heap text around R12 and the code around R13; every
  // printed byte is the child's.
  EXPECT_TRUE(Covers(crash.memory_lines, heap - 1024, heap + 1024));
  EXPECT_TRUE(Covers(crash.memory_lines, fault - 16, fault + 16));
  EXPECT_TRUE(contains("\n" + Hex(heap, 12) +
                       "  4B 4E 4F 57  4E 2D 48 45  41 50 2D 42  59 54 45 53 "
                       "KNOWN-HEAP-BYTES\n"));
  EXPECT_LT(100u, crash.memory_lines.size());
  EXPECT_EQ(0u, crash.mismatches);
}

TEST(CrashLogWriterTest, ThreadsShareABoundedMemoryBudget) {
  const struct {
    bool crashed;
    uint64_t collected;
    bool last;
    uint64_t budget;
  } kCases[] = {
      {true, 10000000, false, UINT64_MAX},
      {false, 0, false, 61440},
      {false, 614400 - 61441, false, 61440},
      {false, 614400 - 61440, false, 30720},
      {false, 614400 - 61440, true, 61440},
      {false, 614399, false, 0},
      {false, 614399, true, 1},
      {false, 614400, true, 0},
      {false, 700000, true, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.collected);
    EXPECT_EQ(c.budget, GetThreadMemoryBudget(c.crashed, c.collected, c.last));
  }
}

StackBlock MakeBlock(uint64_t start,
                     const std::vector<uint64_t>& words,
                     size_t extra_bytes = 0) {
  StackBlock block;
  block.start = start;
  block.bytes.resize(words.size() * 8 + extra_bytes);
  memcpy(block.bytes.data(), words.data(), words.size() * 8);
  return block;
}

TEST(CrashLogWriterTest, StackLinesMarkTheFrameChain) {
  // 20 bytes: one full line, then one with no whole word.
  StackBlock short_block = MakeBlock(0x1000, {0x4847464544434241, 0x1f}, 4);
  memcpy(&short_block.bytes[16], "xyz\x7f", 4);
  EXPECT_EQ(
      "000000001000  4847464544434241  000000000000001F  ABCDEFGH........\n"
      "000000001010 " +
          std::string(36, ' ') + " xyz.\n",
      FormatStackLines(short_block, 0));
  // The chain runs 0x2008 -> 0x2018 -> 0x2000 (backwards: not followed by
  // the dump's marker once it is met).
  const StackBlock chain = MakeBlock(0x2000, {0x2018, 0x2018, 0, 0x2000, 0});
  EXPECT_EQ(
      "000000002000  0000000000002018 >0000000000002018  . ....... ......\n"
      "000000002010  0000000000000000 >0000000000002000  ......... ......\n"
      "000000002020  0000000000000000 " +
          std::string(18, ' ') + " ........\n",
      FormatStackLines(chain, 0x2008));
}

TEST(CrashLogWriterTest, UnknownStacksKeepTheDeepestFrame) {
  const uint64_t kStart = 0x10000;
  const struct {
    const char* name;
    std::vector<std::pair<size_t, uint64_t>> words;
    uint64_t frame;
    size_t extent;
  } kCases[] = {
      {"nothing to follow", {}, 0, 512},
      {"a chain beyond the first 512 bytes",
       {{0x400, kStart + 0x500}, {0x500, kStart + 0x4F8}},
       kStart + 0x400,
       0x500},
      {"an unaligned frame", {{0x400, kStart + 0x500}}, kStart + 0x401, 512},
      {"a frame past the block", {}, kStart + 0x800, 512},
      {"kept words pointing deeper, in turn",
       {{0x40, kStart + 0x300}, {0x300, kStart + 0x600}},
       0,
       0x600},
      {"a word past what is kept",
       {{0x40, kStart + 0x700}, {0x780, kStart + 0x7F8}},
       0,
       0x700},
      {"the last whole word", {{0x40, kStart + 0x7F8}}, 0, 0x7F8},
      {"an unaligned word", {{0x40, kStart + 0x7FC}}, 0, 512},
      {"a word past the block", {{0x40, kStart + 0x800}}, 0, 512},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint64_t> words(256, 0);
    for (const auto& word : c.words)
      words[word.first / 8] = word.second;
    EXPECT_EQ(c.extent, GetFramesExtent(MakeBlock(kStart, words), c.frame));
  }
}

TEST(CrashLogWriterTest, MemoryLinesGroupBytesByFour) {
  std::vector<uint8_t> bytes(20);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(0x3E + i);
  EXPECT_EQ(
      "0000DEADBEE0  3E 3F 40 41  42 43 44 45  46 47 48 49  4A 4B 4C 4D "
      ">?@ABCDEFGHIJKLM\n"
      "0000DEADBEF0  4E 4F 50 51" +
          std::string(39, ' ') + " NOPQ\n",
      FormatMemoryLines(0xDEADBEE0, bytes.data(), bytes.size()));
}

TEST(CrashLogWriterTest, ValuesStayOnTheirLine) {
  EXPECT_EQ("a  b c d\x80", WithoutControlCharacters("a\r\nb\tc\x7f"
                                                     "d\x80"));
  EXPECT_EQ("", WithoutControlCharacters(""));
}

// Stacks read from memory the test lays out: a known extent trims trailing
// zeros, an unknown one keeps the crashed thread's whole read, and an
// unreadable tail shrinks the read page by page.
TEST(CrashLogWriterTest, StackBlocksAreReadAndTrimmed) {
  uint8_t* region = static_cast<uint8_t*>(
      ::VirtualAlloc(nullptr, 3 * 4096, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_TRUE(region);
  const uint64_t base = reinterpret_cast<uintptr_t>(region);
  memset(region + 0x800, 0x11, 100);
  ProcessMemoryReader reader(::GetCurrentProcess());
  CONTEXT context = {};
  context.Rsp = base + 0x802;  // rounded down to a multiple of 4
  auto thread = ThreadInfoImpl::CreateCrashed(::GetCurrentProcess(),
                                              ::GetCurrentThreadId(), context);
  EXPECT_EQ(0x3000u - 0x802, thread->stack_size());
  StackBlock block = CrashLogWriter::ReadStackBlock(&reader, *thread);
  EXPECT_EQ(base + 0x800, block.start);
  EXPECT_EQ(104u + 128, block.bytes.size());

  // Read-only memory is no stack: the crashed thread keeps all 8192 bytes
  // read.
  DWORD old = 0;
  ASSERT_TRUE(::VirtualProtect(region, 3 * 4096, PAGE_READONLY, &old));
  thread = ThreadInfoImpl::CreateCrashed(::GetCurrentProcess(),
                                         ::GetCurrentThreadId(), context);
  EXPECT_EQ(0u, thread->stack_size());
  block = CrashLogWriter::ReadStackBlock(&reader, *thread);
  EXPECT_EQ(base + 0x800, block.start);
  EXPECT_EQ(8192u, block.bytes.size());

  context.Rsp = 4095;
  thread = ThreadInfoImpl::CreateCrashed(::GetCurrentProcess(),
                                         ::GetCurrentThreadId(), context);
  EXPECT_TRUE(CrashLogWriter::ReadStackBlock(&reader, *thread).bytes.empty());
  ::VirtualFree(region, 0, MEM_RELEASE);
}

TEST(CrashLogWriterTest, WritesNothingWithoutAnAsciiPathOrFolder) {
  const ProcessStateImpl state;
  MemoryRangeList ranges;
  EXPECT_FALSE(WriteCrashLog(&ranges, state, CrashReportData(), ""));
  base::UniqueTestDir folder;
  const base::FilePath missing =
      folder.path().Append(L"missing").Append(L"crash.txt");
  EXPECT_FALSE(WriteCrashLog(&ranges, state, CrashReportData(),
                             base::WideToUTF8(missing.value())));
  EXPECT_FALSE(base::PathExists(missing));
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo
