#include "desktop/windows/crash_reporter/crash_log_writer.h"

#include <windows.h>

#include <string.h>

#include <algorithm>
#include <array>

#include "base/logging.h"
#include "base/strings/stringprintf.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr uint64_t kPageSize = 4096;
constexpr size_t kWordSize = 8;
constexpr size_t kLineBytes = 16;
constexpr size_t kMaxStackRead = 8192;
constexpr size_t kMinCrashedStackRead = 512;
constexpr size_t kMinFrameChainKeep = 512;
constexpr size_t kStackTail = 128;
constexpr size_t kMaxWrittenThreads = 499;
constexpr uint64_t kTotalMemoryBudget = 614400;
constexpr uint64_t kThreadMemoryBudget = 61440;
constexpr uint64_t kCodeReach = 16;
constexpr uint64_t kDataReach = 1024;
constexpr size_t kGeneralRegisterCount = 17;
constexpr size_t kRegisterCount = 68;

// Every register value the log prints, in print order: the 17 general
// registers (the ones followed into memory), FLAGS, the x87 registers as
// sign-and-exponent word and significand, the x87 status and control
// words, and the XMM registers high half first.
std::array<uint64_t, kRegisterCount> GetRegisterValues(const CONTEXT& c) {
  std::array<uint64_t, kRegisterCount> values = {
      c.Rax, c.Rbx, c.Rcx, c.Rdx, c.Rsi, c.Rdi, c.R8,  c.R9,  c.R10,
      c.R11, c.R12, c.R13, c.R14, c.R15, c.Rbp, c.Rsp, c.Rip, c.EFlags};
  size_t next = kGeneralRegisterCount + 1;
  for (const M128A& x87 : c.FltSave.FloatRegisters) {
    values[next++] = static_cast<uint16_t>(x87.High);
    values[next++] = x87.Low;
  }
  values[next++] = c.FltSave.StatusWord;
  values[next++] = c.FltSave.ControlWord;
  for (const M128A& xmm : c.FltSave.XmmRegisters) {
    values[next++] = static_cast<uint64_t>(xmm.High);
    values[next++] = xmm.Low;
  }
  return values;
}

constexpr char kRegisterFormat[] =
    "\nRegisters: %08IX\n"
    "RAX=%016IX   RBX=%016IX   RCX=%016IX\n"
    "RDX=%016IX   RSI=%016IX   RDI=%016IX\n"
    " R8=%016IX    R9=%016IX   R10=%016IX\n"
    "R11=%016IX   R12=%016IX   R13=%016IX\n"
    "R14=%016IX   R15=%016IX   RBP=%016IX\n"
    "RSP=%016IX   RIP=%016IX FLAGS=%08lX\n"
    "\nFPU stack: %08IX\n"
    "st(0)=%04lX%016IX st(1)=%04lX%016IX st(2)=%04lX%016IX\n"
    "st(3)=%04lX%016IX st(4)=%04lX%016IX st(5)=%04lX%016IX\n"
    "st(6)=%04lX%016IX st(7)=%04lX%016IX SW=%04lX CW=%04lX\n"
    " XMM0=%016IX%016IX  XMM1=%016IX%016IX\n"
    " XMM2=%016IX%016IX  XMM3=%016IX%016IX\n"
    " XMM4=%016IX%016IX  XMM5=%016IX%016IX\n"
    " XMM6=%016IX%016IX  XMM7=%016IX%016IX\n"
    " XMM8=%016IX%016IX  XMM9=%016IX%016IX\n"
    "XMM10=%016IX%016IX XMM11=%016IX%016IX\n"
    "XMM12=%016IX%016IX XMM13=%016IX%016IX\n"
    "XMM14=%016IX%016IX XMM15=%016IX%016IX\n";

// Fills each "%0<width>IX" or "%0<width>lX" of |format| with the next of
// |values| in upper-case hexadecimal.
std::string FillHexFormat(const char* format,
                          const uint64_t* values,
                          size_t count) {
  std::string text;
  size_t next = 0;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      text.push_back(*p);
      continue;
    }
    int width = 0;
    for (++p; *p >= '0' && *p <= '9'; ++p)
      width = width * 10 + (*p - '0');
    // Past the size letter, onto the 'X' that the loop steps over.
    while (*p != 'X')
      ++p;
    CHECK_LT(next, count);
    base::StringAppendF(&text, "%0*llX", width,
                        static_cast<unsigned long long>(values[next++]));
  }
  CHECK_EQ(next, count);
  return text;
}

std::string FormatRegisters(uint32_t thread_id, const CONTEXT& context) {
  const std::array<uint64_t, kRegisterCount> registers =
      GetRegisterValues(context);
  std::vector<uint64_t> values;
  values.push_back(thread_id);
  values.insert(values.end(), registers.begin(),
                registers.begin() + kGeneralRegisterCount + 1);
  values.push_back(thread_id);
  values.insert(values.end(), registers.begin() + kGeneralRegisterCount + 1,
                registers.end());
  return FillHexFormat(kRegisterFormat, values.data(), values.size());
}

std::string Hex12(uint64_t value) {
  return base::StringPrintf("%012llX", static_cast<unsigned long long>(value));
}

void AppendCharacterColumn(const uint8_t* data,
                           size_t size,
                           std::string* text) {
  text->push_back(' ');
  for (size_t i = 0; i < size; ++i)
    text->push_back(data[i] >= 0x20 && data[i] <= 0x7E ? data[i] : '.');
  text->push_back('\n');
}

uint64_t ReadWord(const std::vector<uint8_t>& bytes, size_t offset) {
  uint64_t word = 0;
  memcpy(&word, bytes.data() + offset, sizeof(word));
  return word;
}

// True when a frame or pointer at |address| lies in |block| with a whole
// word after it.
bool HoldsWordAt(const StackBlock& block, uint64_t address) {
  return address >= block.start && address - block.start < block.bytes.size() &&
         block.bytes.size() - (address - block.start) >= kWordSize;
}

}  // namespace

size_t GetFramesExtent(const StackBlock& block, uint64_t frame) {
  size_t keep = 0;
  while (frame % kWordSize == 0 && HoldsWordAt(block, frame)) {
    keep = frame - block.start;
    const uint64_t next = ReadWord(block.bytes, keep);
    if (next <= frame || next % kWordSize != 0)
      break;
    frame = next;
  }
  keep = std::max(keep, kMinFrameChainKeep);
  for (size_t offset = 0;
       offset <= keep && offset + kWordSize <= block.bytes.size();
       offset += kWordSize) {
    const uint64_t value = ReadWord(block.bytes, offset);
    if (value % kWordSize == 0 && HoldsWordAt(block, value))
      keep = std::max<size_t>(keep, value - block.start);
  }
  return keep;
}

namespace {

void TrimStack(const ThreadInfoImpl& thread, StackBlock* block) {
  size_t keep = block->bytes.size();
  if (thread.stack_size() != 0) {
    while (keep > 0 && block->bytes[keep - 1] == 0)
      --keep;
    keep = (keep + kWordSize - 1) / kWordSize * kWordSize;
  } else if (!thread.crashed()) {
    keep = GetFramesExtent(*block, thread.context().Rbp);
  } else {
    return;
  }
  block->bytes.resize(std::min(keep + kStackTail, block->bytes.size()));
}

bool IsCheckedAll(size_t checked, size_t count) {
  return checked == count;
}

}  // namespace

bool WriteCrashLog(MemoryRangeList* ranges,
                   const ProcessStateImpl& state,
                   const CrashReportData& data,
                   const std::string& path) {
  if (path.empty())
    return false;
  FILE* file = fopen(path.c_str(), "wt");
  if (!file) {
    PLOG(ERROR) << "Could not create the crash log " << path;
    return false;
  }
  bool written = CrashLogWriter(ranges, state, file).Write(data);
  written = fclose(file) == 0 && written;
  if (!written) {
    LOG(ERROR) << "Writing the crash log " << path << " failed";
    remove(path.c_str());
  }
  return written;
}

uint64_t GetThreadMemoryBudget(bool crashed,
                               uint64_t collected,
                               bool last_thread) {
  if (crashed)
    return UINT64_MAX;
  if (collected >= kTotalMemoryBudget)
    return 0;
  const uint64_t remaining = kTotalMemoryBudget - collected;
  if (remaining > kThreadMemoryBudget)
    return kThreadMemoryBudget;
  return last_thread ? remaining : remaining >> 1;
}

std::string FormatStackLines(const StackBlock& block, uint64_t frame) {
  std::string text;
  const size_t size = block.bytes.size();
  for (size_t line = 0; line < size; line += kLineBytes) {
    text += Hex12(block.start + line) + " ";
    for (size_t slot = line; slot < line + kLineBytes; slot += kWordSize) {
      if (slot + kWordSize > size) {
        text.append(18, ' ');
        continue;
      }
      const uint64_t word = ReadWord(block.bytes, slot);
      const bool at_frame = block.start + slot == frame;
      if (at_frame)
        frame = word;
      base::StringAppendF(&text, "%c%016llX ", at_frame ? '>' : ' ',
                          static_cast<unsigned long long>(word));
    }
    AppendCharacterColumn(block.bytes.data() + line,
                          std::min(kLineBytes, size - line), &text);
  }
  return text;
}

std::string FormatMemoryLines(uint64_t address,
                              const uint8_t* data,
                              size_t size) {
  std::string text;
  for (size_t line = 0; line < size; line += kLineBytes) {
    text += Hex12(address + line);
    for (size_t i = 0; i < kLineBytes; ++i) {
      text += i % 4 == 0 ? "  " : " ";
      text += line + i < size ? base::StringPrintf("%02X", data[line + i])
                              : std::string("  ");
    }
    AppendCharacterColumn(data + line, std::min(kLineBytes, size - line),
                          &text);
  }
  return text;
}

std::string WithoutControlCharacters(const std::string& text) {
  std::string clean = text;
  for (char& c : clean) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      c = ' ';
  }
  return clean;
}

CrashLogWriter::CrashLogWriter(MemoryRangeList* ranges,
                               const ProcessStateImpl& state,
                               FILE* file)
    : ranges_(ranges), state_(state), file_(file) {}

bool CrashLogWriter::Write(const CrashReportData& data) {
  return WriteHeader(data) && WriteThreads() && WriteModules() &&
         WriteMemoryDumps();
}

// static
StackBlock CrashLogWriter::ReadStackBlock(ProcessMemoryReader* reader,
                                          const ThreadInfoImpl& thread) {
  StackBlock block;
  block.start = thread.context().Rsp & ~uint64_t{3};
  size_t wanted = thread.stack_size();
  if (wanted == 0 || wanted > kMaxStackRead)
    wanted = kMaxStackRead;
  if (thread.crashed())
    wanted = std::max(wanted, kMinCrashedStackRead);
  if (block.start < kPageSize)
    return block;
  // An unreadable tail shrinks the read a page at a time.
  for (size_t length = wanted; length > 0;) {
    size_t bytes_read = 0;
    const uint8_t* bytes = reader->Read(block.start, length, &bytes_read);
    if (bytes) {
      block.bytes.assign(bytes, bytes + bytes_read);
      TrimStack(thread, &block);
      return block;
    }
    const uint64_t end = block.start + length;
    const uint64_t shorter =
        end % kPageSize == 0 ? end - kPageSize : end - end % kPageSize;
    length = shorter > block.start ? shorter - block.start : 0;
  }
  return block;
}

bool CrashLogWriter::WriteHeader(const CrashReportData& data) {
  const ModuleInfoImpl* main = state_.main_module();
  std::string text = base::StringPrintf(
      "VEXLO-CRASHLOG V1 desktop%s %s %s windows x64 release\n",
      data.product_suffix.c_str(), data.version.c_str(), data.build.c_str());
  base::StringAppendF(&text, "%s caused exception %X at address %s ",
                      main ? main->name().c_str() : "<no name>",
                      state_.exception_code(),
                      Hex12(state_.exception_address()).c_str());
  text += "(Base: " + Hex12(main ? main->base() : 0) + ")\n";
  if (!data.metadata.empty()) {
    text += "\nmetadata:\n";
    for (const auto& pair : data.metadata) {
      text +=
          pair.first + "=\"" + WithoutControlCharacters(pair.second) + "\"\n";
    }
  }
  return Put(text);
}

bool CrashLogWriter::WriteThreads() {
  ranges_->Clear();
  const auto& threads = state_.threads();
  for (size_t i = 0; i < threads.size(); ++i) {
    if (i >= kMaxWrittenThreads && !threads[i]->crashed())
      continue;
    if (!WriteThread(*threads[i], i + 1 == threads.size()))
      return false;
  }
  return true;
}

bool CrashLogWriter::WriteThread(const ThreadInfoImpl& thread, bool last) {
  std::unique_ptr<ProcessMemoryReader> reader = state_.CreateMemoryReader();
  if (!reader)
    return false;
  const StackBlock block = ReadStackBlock(reader.get(), thread);
  uint64_t budget =
      GetThreadMemoryBudget(thread.crashed(), ranges_->total(), last);
  const std::array<uint64_t, kRegisterCount> registers =
      GetRegisterValues(thread.context());
  size_t checked_registers = 0;
  for (size_t i = 0; i < kGeneralRegisterCount && budget != 0; ++i) {
    ++checked_registers;
    AddReference(registers[i], block, &budget);
  }
  size_t checked_words = 0;
  for (size_t offset = 0;
       offset + kWordSize <= block.bytes.size() && budget != 0;
       offset += kWordSize) {
    ++checked_words;
    AddReference(ReadWord(block.bytes, offset), block, &budget);
  }
  const size_t word_count = block.bytes.size() / kWordSize;
  std::string text = base::StringPrintf(
      "\nThread: %08X\n"
      "\nThreadInfo: %08X\nPriority=%08X\nCrashed=%d\n"
      "checked_context_values=%llu%s\nchecked_stack_values=%llu%s\n",
      thread.id(), thread.id(), static_cast<uint32_t>(thread.priority()),
      thread.crashed() ? 1 : 0,
      static_cast<unsigned long long>(checked_registers),
      IsCheckedAll(checked_registers, kGeneralRegisterCount) ? " (all)" : "",
      static_cast<unsigned long long>(checked_words),
      IsCheckedAll(checked_words, word_count) ? " (all)" : "");
  text += FormatRegisters(thread.id(), thread.context());
  text += base::StringPrintf("\nStack dump: %08X\n", thread.id());
  text += FormatStackLines(block, thread.context().Rbp);
  return Put(text);
}

void CrashLogWriter::AddReference(uint64_t value,
                                  const StackBlock& block,
                                  uint64_t* budget) {
  if (block.Contains(value) || value == 0 || !state_.IsReadable(value))
    return;
  uint64_t reach = kDataReach;
  for (const auto& module : state_.modules()) {
    if (module->ContainsCode(value))
      reach = kCodeReach;
  }
  const uint64_t start = value >= reach ? value - reach : 0;
  const uint64_t end = value <= UINT64_MAX - reach ? value + reach : UINT64_MAX;
  const uint64_t growth = ranges_->Add(start, end);
  *budget = growth >= *budget ? 0 : *budget - growth;
}

bool CrashLogWriter::WriteModules() {
  std::string text = "\nUsed DLLs:\n";
  for (const auto& module : state_.modules()) {
    base::StringAppendF(&text,
                        "%-26s %-46s Base: %s Size: %08X Timestamp: %08X\n",
                        module->name().c_str(), module->version().c_str(),
                        Hex12(module->base()).c_str(), module->image_size(),
                        module->time_stamp());
  }
  return Put(text);
}

bool CrashLogWriter::WriteMemoryDumps() {
  if (!Put("\nMemory dumps:\n"))
    return false;
  std::unique_ptr<ProcessMemoryReader> reader = state_.CreateMemoryReader();
  bool first = true;
  for (const auto& range : ranges_->ranges()) {
    uint64_t start = range.first;
    uint64_t end = range.second;
    if (!state_.IsReadable(start))
      start = (start | (kPageSize - 1)) + 1;
    if (!state_.IsReadable(end))
      end &= ~(kPageSize - 1);
    if (start >= end)
      continue;
    size_t bytes_read = 0;
    const uint8_t* bytes = reader->Read(start, end - start, &bytes_read);
    if (!bytes)
      continue;
    if (!first && !Put("\n"))
      return false;
    first = false;
    if (!Put(FormatMemoryLines(start, bytes, bytes_read)))
      return false;
  }
  return true;
}

bool CrashLogWriter::Put(const std::string& text) {
  return fwrite(text.data(), 1, text.size(), file_) == text.size();
}

}  // namespace crash_reporter
}  // namespace vexlo
