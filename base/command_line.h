#ifndef BASE_COMMAND_LINE_H_
#define BASE_COMMAND_LINE_H_

#include <stddef.h>

#include <map>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

// A process command line: the program, the switches with their values and
// the plain arguments. Switches are written back before the plain arguments,
// in the order they were added, and the written text parses back through
// CommandLineToArgvW to the same switches and arguments.
class CommandLine {
 public:
  using StringVector = std::vector<string16>;
  // Lower-case switch name (without prefix) -> value (empty when none).
  using SwitchMap = std::map<std::string, string16>;

  enum NoProgram { NO_PROGRAM };

  explicit CommandLine(NoProgram no_program);
  explicit CommandLine(const FilePath& program);
  CommandLine(const CommandLine& other);
  CommandLine& operator=(const CommandLine& other);
  ~CommandLine();

  // Builds the process-wide command line from GetCommandLineW. Returns false
  // and changes nothing when it already exists. Call once at start-up, on
  // the main thread, before any other thread reads it.
  static bool Init();
  // Null before Init.
  static CommandLine* ForCurrentProcess();
  static bool InitializedForCurrentProcess();

  // Splits |command_line| with the system's rules and reinitialises from the
  // pieces. Text that is only white space changes nothing.
  void ParseFromString(const string16& command_line);
  void InitFromArgv(int argc, const wchar_t* const* argv);
  void InitFromArgv(const StringVector& argv);

  FilePath GetProgram() const;
  void SetProgram(const FilePath& program);

  // Lookups compare exactly against the stored lower-case names.
  bool HasSwitch(const char* switch_string) const;
  string16 GetSwitchValueNative(StringPiece switch_string) const;
  // Empty when the value holds anything but ASCII.
  std::string GetSwitchValueASCII(StringPiece switch_string) const;
  FilePath GetSwitchValuePath(StringPiece switch_string) const;

  const SwitchMap& GetSwitches() const { return switches_; }
  const StringVector& argv() const { return argv_; }

  void AppendSwitch(const std::string& switch_string);
  void AppendSwitchNative(const std::string& switch_string,
                          const string16& value);
  void AppendSwitchASCII(const std::string& switch_string,
                         const std::string& value_string);
  void AppendSwitchPath(const std::string& switch_string, const FilePath& path);
  // Adds a plain argument (UTF-8), untrimmed. One that looks like a switch
  // gets the end-of-switches marker "--" before it, unless one is there
  // already, so that the written line reads back with it as an argument.
  void AppendArg(const std::string& value);
  // Adds |other|'s switches and arguments, reparsed; also its program when
  // |include_program| is set.
  void AppendArguments(const CommandLine& other, bool include_program);
  // Copies each named switch that |source| has, in the order of |switches|.
  void CopySwitchesFrom(const CommandLine& source,
                        const char* const switches[],
                        size_t count);

  string16 GetCommandLineString(bool quote_placeholders) const;
  // Everything after the program.
  string16 GetArgumentsString(bool quote_placeholders) const;

 private:
  // Views each key of |switches_| and points at its value; never copied.
  using SwitchIndex = std::map<StringPiece, const string16*, StringPieceLess>;

  // Adds the switches and plain arguments of |argv| from entry 1 on; an
  // entry "--" ends switch parsing.
  void AppendSwitchesAndArguments(const StringVector& argv);
  void RebuildSwitchIndex();
  // Whether the plain arguments hold the end-of-switches marker.
  bool HasSwitchTerminator() const;
  const string16* FindSwitch(StringPiece switch_string) const;

  // Entry 0 is the program; switches come next, up to |begin_args_|; plain
  // arguments follow.
  StringVector argv_;
  SwitchMap switches_;
  SwitchIndex switches_by_stringpiece_;
  size_t begin_args_;

  static CommandLine* current_process_commandline_;
};

// Length of the switch prefix ("--", "-" or "/") that |text| starts with, or
// 0.
size_t GetSwitchPrefixLength(const string16& text);

// True when |text| is a switch: a prefix followed by at least one unit.
// |switch_string| receives the text before the first "=" (prefix included),
// |switch_value| the text after it.
bool IsSwitch(const string16& text,
              string16* switch_string,
              string16* switch_value);

// Quotes |arg| so that CommandLineToArgvW gives it back unchanged. With
// |quote_placeholders| a "%" forces quotes too.
string16 QuoteCommandLineArgument(const string16& arg, bool quote_placeholders);

}  // namespace base

#endif  // BASE_COMMAND_LINE_H_
