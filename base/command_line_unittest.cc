#include "base/command_line.h"

#include <windows.h>

#include <shellapi.h>
#include <wchar.h>

#include <random>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using StringVector = CommandLine::StringVector;

CommandLine FromArgv(const StringVector& argv) {
  CommandLine command_line(CommandLine::NO_PROGRAM);
  command_line.InitFromArgv(argv);
  return command_line;
}

CommandLine FromString(const string16& text) {
  CommandLine command_line(CommandLine::NO_PROGRAM);
  command_line.ParseFromString(text);
  return command_line;
}

// What the system's own splitter makes of |text|.
StringVector SystemSplit(const string16& text) {
  int count = 0;
  wchar_t** args = ::CommandLineToArgvW(text.c_str(), &count);
  StringVector result;
  for (int i = 0; args && i < count; ++i)
    result.push_back(args[i]);
  ::LocalFree(args);
  return result;
}

TEST(CommandLineTest, SwitchPrefixAndSwitchTest) {
  EXPECT_EQ(2u, GetSwitchPrefixLength(L"--a"));
  EXPECT_EQ(2u, GetSwitchPrefixLength(L"---a"));
  EXPECT_EQ(2u, GetSwitchPrefixLength(L"--"));
  EXPECT_EQ(1u, GetSwitchPrefixLength(L"-a"));
  EXPECT_EQ(1u, GetSwitchPrefixLength(L"/a"));
  EXPECT_EQ(1u, GetSwitchPrefixLength(L"/-a"));
  EXPECT_EQ(0u, GetSwitchPrefixLength(L"a-"));
  EXPECT_EQ(0u, GetSwitchPrefixLength(L"\\a"));
  EXPECT_EQ(0u, GetSwitchPrefixLength(L""));

  const struct {
    const wchar_t* text;
    bool is_switch;
    const wchar_t* switch_string;
    const wchar_t* value;
  } cases[] = {
      {L"--a", true, L"--a", L""},   {L"-a=b", true, L"-a", L"b"},
      {L"/S", true, L"/S", L""},     {L"--a=b=c", true, L"--a", L"b=c"},
      {L"--a=", true, L"--a", L""},  {L"-=x", true, L"-", L"x"},
      {L"---x", true, L"---x", L""}, {L"--", false, L"", L""},
      {L"-", false, L"", L""},       {L"/", false, L"", L""},
      {L"a=b", false, L"", L""},     {L"", false, L"", L""},
  };
  for (const auto& c : cases) {
    string16 switch_string = L"stale";
    string16 value = L"stale";
    EXPECT_EQ(c.is_switch, IsSwitch(c.text, &switch_string, &value)) << c.text;
    EXPECT_EQ(c.switch_string, switch_string) << c.text;
    EXPECT_EQ(c.value, value) << c.text;
  }
}

TEST(CommandLineTest, QuoteCommandLineArgument) {
  const struct {
    const wchar_t* text;
    const wchar_t* quoted;
  } cases[] = {
      {L"", L""},
      {L"abc", L"abc"},
      {L"x=1", L"x=1"},
      {L"50%", L"50%"},
      {L"C:\\a b", L"\"C:\\a b\""},
      {L"C:\\x", L"\"C:\\x\""},
      {L"C:\\dir\\", L"\"C:\\dir\\\\\""},
      {L"a\\\\\\", L"\"a\\\\\\\\\\\\\""},
      {L"a\"b", L"\"a\\\"b\""},
      {L"a\\\"b", L"\"a\\\\\\\"b\""},
      {L"a\\\\b", L"\"a\\\\b\""},
      {L"\"", L"\"\\\"\""},
      {L" ", L"\" \""},
      {L"a\tb", L"\"a\tb\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.quoted, QuoteCommandLineArgument(c.text, false)) << c.text;

  EXPECT_EQ(L"\"50%\"", QuoteCommandLineArgument(L"50%", true));
  EXPECT_EQ(L"\"%1\"", QuoteCommandLineArgument(L"%1", true));
  EXPECT_EQ(L"abc", QuoteCommandLineArgument(L"abc", true));
}

// Every quoted argument comes back unchanged from the system's splitter,
// blanks, tabs, quotes and backslash runs included.
TEST(CommandLineTest, QuotedArgumentsSurviveTheSystemSplitter) {
  std::mt19937 random(7);
  const string16 alphabet = L"ab \t\\\"=-%\x00e9\x4e2d";
  for (int round = 0; round < 500; ++round) {
    StringVector args;
    string16 text = L"prog";
    const int count = 1 + random() % 6;
    for (int i = 0; i < count; ++i) {
      string16 arg;
      const int length = 1 + random() % 8;
      for (int j = 0; j < length; ++j)
        arg.push_back(alphabet[random() % alphabet.size()]);
      args.push_back(arg);
      text += L" " + QuoteCommandLineArgument(arg, random() % 2 == 0);
    }
    StringVector split = SystemSplit(text);
    ASSERT_FALSE(split.empty()) << text;
    split.erase(split.begin());
    ASSERT_EQ(args, split) << text;
  }
}

TEST(CommandLineTest, SwitchesGoBeforeArguments) {
  const CommandLine command_line =
      FromArgv({L"prog", L"a", L"--x", L"b", L"-y=1", L"/Z"});
  const StringVector expected = {L"prog", L"--x", L"-y=1", L"/z", L"a", L"b"};
  EXPECT_EQ(expected, command_line.argv());
  EXPECT_EQ(L"prog --x -y=1 /z a b", command_line.GetCommandLineString(false));
  EXPECT_EQ(L"--x -y=1 /z a b", command_line.GetArgumentsString(false));
  EXPECT_EQ(L"prog", command_line.GetProgram().value());
  EXPECT_TRUE(command_line.HasSwitch("x"));
  EXPECT_TRUE(command_line.HasSwitch("z"));
  EXPECT_FALSE(command_line.HasSwitch("Z"));
  EXPECT_FALSE(command_line.HasSwitch("a"));
  EXPECT_EQ(L"1", command_line.GetSwitchValueNative("y"));
}

TEST(CommandLineTest, SwitchNamesAndValues) {
  const CommandLine command_line =
      FromArgv({L"prog", L"--Foo=Bar", L"/S", L"-v", L"--a=", L"--b=c=d",
                L"-=x", L"---dash", L"--path=C:\\Program Files\\x"});
  const StringVector expected = {
      L"prog", L"--foo=Bar", L"/s",
      L"-v",   L"--a",       L"--b=c=d",
      L"-=x",  L"---dash",   L"--path=C:\\Program Files\\x"};
  EXPECT_EQ(expected, command_line.argv());

  EXPECT_EQ(L"Bar", command_line.GetSwitchValueNative("foo"));
  EXPECT_FALSE(command_line.HasSwitch("Foo"));
  EXPECT_FALSE(command_line.HasSwitch("--foo"));
  EXPECT_TRUE(command_line.HasSwitch("s"));
  EXPECT_TRUE(command_line.HasSwitch("v"));
  EXPECT_TRUE(command_line.HasSwitch("a"));
  EXPECT_EQ(L"", command_line.GetSwitchValueNative("a"));
  EXPECT_EQ("c=d", command_line.GetSwitchValueASCII("b"));
  EXPECT_TRUE(command_line.HasSwitch(""));
  EXPECT_EQ(L"x", command_line.GetSwitchValueNative(""));
  EXPECT_TRUE(command_line.HasSwitch("-dash"));
  EXPECT_EQ(L"C:\\Program Files\\x",
            command_line.GetSwitchValuePath("path").value());
  // Absent switches read as empty.
  EXPECT_FALSE(command_line.HasSwitch("missing"));
  EXPECT_EQ(L"", command_line.GetSwitchValueNative("missing"));
  EXPECT_EQ("", command_line.GetSwitchValueASCII("missing"));
  EXPECT_TRUE(command_line.GetSwitchValuePath("missing").empty());
  // A prefix of a name is a different name.
  EXPECT_FALSE(command_line.HasSwitch("fo"));
  EXPECT_FALSE(command_line.HasSwitch("fooo"));

  EXPECT_EQ(
      L"prog --foo=Bar /s -v --a --b=c=d -=x ---dash "
      L"--path=\"C:\\Program Files\\x\"",
      command_line.GetCommandLineString(false));

  const CommandLine::SwitchMap expected_switches = {
      {"", L"x"},    {"-dash", L""},  {"a", L""},
      {"b", L"c=d"}, {"foo", L"Bar"}, {"path", L"C:\\Program Files\\x"},
      {"s", L""},    {"v", L""}};
  EXPECT_EQ(expected_switches, command_line.GetSwitches());
}

// A switch with an empty value is written without "=", unless the name
// would not survive alone: a bare prefix would come back as a plain argument
// or, as "--", end the switches after it; trailing blanks would be trimmed.
TEST(CommandLineTest, SwitchesThatKeepTheirSeparator) {
  CommandLine command_line = FromArgv(
      {L"p", L"arg", L"--=", L"-=", L"/=", L"-=v", L"--b", L"--t \t="});
  command_line.AppendSwitch("");
  command_line.AppendSwitch("c");
  command_line.AppendSwitch("u ");
  EXPECT_EQ(StringVector({L"p", L"--=", L"-=", L"/=", L"-=v", L"--b",
                          L"--t \t=", L"--=", L"--c", L"--u =", L"arg"}),
            command_line.argv());
  EXPECT_TRUE(command_line.HasSwitch(""));
  EXPECT_EQ(L"", command_line.GetSwitchValueNative(""));
  EXPECT_TRUE(command_line.HasSwitch("t \t"));

  const string16 text = command_line.GetCommandLineString(false);
  EXPECT_EQ(L"p --= -= /= -=v --b \"--t \t\"= --= --c \"--u \"= arg", text);
  const CommandLine reparsed = FromString(text);
  EXPECT_EQ(command_line.argv(), reparsed.argv());
  EXPECT_EQ(command_line.GetSwitches(), reparsed.GetSwitches());
  EXPECT_TRUE(reparsed.HasSwitch("b"));
  EXPECT_TRUE(reparsed.HasSwitch("c"));
}

TEST(CommandLineTest, EndOfSwitchesMarker) {
  const CommandLine command_line =
      FromArgv({L"prog", L"--a", L"x", L"--", L"--y", L"/z", L"--", L"w"});
  const StringVector expected = {L"prog", L"--a", L"x",  L"--",
                                 L"--y",  L"/z",  L"--", L"w"};
  EXPECT_EQ(expected, command_line.argv());
  EXPECT_TRUE(command_line.HasSwitch("a"));
  EXPECT_FALSE(command_line.HasSwitch("y"));
  EXPECT_FALSE(command_line.HasSwitch("z"));
  EXPECT_EQ(L"prog --a x -- --y /z -- w",
            command_line.GetCommandLineString(false));

  // Switches added later still go before the marker.
  CommandLine appended(command_line);
  appended.AppendSwitchASCII("late", "1");
  EXPECT_EQ(L"prog --a --late=1 x -- --y /z -- w",
            appended.GetCommandLineString(false));

  // The marker alone is kept and written.
  EXPECT_EQ(L"p --", FromArgv({L"p", L"--"}).GetCommandLineString(false));
}

TEST(CommandLineTest, RepeatedSwitchKeepsLastValueAndBothEntries) {
  CommandLine command_line =
      FromArgv({L"prog", L"--mode=a", L"arg", L"--MODE=b"});
  EXPECT_EQ(L"b", command_line.GetSwitchValueNative("mode"));
  EXPECT_EQ(1u, command_line.GetSwitches().size());
  EXPECT_EQ(L"prog --mode=a --mode=b arg",
            command_line.GetCommandLineString(false));

  command_line.AppendSwitchASCII("mode", "c");
  EXPECT_EQ("c", command_line.GetSwitchValueASCII("mode"));
  command_line.AppendSwitch("mode");
  EXPECT_TRUE(command_line.HasSwitch("mode"));
  EXPECT_EQ(L"", command_line.GetSwitchValueNative("mode"));
  EXPECT_EQ(L"prog --mode=a --mode=b --mode=c --mode arg",
            command_line.GetCommandLineString(false));
  EXPECT_EQ(1u, command_line.GetSwitches().size());
}

TEST(CommandLineTest, ParseFromString) {
  CommandLine command_line = FromString(
      L"  \"C:\\Program Files\\App\\setup.exe\" --dir=\"C:\\My Dir\\\\\" "
      L"\"plain arg\" \"\" \"  padded  \" -flag a\\\\b \"--q=say \\\"hi\\\"\" "
      L"--x=1 -- --not-a-switch  ");
  const StringVector expected = {L"C:\\Program Files\\App\\setup.exe",
                                 L"--dir=C:\\My Dir\\",
                                 L"-flag",
                                 L"--q=say \"hi\"",
                                 L"--x=1",
                                 L"plain arg",
                                 L"padded",
                                 L"a\\\\b",
                                 L"--",
                                 L"--not-a-switch"};
  EXPECT_EQ(expected, command_line.argv());
  EXPECT_EQ(L"C:\\My Dir\\", command_line.GetSwitchValuePath("dir").value());
  EXPECT_EQ(L"say \"hi\"", command_line.GetSwitchValueNative("q"));
  EXPECT_FALSE(command_line.HasSwitch("not-a-switch"));

  EXPECT_EQ(
      L"\"C:\\Program Files\\App\\setup.exe\" --dir=\"C:\\My Dir\\\\\" -flag "
      L"--q=\"say \\\"hi\\\"\" --x=1 \"plain arg\" padded \"a\\\\b\" -- "
      L"--not-a-switch",
      command_line.GetCommandLineString(false));

  // Blank text changes nothing.
  command_line.ParseFromString(L" \t ");
  EXPECT_EQ(expected, command_line.argv());

  // A new parse replaces everything, switch lookups included.
  command_line.ParseFromString(L"other.exe b");
  EXPECT_EQ(StringVector({L"other.exe", L"b"}), command_line.argv());
  EXPECT_FALSE(command_line.HasSwitch("x"));
  EXPECT_TRUE(command_line.GetSwitches().empty());
}

TEST(CommandLineTest, ProgramHandling) {
  CommandLine none(CommandLine::NO_PROGRAM);
  EXPECT_EQ(StringVector({L""}), none.argv());
  EXPECT_TRUE(none.GetProgram().empty());
  EXPECT_EQ(L"", none.GetCommandLineString(false));
  EXPECT_EQ(L"", none.GetArgumentsString(false));
  none.AppendSwitch("s");
  // Without a program the text starts with the separating blank.
  EXPECT_EQ(L" --s", none.GetCommandLineString(false));

  CommandLine with_program(FilePath(L"  C:\\a b\\p.exe \t"));
  EXPECT_EQ(L"C:\\a b\\p.exe", with_program.GetProgram().value());
  EXPECT_EQ(L"\"C:\\a b\\p.exe\"", with_program.GetCommandLineString(false));
  with_program.SetProgram(FilePath(L"q.exe"));
  EXPECT_EQ(L"q.exe", with_program.GetCommandLineString(false));

  // An empty argument vector leaves an empty program and nothing else.
  CommandLine empty = FromArgv({L"p", L"--s", L"a"});
  empty.InitFromArgv(StringVector());
  EXPECT_EQ(StringVector({L""}), empty.argv());
  EXPECT_TRUE(empty.GetSwitches().empty());
  empty.InitFromArgv(0, nullptr);
  EXPECT_EQ(StringVector({L""}), empty.argv());

  const wchar_t* const raw[] = {L" prog ", L" --k=v ", L"  ", L"x"};
  CommandLine from_raw(CommandLine::NO_PROGRAM);
  from_raw.InitFromArgv(4, raw);
  EXPECT_EQ(StringVector({L"prog", L"--k=v", L"x"}), from_raw.argv());
}

TEST(CommandLineTest, AppendingSwitchesAndArguments) {
  CommandLine command_line(FilePath(L"C:\\p.exe"));
  command_line.AppendArg("first");
  command_line.AppendSwitch("Plain");
  command_line.AppendSwitch("/slash");
  command_line.AppendSwitchASCII("count", "3");
  command_line.AppendSwitchNative("dir", L"C:\\a b\\");
  command_line.AppendSwitchPath("log", FilePath(L"C:\\l.txt"));
  command_line.AppendArg("");
  command_line.AppendArg(" \xc3\xa9 ");

  const StringVector expected = {
      L"C:\\p.exe",       L"--plain",         L"/slash", L"--count=3",
      L"--dir=C:\\a b\\", L"--log=C:\\l.txt", L"first",  L"",
      L" \x00e9 "};
  EXPECT_EQ(expected, command_line.argv());
  EXPECT_TRUE(command_line.HasSwitch("plain"));
  EXPECT_TRUE(command_line.HasSwitch("slash"));
  EXPECT_EQ("3", command_line.GetSwitchValueASCII("count"));
  EXPECT_EQ(L"C:\\l.txt", command_line.GetSwitchValuePath("log").value());
  EXPECT_EQ(
      L"\"C:\\p.exe\" --plain /slash --count=3 --dir=\"C:\\a b\\\\\" "
      L"--log=\"C:\\l.txt\" first  \" \x00e9 \"",
      command_line.GetCommandLineString(false));

  // Non-ASCII values read as empty through the ASCII accessor only.
  command_line.AppendSwitchNative("name", L"caf\x00e9");
  EXPECT_EQ("", command_line.GetSwitchValueASCII("name"));
  EXPECT_EQ(L"caf\x00e9", command_line.GetSwitchValueNative("name"));
}

TEST(CommandLineTest, CopiesKeepWorkingLookups) {
  CommandLine* original =
      new CommandLine(FromArgv({L"prog", L"--alpha=1", L"--beta", L"arg"}));
  CommandLine copy(*original);
  CommandLine assigned(CommandLine::NO_PROGRAM);
  assigned.AppendSwitch("gone");
  assigned = *original;
  assigned = *&assigned;
  delete original;

  for (CommandLine* command_line : {&copy, &assigned}) {
    EXPECT_EQ(L"1", command_line->GetSwitchValueNative("alpha"));
    EXPECT_TRUE(command_line->HasSwitch("beta"));
    EXPECT_FALSE(command_line->HasSwitch("gone"));
    EXPECT_EQ(L"prog --alpha=1 --beta arg",
              command_line->GetCommandLineString(false));
    // Changes to one copy reach its own lookups only.
    command_line->AppendSwitchASCII("alpha", command_line == &copy ? "c" : "a");
  }
  EXPECT_EQ(L"c", copy.GetSwitchValueNative("alpha"));
  EXPECT_EQ(L"a", assigned.GetSwitchValueNative("alpha"));
  EXPECT_EQ(2u, copy.GetSwitches().size());
}

TEST(CommandLineTest, AppendArgumentsAndCopySwitches) {
  const CommandLine source =
      FromArgv({L" src.exe ", L"--keep=1", L"--skip", L"x", L"--", L"--y"});

  CommandLine target = FromArgv({L"dst.exe", L"--own", L"t"});
  target.AppendArguments(source, false);
  EXPECT_EQ(StringVector({L"dst.exe", L"--own", L"--keep=1", L"--skip", L"t",
                          L"x", L"--", L"--y"}),
            target.argv());
  EXPECT_TRUE(target.HasSwitch("keep"));
  EXPECT_FALSE(target.HasSwitch("y"));

  CommandLine with_program(CommandLine::NO_PROGRAM);
  with_program.AppendArguments(source, true);
  EXPECT_EQ(L"src.exe", with_program.GetProgram().value());
  EXPECT_EQ(source.argv(), with_program.argv());

  const char* const names[] = {"skip", "absent", "keep"};
  CommandLine copied(FilePath(L"c.exe"));
  copied.CopySwitchesFrom(source, names, 3);
  EXPECT_EQ(StringVector({L"c.exe", L"--skip", L"--keep=1"}), copied.argv());
  EXPECT_FALSE(copied.HasSwitch("absent"));
  CommandLine none_copied(FilePath(L"c.exe"));
  none_copied.CopySwitchesFrom(source, names, 0);
  EXPECT_EQ(StringVector({L"c.exe"}), none_copied.argv());
}

// A non-ASCII unit of a switch name must not fold onto an ASCII letter: the
// name "--<U+0173>ilent" is not "--silent", and it is written back as given.
TEST(CommandLineTest, NonASCIISwitchNamesStayDistinct) {
  const CommandLine command_line =
      FromArgv({L"p", L"--\x0173ilent", L"/\x00c9t\x00e9=1"});
  EXPECT_FALSE(command_line.HasSwitch("silent"));
  EXPECT_TRUE(command_line.HasSwitch("\xc5\xb3ilent"));
  // Only A-Z is lowered.
  EXPECT_EQ(L"1", command_line.GetSwitchValueNative("\xc3\x89t\xc3\xa9"));
  EXPECT_EQ(StringVector({L"p", L"--\x0173ilent", L"/\x00c9t\x00e9=1"}),
            command_line.argv());
}

// A switch whose name holds a blank or quote (possible when quoted on the
// command line) is written so that it stays one switch: it must not turn
// into other switches in a child's command line.
TEST(CommandLineTest, SwitchNamesWithBlanksStayOneArgument) {
  const CommandLine command_line =
      FromString(L"p \"--x --system-level\" \"--a\\\"b=c d\"");
  ASSERT_EQ(StringVector({L"p", L"--x --system-level", L"--a\"b=c d"}),
            command_line.argv());
  const CommandLine reparsed =
      FromString(command_line.GetCommandLineString(false));
  EXPECT_FALSE(reparsed.HasSwitch("system-level"));
  EXPECT_EQ(command_line.argv(), reparsed.argv());
  EXPECT_EQ(command_line.GetSwitches(), reparsed.GetSwitches());
}

// Generated argument vectors go out through the program's own quoting and
// back through the system's splitter unchanged.
TEST(CommandLineTest, GeneratedCommandLinesRoundTrip) {
  std::mt19937 random(1234);
  const string16 alphabet = L"aZ9 \t\\\"=-/.:%\x00e9\x4e2d";
  const wchar_t* const prefixes[] = {L"", L"", L"--", L"-", L"/", L"---"};
  const wchar_t* const programs[] = {L"prog", L"C:\\Program Files\\App\\a.exe",
                                     L"C:\\x\\setup.exe", L"a b.exe"};
  for (int round = 0; round < 1000; ++round) {
    StringVector argv = {programs[random() % 4]};
    const int count = random() % 8;
    for (int i = 0; i < count; ++i) {
      if (random() % 12 == 0) {
        argv.push_back(L"--");
        continue;
      }
      string16 entry = prefixes[random() % 6];
      const int length = random() % 7;
      for (int j = 0; j < length; ++j)
        entry.push_back(alphabet[random() % alphabet.size()]);
      argv.push_back(entry);
    }

    const CommandLine original = FromArgv(argv);
    const string16 text = original.GetCommandLineString(false);
    const CommandLine reparsed = FromString(text);
    ASSERT_EQ(original.argv(), reparsed.argv()) << text;
    ASSERT_EQ(original.GetSwitches(), reparsed.GetSwitches()) << text;
    for (const auto& entry : original.GetSwitches()) {
      EXPECT_TRUE(reparsed.HasSwitch(entry.first.c_str())) << text;
      EXPECT_EQ(entry.second, reparsed.GetSwitchValueNative(entry.first));
    }
  }
}

TEST(CommandLineTest, ProcessCommandLine) {
  // Other tests of this executable may have set it up already.
  CommandLine::Init();
  ASSERT_TRUE(CommandLine::InitializedForCurrentProcess());
  CommandLine* current = CommandLine::ForCurrentProcess();
  ASSERT_NE(nullptr, current);
  EXPECT_FALSE(CommandLine::Init());
  EXPECT_EQ(current, CommandLine::ForCurrentProcess());

  EXPECT_EQ(
      0, FilePath::CompareIgnoreCase(L"base_unittests.exe",
                                     current->GetProgram().BaseName().value()));

  // The test framework read its own flags from the same process command
  // line; the switch must agree with what it found.
  if (wcsstr(::GetCommandLineW(), L"--gtest_filter=")) {
    EXPECT_EQ(GTEST_FLAG_GET(filter),
              current->GetSwitchValueASCII("gtest_filter"));
  }

  // The real command line survives being written out and read back.
  const CommandLine reparsed = FromString(current->GetCommandLineString(false));
  EXPECT_EQ(current->argv(), reparsed.argv());
}

}  // namespace
}  // namespace base
