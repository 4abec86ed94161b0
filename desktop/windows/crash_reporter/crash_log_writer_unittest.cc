// A child crashes on purpose with known registers, threads, heap text and
// crash keys; the test process, as its reporter, captures it and writes the
// text crash log, and every section is checked against what the test sees
// of the live child.

#include "desktop/windows/crash_reporter/crash_log_writer.h"

#include <windows.h>

#include <psapi.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
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

bool ReadLive(HANDLE process, uint64_t address, void* buffer, size_t size) {
  SIZE_T read = 0;
  return ::ReadProcessMemory(process, reinterpret_cast<const void*>(address),
                             buffer, size, &read) &&
         read == size;
}

// The bytes of every "Memory dumps" line, by address.
std::map<uint64_t, uint8_t> ParseMemoryDumps(
    const std::vector<std::string>& lines) {
  std::map<uint64_t, uint8_t> bytes;
  for (const std::string& line : lines) {
    if (line.size() < 12 + 16 * 3 + 4)
      continue;
    const uint64_t address = ParseHex(line.substr(0, 12));
    size_t position = 12;
    for (size_t i = 0; i < 16; ++i) {
      position += i % 4 == 0 ? 2 : 1;
      const std::string pair = line.substr(position, 2);
      position += 2;
      if (pair != "  ")
        bytes[address + i] = static_cast<uint8_t>(ParseHex(pair));
    }
  }
  return bytes;
}

// What the test's reporter callback produced and observed.
struct CapturedCrash {
  bool captured = false;
  bool written = false;
  std::string log;
  std::map<std::wstring, std::wstring> keys;
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  // The waiting thread's registers as the test itself reads them.
  CONTEXT waiter_context = {};
  DWORD waiter_id = 0;
  // Printed memory and stack bytes compared with the live child.
  size_t memory_bytes_checked = 0;
  size_t memory_mismatches = 0;
  size_t stack_words_checked = 0;
  size_t stack_mismatches = 0;
  base::FilePath path;
};

std::vector<std::string> SplitLines(const std::string& text) {
  return base::SplitString(text, "\n", base::KEEP_WHITESPACE,
                           base::SPLIT_WANT_ALL);
}

// Every line after |heading|.
std::vector<std::string> LinesAfter(const std::vector<std::string>& lines,
                                    const std::string& heading) {
  const auto found = std::find(lines.begin(), lines.end(), heading);
  return std::vector<std::string>(found == lines.end() ? found : found + 1,
                                  lines.end());
}

// The lines after |heading| up to the next empty line.
std::vector<std::string> Section(const std::vector<std::string>& lines,
                                 const std::string& heading,
                                 size_t from = 0) {
  std::vector<std::string> section;
  size_t i = from;
  while (i < lines.size() && lines[i] != heading)
    ++i;
  for (++i; i < lines.size() && !lines[i].empty(); ++i)
    section.push_back(lines[i]);
  return section;
}

void CompareWithLiveMemory(HANDLE process, CapturedCrash* crash) {
  const std::vector<std::string> lines = SplitLines(crash->log);
  const std::map<uint64_t, uint8_t> printed =
      ParseMemoryDumps(LinesAfter(lines, "Memory dumps:"));
  uint64_t page = 1;
  uint8_t live[4096];
  for (const auto& byte : printed) {
    if (byte.first / sizeof(live) != page) {
      page = byte.first / sizeof(live);
      if (!ReadLive(process, page * sizeof(live), live, sizeof(live)))
        memset(live, 0xEE, sizeof(live));
    }
    ++crash->memory_bytes_checked;
    if (live[byte.first % sizeof(live)] != byte.second)
      ++crash->memory_mismatches;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("Stack dump: ", 0) != 0)
      continue;
    for (const std::string& line : Section(lines, lines[i], i)) {
      const uint64_t address = ParseHex(line.substr(0, 12));
      for (size_t slot = 0; slot < 2; ++slot) {
        const std::string word = line.substr(13 + slot * 18 + 1, 16);
        if (word == std::string(16, ' '))
          continue;
        uint64_t live = 0;
        ++crash->stack_words_checked;
        if (!ReadLive(process, address + slot * 8, &live, 8) ||
            live != ParseHex(word)) {
          ++crash->stack_mismatches;
        }
      }
    }
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
  crash->captured = state.Capture(
      client->process_id(), client->exception_pointers_address(),
      client->thread_id_address(), ParseModuleList(crash->keys[L"modules"]));
  if (!crash->captured)
    return;
  CrashReportData data;
  CollectCrashKeyMetadata(keys, &data);
  AddMemoryMetadata(state.working_set_size(), state.peak_working_set_size(),
                    state.private_bytes(), &data);
  MemoryRangeList ranges;
  crash->written = WriteCrashLog(&ranges, state, data,
                                 base::WideToUTF8(crash->path.value()));
  base::ReadFileToString(crash->path, &crash->log);
  const HANDLE process = client->process_handle();
  ::GetProcessMemoryInfo(
      process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&crash->counters),
      sizeof(crash->counters));
  const std::vector<std::string> facts =
      base::SplitString(base::WideToUTF8(crash->keys[L"gpu_device_id"]), ":",
                        base::TRIM_WHITESPACE, base::SPLIT_WANT_ALL);
  if (facts.size() == 4) {
    crash->waiter_id = static_cast<DWORD>(ParseHex(facts[1]));
    HANDLE waiter = ::OpenThread(THREAD_GET_CONTEXT, FALSE, crash->waiter_id);
    crash->waiter_context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    ::GetThreadContext(waiter, &crash->waiter_context);
    ::CloseHandle(waiter);
  }
  std::string text_log = crash->log;
  crash->log.clear();
  // The file is written in text mode: every line ends with CR LF.
  for (size_t i = 0; i < text_log.size(); ++i) {
    if (text_log[i] == '\r' && i + 1 < text_log.size() &&
        text_log[i + 1] == '\n') {
      continue;
    }
    if (text_log[i] == '\n' && (i == 0 || text_log[i - 1] != '\r'))
      crash->log += "<bare LF>";
    crash->log += text_log[i];
  }
  CompareWithLiveMemory(process, crash);
}

// The lines of the thread section that starts with "Thread: <id>".
std::vector<std::string> ThreadLines(const std::vector<std::string>& lines,
                                     uint32_t thread_id) {
  const std::string heading = "Thread: " + Hex(thread_id, 8);
  std::vector<std::string> thread;
  size_t i = 0;
  while (i < lines.size() && lines[i] != heading)
    ++i;
  for (; i < lines.size() && lines[i] != "Used DLLs:"; ++i) {
    if (!thread.empty() && lines[i].rfind("Thread: ", 0) == 0)
      break;
    thread.push_back(lines[i]);
  }
  return thread;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool HasLineContaining(const std::vector<std::string>& lines,
                       const std::string& text) {
  for (const std::string& line : lines) {
    if (line.find(text) != std::string::npos)
      return true;
  }
  return false;
}

TEST(CrashLogWriterTest, TheLogOfACrashedChildMatchesTheChild) {
  base::UniqueTestDir folder;
  ASSERT_TRUE(folder.IsValid());
  CapturedCrash crash;
  crash.path = folder.path().Append(L"crash.txt");
  CrashPipeServer server(CrashServerRecorder::OwnPipeName(), nullptr, nullptr,
                         nullptr, &OnDumpRequest, &crash, nullptr, nullptr,
                         nullptr, nullptr, false, nullptr);
  ASSERT_TRUE(server.Start());
  uint32_t pid = 0;
  EXPECT_EQ(0xC0000005u,
            RunCrashTestChild(WatchedCrashTestChild("known-state"), &pid));
  ASSERT_TRUE(crash.captured);
  ASSERT_TRUE(crash.written);
  EXPECT_EQ(std::string::npos, crash.log.find("<bare LF>"));
  const std::vector<std::string> lines = SplitLines(crash.log);
  const std::vector<std::string> facts =
      base::SplitString(base::WideToUTF8(crash.keys[L"gpu_device_id"]), ":",
                        base::TRIM_WHITESPACE, base::SPLIT_WANT_ALL);
  ASSERT_EQ(4u, facts.size());
  const uint32_t main_thread = static_cast<uint32_t>(ParseHex(facts[0]));
  const uint64_t heap = ParseHex(facts[2]);
  const uint64_t fault = ParseHex(facts[3]);
  const std::vector<ModuleListEntry> modules =
      ParseModuleList(crash.keys[L"modules"]);
  ASSERT_LE(2u, modules.size());
  const uint64_t exe_base = modules[0].base;

  // Header.
  ASSERT_LE(2u, lines.size());
  EXPECT_EQ("VEXLO-CRASHLOG V1 desktop" +
                ProductConfiguration::GetCrashLogProductSuffix() + " " +
                base::WideToUTF8(crash.keys[L"version"]) + " " +
                base::WideToUTF8(crash.keys[L"build"]) + " windows x64 release",
            lines[0]);
  EXPECT_EQ(
      "crash_reporter_test_child.exe caused exception C0000005 at "
      "address " +
          Hex(fault, 12) + " (Base: " + Hex(exe_base, 12) + ")",
      lines[1]);

  // Metadata: the child's keys, a forged line kept on its own line, the
  // system description and the live memory counters.
  const std::vector<std::string> metadata = Section(lines, "metadata:");
  EXPECT_TRUE(HasLine(metadata, "process_type=\"installer\""));
  EXPECT_TRUE(HasLine(metadata, "gpu_vendor_id=\"ab  forged=\"1\"\""));
  EXPECT_FALSE(HasLineContaining(lines, "\r"));
  EXPECT_TRUE(HasLine(
      metadata, "gpu_device_id=\"" +
                    base::WideToUTF8(crash.keys[L"gpu_device_id"]) + "\""));
  EXPECT_TRUE(HasLine(metadata, "enabled_extensions=\"\""));
  EXPECT_FALSE(HasLineContaining(metadata, "modules="));
  EXPECT_TRUE(HasLine(
      metadata,
      "cpu_architecture=\"" + CrashMetadata::Get()->cpu_architecture() + "\""));
  uint64_t peak = 0;
  for (const std::string& line : metadata) {
    if (line.rfind("mem_peak_working_set_size=", 0) == 0)
      base::StringToUint64(line.substr(27, line.size() - 28), &peak);
  }
  EXPECT_LT(0u, peak);
  EXPECT_GE(crash.counters.PeakWorkingSetSize, peak);
  EXPECT_TRUE(HasLine(
      metadata, "mem_private_usage=\"" +
                    base::Uint64ToString(crash.counters.PrivateUsage) + "\""));

  // The crashed thread comes first, with the registers it crashed with.
  EXPECT_EQ("Thread: " + Hex(main_thread, 8),
            *std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
              return l.rfind("Thread: ", 0) == 0;
            }));
  const std::vector<std::string> crashed = ThreadLines(lines, main_thread);
  EXPECT_TRUE(HasLine(crashed, "Crashed=1"));
  EXPECT_TRUE(HasLine(crashed, "checked_context_values=17 (all)"));
  size_t stack_words = 0;
  for (const std::string& line :
       Section(crashed, "Stack dump: " + Hex(main_thread, 8))) {
    stack_words += (line[14] != ' ') + (line[32] != ' ');
  }
  EXPECT_LT(0u, stack_words);
  EXPECT_TRUE(HasLine(crashed, "checked_stack_values=" +
                                   std::to_string(stack_words) + " (all)"));
  EXPECT_TRUE(HasLineContaining(crashed, "st(0)=3FFF8000000000000000 "));
  EXPECT_TRUE(HasLineContaining(
      crashed, " XMM8=FEDCBA98765432100123456789ABCDEF  XMM9="));
  EXPECT_TRUE(HasLineContaining(
      crashed, "RAX=0000000000000000   RBX=1111111111111111   RCX="));
  EXPECT_TRUE(HasLineContaining(crashed, "RSI=5151515151515151"));
  EXPECT_TRUE(HasLineContaining(crashed, "RDI=0D1D0D1D0D1D0D1D"));
  EXPECT_TRUE(HasLineContaining(crashed, "R12=" + Hex(heap, 16)));
  EXPECT_TRUE(HasLineContaining(crashed, "R13=" + Hex(fault, 16)));
  EXPECT_TRUE(HasLineContaining(crashed, "R14=0123456789ABCDEF"));
  EXPECT_TRUE(HasLineContaining(crashed, "R15=FEDCBA9876543210"));
  EXPECT_TRUE(HasLineContaining(crashed, "RIP=" + Hex(fault, 16)));
  EXPECT_TRUE(HasLine(crashed, "Registers: " + Hex(main_thread, 8)));
  EXPECT_TRUE(HasLine(crashed, "FPU stack: " + Hex(main_thread, 8)));
  EXPECT_LT(0u, Section(crashed, "Stack dump: " + Hex(main_thread, 8)).size());

  // The waiting thread, as the test reads it.
  const std::vector<std::string> waiter = ThreadLines(lines, crash.waiter_id);
  ASSERT_FALSE(waiter.empty());
  EXPECT_TRUE(HasLine(waiter, "Priority=FFFFFFFF"));
  EXPECT_TRUE(HasLine(waiter, "Crashed=0"));
  EXPECT_TRUE(
      HasLine(waiter, "RSP=" + Hex(crash.waiter_context.Rsp, 16) +
                          "   RIP=" + Hex(crash.waiter_context.Rip, 16) +
                          " FLAGS=" + Hex(crash.waiter_context.EFlags, 8)));
  const std::vector<std::string> waiter_stack =
      Section(waiter, "Stack dump: " + Hex(crash.waiter_id, 8));
  ASSERT_FALSE(waiter_stack.empty());
  EXPECT_EQ(Hex(crash.waiter_context.Rsp & ~uint64_t{3}, 12),
            waiter_stack[0].substr(0, 12));
  EXPECT_LT(0u, crash.stack_words_checked);
  EXPECT_EQ(0u, crash.stack_mismatches);

  // Modules: every one the child listed, at its base and size.
  const std::vector<std::string> dlls = Section(lines, "Used DLLs:");
  EXPECT_LE(modules.size(), dlls.size());
  for (const ModuleListEntry& module : modules) {
    SCOPED_TRACE(module.name);
    EXPECT_TRUE(HasLineContaining(dlls, " Base: " + Hex(module.base, 12) +
                                            " Size: " + Hex(module.size, 8) +
                                            " Timestamp: "));
  }
  EXPECT_EQ(0u, dlls[0].find("crash_reporter_test_child.exe "));
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const IMAGE_NT_HEADERS* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      reinterpret_cast<const uint8_t*>(kernel32) +
      reinterpret_cast<const IMAGE_DOS_HEADER*>(kernel32)->e_lfanew);
  wchar_t kernel32_path[MAX_PATH];
  ::GetModuleFileNameW(kernel32, kernel32_path, MAX_PATH);
  const std::string kernel32_line = base::StringPrintf(
      "%-26s %-46s Base: %s Size: %s Timestamp: %s", "KERNEL32.dll",
      GetFileVersionString(kernel32_path, L"FileVersion").c_str(),
      Hex(reinterpret_cast<uintptr_t>(kernel32), 12).c_str(),
      Hex(headers->OptionalHeader.SizeOfImage, 8).c_str(),
      Hex(headers->FileHeader.TimeDateStamp, 8).c_str());
  EXPECT_TRUE(HasLine(dlls, kernel32_line)) << kernel32_line;

  // Memory: the heap text around R12 and the code around R13, every byte
  // as the live child holds it.
  const std::map<uint64_t, uint8_t> memory =
      ParseMemoryDumps(LinesAfter(lines, "Memory dumps:"));
  for (uint64_t address = heap - 1024; address < heap + 1024; ++address)
    ASSERT_EQ(1u, memory.count(address)) << Hex(address, 12);
  for (uint64_t address = fault - 16; address < fault + 16; ++address)
    ASSERT_EQ(1u, memory.count(address)) << Hex(address, 12);
  const std::vector<std::string> dumps = LinesAfter(lines, "Memory dumps:");
  const auto heap_line =
      std::find_if(dumps.begin(), dumps.end(), [&](const std::string& line) {
        return line.rfind(Hex(heap, 12), 0) == 0;
      });
  ASSERT_NE(dumps.end(), heap_line);
  EXPECT_EQ(" KNOWN-HEAP-BYTES", heap_line->substr(heap_line->size() - 17));
  EXPECT_LT(2048u, crash.memory_bytes_checked);
  EXPECT_EQ(0u, crash.memory_mismatches);
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
