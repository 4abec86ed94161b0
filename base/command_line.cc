#include "base/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>

#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

CommandLine* CommandLine::current_process_commandline_ = nullptr;

namespace {

// Tried in this order, so "--" wins over "-".
const wchar_t* const kSwitchPrefixes[] = {L"--", L"-", L"/"};
const wchar_t kDefaultSwitchPrefix[] = L"--";
const wchar_t kSwitchValueSeparator[] = L"=";
const wchar_t kSwitchTerminator[] = L"--";

// Characters that force an argument into double quotes. Blank and tab split
// arguments for CommandLineToArgvW; backslash and double quote need escapes.
const wchar_t kQuotableCharacters[] = L" \t\\\"";
const wchar_t kQuotableCharactersWithPlaceholders[] = L" \t\\\"%";

string16 TrimmedCopy(const string16& text) {
  string16 trimmed;
  TrimWhitespace(text, TRIM_ALL, &trimmed);
  return trimmed;
}

bool StartsWithText(const string16& text, const wchar_t* prefix) {
  return text.compare(0, wcslen(prefix), prefix) == 0;
}

// Whether a switch with an empty value must still be written with its "=".
// Alone, a bare prefix would read back as a plain argument ("-", "/") or end
// the switches ("--"), and trailing white space of a name would be trimmed
// away.
bool KeepsValueSeparator(const string16& switch_string) {
  return GetSwitchPrefixLength(switch_string) == switch_string.size() ||
         TrimmedCopy(switch_string) != switch_string;
}

// The switch text as written out: quoted when it holds a blank, tab or
// quote, so that it comes back as one argument.
string16 SwitchTextForWriting(const string16& switch_string) {
  return QuoteCommandLineArgument(switch_string, false);
}

}  // namespace

size_t GetSwitchPrefixLength(const string16& text) {
  for (const wchar_t* prefix : kSwitchPrefixes) {
    if (StartsWithText(text, prefix))
      return wcslen(prefix);
  }
  return 0;
}

bool IsSwitch(const string16& text,
              string16* switch_string,
              string16* switch_value) {
  switch_string->clear();
  switch_value->clear();
  const size_t prefix_length = GetSwitchPrefixLength(text);
  // A prefix alone ("--", "-", "/") is a plain argument.
  if (prefix_length == 0 || prefix_length == text.size())
    return false;

  const size_t equals = text.find(kSwitchValueSeparator);
  *switch_string = text.substr(0, equals);
  if (equals != string16::npos)
    *switch_value = text.substr(equals + 1);
  return true;
}

string16 QuoteCommandLineArgument(const string16& arg,
                                  bool quote_placeholders) {
  const wchar_t* quotable = quote_placeholders
                                ? kQuotableCharactersWithPlaceholders
                                : kQuotableCharacters;
  if (arg.find_first_of(quotable) == string16::npos)
    return arg;

  // CommandLineToArgvW reads backslashes literally unless they precede a
  // double quote; then each pair gives one backslash and an odd one escapes
  // the quote. So only runs before a quote (or before the closing quote)
  // are doubled.
  string16 out(1, L'"');
  for (size_t i = 0; i < arg.size(); ++i) {
    if (arg[i] == L'\\') {
      const size_t run_end = arg.find_first_not_of(L'\\', i);
      size_t run_length =
          (run_end == string16::npos ? arg.size() : run_end) - i;
      if (run_end == string16::npos || arg[run_end] == L'"')
        run_length *= 2;
      out.append(run_length, L'\\');
      i = (run_end == string16::npos ? arg.size() : run_end) - 1;
    } else if (arg[i] == L'"') {
      out.append(L"\\\"");
    } else {
      out.push_back(arg[i]);
    }
  }
  out.push_back(L'"');
  return out;
}

CommandLine::CommandLine(NoProgram) : argv_(1), begin_args_(1) {}

CommandLine::CommandLine(const FilePath& program) : argv_(1), begin_args_(1) {
  SetProgram(program);
}

CommandLine::CommandLine(const CommandLine& other)
    : argv_(other.argv_),
      switches_(other.switches_),
      begin_args_(other.begin_args_) {
  RebuildSwitchIndex();
}

CommandLine& CommandLine::operator=(const CommandLine& other) {
  if (this == &other)
    return *this;
  argv_ = other.argv_;
  switches_ = other.switches_;
  begin_args_ = other.begin_args_;
  RebuildSwitchIndex();
  return *this;
}

CommandLine::~CommandLine() = default;

// static
bool CommandLine::Init() {
  if (current_process_commandline_)
    return false;
  // Lives until the process ends: every part of the system may read it.
  current_process_commandline_ = new CommandLine(NO_PROGRAM);
  current_process_commandline_->ParseFromString(::GetCommandLineW());
  return true;
}

// static
CommandLine* CommandLine::ForCurrentProcess() {
  return current_process_commandline_;
}

// static
bool CommandLine::InitializedForCurrentProcess() {
  return current_process_commandline_ != nullptr;
}

void CommandLine::ParseFromString(const string16& command_line) {
  const string16 trimmed = TrimmedCopy(command_line);
  if (trimmed.empty())
    return;

  int count = 0;
  wchar_t** args = ::CommandLineToArgvW(trimmed.c_str(), &count);
  if (!args)
    count = 0;
  InitFromArgv(count, args);
  ::LocalFree(args);
}

void CommandLine::InitFromArgv(int argc, const wchar_t* const* argv) {
  StringVector new_argv;
  for (int i = 0; i < argc; ++i)
    new_argv.push_back(argv[i]);
  InitFromArgv(new_argv);
}

void CommandLine::InitFromArgv(const StringVector& argv) {
  argv_ = StringVector(1);
  switches_.clear();
  switches_by_stringpiece_.clear();
  begin_args_ = 1;
  SetProgram(argv.empty() ? FilePath() : FilePath(argv[0]));
  AppendSwitchesAndArguments(argv);
}

FilePath CommandLine::GetProgram() const {
  return FilePath(argv_[0]);
}

void CommandLine::SetProgram(const FilePath& program) {
  argv_[0] = TrimmedCopy(program.value());
}

bool CommandLine::HasSwitch(const char* switch_string) const {
  return FindSwitch(StringPiece(switch_string)) != nullptr;
}

string16 CommandLine::GetSwitchValueNative(StringPiece switch_string) const {
  const string16* value = FindSwitch(switch_string);
  return value ? *value : string16();
}

std::string CommandLine::GetSwitchValueASCII(StringPiece switch_string) const {
  const string16 value = GetSwitchValueNative(switch_string);
  if (!IsStringASCII16(value))
    return std::string();
  return UTF16ToASCII(value);
}

FilePath CommandLine::GetSwitchValuePath(StringPiece switch_string) const {
  return FilePath(GetSwitchValueNative(switch_string));
}

void CommandLine::AppendSwitch(const std::string& switch_string) {
  AppendSwitchNative(switch_string, string16());
}

void CommandLine::AppendSwitchNative(const std::string& switch_string,
                                     const string16& value) {
  const std::string key = ToLowerASCII(switch_string);
  // Names are UTF-8 (ASCII for every switch the system reads), so the text
  // written out is exactly the text that was parsed.
  string16 text = UTF8ToUTF16(key);
  const size_t prefix_length = GetSwitchPrefixLength(text);

  auto inserted =
      switches_.insert(SwitchMap::value_type(key.substr(prefix_length), value));
  if (!inserted.second)
    inserted.first->second = value;
  switches_by_stringpiece_[StringPiece(inserted.first->first)] =
      &inserted.first->second;

  if (prefix_length == 0)
    text = kDefaultSwitchPrefix + text;
  if (!value.empty() || KeepsValueSeparator(text))
    text += kSwitchValueSeparator + value;
  argv_.insert(argv_.begin() + begin_args_, text);
  ++begin_args_;
}

void CommandLine::AppendSwitchASCII(const std::string& switch_string,
                                    const std::string& value_string) {
  AppendSwitchNative(switch_string, ASCIIToUTF16(value_string));
}

void CommandLine::AppendSwitchPath(const std::string& switch_string,
                                   const FilePath& path) {
  AppendSwitchNative(switch_string, path.value());
}

void CommandLine::AppendArg(const std::string& value) {
  const string16 arg = UTF8ToUTF16(value);
  // Read back, an argument that looks like a switch ("/silent") would turn
  // into one and move ahead of the others; after the end-of-switches marker
  // it stays a plain argument. Reading trims each entry, so the trimmed text
  // is what counts.
  string16 switch_string;
  string16 switch_value;
  if (IsSwitch(TrimmedCopy(arg), &switch_string, &switch_value) &&
      !HasSwitchTerminator()) {
    argv_.push_back(kSwitchTerminator);
  }
  argv_.push_back(arg);
}

void CommandLine::AppendArguments(const CommandLine& other,
                                  bool include_program) {
  if (include_program)
    SetProgram(other.GetProgram());
  AppendSwitchesAndArguments(other.argv());
}

void CommandLine::CopySwitchesFrom(const CommandLine& source,
                                   const char* const switches[],
                                   size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (source.HasSwitch(switches[i]))
      AppendSwitchNative(switches[i], source.GetSwitchValueNative(switches[i]));
  }
}

string16 CommandLine::GetCommandLineString(bool quote_placeholders) const {
  string16 string = QuoteCommandLineArgument(argv_[0], quote_placeholders);
  const string16 params = GetArgumentsString(quote_placeholders);
  if (!params.empty())
    string += L' ' + params;
  return string;
}

string16 CommandLine::GetArgumentsString(bool quote_placeholders) const {
  string16 params;
  bool parse_switches = true;
  for (size_t i = 1; i < argv_.size(); ++i) {
    const string16& arg = argv_[i];
    parse_switches = parse_switches && arg != kSwitchTerminator;
    if (i > 1)
      params.push_back(L' ');

    string16 switch_string;
    string16 switch_value;
    if (parse_switches && IsSwitch(arg, &switch_string, &switch_value)) {
      params += SwitchTextForWriting(switch_string);
      if (!switch_value.empty() || KeepsValueSeparator(switch_string)) {
        params += kSwitchValueSeparator +
                  QuoteCommandLineArgument(switch_value, quote_placeholders);
      }
    } else {
      params += QuoteCommandLineArgument(arg, quote_placeholders);
    }
  }
  return params;
}

void CommandLine::AppendSwitchesAndArguments(const StringVector& argv) {
  bool parse_switches = true;
  for (size_t i = 1; i < argv.size(); ++i) {
    const string16 arg = TrimmedCopy(argv[i]);
    // An empty entry ("" on the command line) is neither switch nor argument.
    if (arg.empty())
      continue;

    parse_switches = parse_switches && arg != kSwitchTerminator;
    string16 switch_string;
    string16 switch_value;
    if (parse_switches && IsSwitch(arg, &switch_string, &switch_value)) {
      AppendSwitchNative(UTF16ToUTF8(switch_string), switch_value);
    } else {
      argv_.push_back(arg);
    }
  }
}

void CommandLine::RebuildSwitchIndex() {
  switches_by_stringpiece_.clear();
  for (const auto& entry : switches_)
    switches_by_stringpiece_[StringPiece(entry.first)] = &entry.second;
}

bool CommandLine::HasSwitchTerminator() const {
  return std::find(argv_.begin() + begin_args_, argv_.end(),
                   kSwitchTerminator) != argv_.end();
}

const string16* CommandLine::FindSwitch(StringPiece switch_string) const {
  auto found = switches_by_stringpiece_.find(switch_string);
  return found == switches_by_stringpiece_.end() ? nullptr : found->second;
}

}  // namespace base
