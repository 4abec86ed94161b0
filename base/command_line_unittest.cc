#include "base/command_line.h"

#include <windows.h>

#include <shellapi.h>
#include <wchar.h>

#include <random>
#include <string>
#include <tuple>
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

// The written line must read back with the same entries and switches.
void ExpectReadsBack(const CommandLine& command_line) {
  const string16 text = command_line.GetCommandLineString(false);
  const CommandLine reparsed = FromString(text);
  EXPECT_EQ(command_line.argv(), reparsed.argv()) << text;
  EXPECT_EQ(command_line.GetSwitches(), reparsed.GetSwitches()) << text;
}

TEST(CommandLineTest, SwitchPrefixAndSwitchTest) {
  const std::tuple<const wchar_t*, size_t, const wchar_t*, const wchar_t*>
      kCases[] = {
          {L"-a=b", 1, L"-a", L"b"},       {L"/S", 1, L"/S", L""},
          {L"--a=b=c", 2, L"--a", L"b=c"}, {L"-=x", 1, L"-", L"x"},
          {L"---x", 2, L"---x", L""},      {L"/-a", 1, L"/-a", L""},
          {L"--", 2, nullptr, L""},        {L"-", 1, nullptr, L""},
          {L"/", 1, nullptr, L""},         {L"a=b", 0, nullptr, L""},
      };
  for (const auto& [text, prefix, expected_name, expected_value] : kCases) {
    EXPECT_EQ(prefix, GetSwitchPrefixLength(text)) << text;
    string16 name = L"stale";
    string16 value = L"stale";
    EXPECT_EQ(expected_name != nullptr, IsSwitch(text, &name, &value)) << text;
    EXPECT_EQ(expected_name ? expected_name : L"", name) << text;
    EXPECT_EQ(expected_value, value) << text;
  }
}

// Switches go first, in order, names lowered (A-Z only); after "--" nothing
// is a switch; entries are trimmed, empty ones dropped; quotes only if need.
TEST(CommandLineTest, ParsedEntriesAndWrittenLine) {
  const std::tuple<StringVector, const wchar_t*> kCases[] = {
      {{L"prog", L"a", L"--x", L"b", L"-Y=1", L"/Z"}, L"prog --x -y=1 /z a b"},
      {{L"prog", L"--a", L"x", L"--", L"--y", L"/z", L"--", L"w"},
       L"prog --a x -- --y /z -- w"},
      {{L" C:\\a b\\p.exe ", L" --k=v ", L"  ", L"", L"x%"},
       L"\"C:\\a b\\p.exe\" --k=v x%"},
      {{L"p", L"--\x0173ilent", L"/\x00c9t\x00e9=1"},
       L"p --\x0173ilent /\x00c9t\x00e9=1"},
  };
  for (const auto& [argv, written] : kCases) {
    const CommandLine command_line = FromArgv(argv);
    EXPECT_EQ(written, command_line.GetCommandLineString(false));
    ExpectReadsBack(command_line);
  }
}

// Exact names; the last value wins; non-ASCII reads as empty as ASCII only.
TEST(CommandLineTest, SwitchLookups) {
  const CommandLine command_line =
      FromArgv({L"p", L"--Foo=Bar", L"/S", L"--a=", L"--b=c=d", L"-=x",
                L"--m=1", L"--M=2", L"--n=\x00e9", L"--", L"--after"});
  const std::tuple<const char*, bool, const wchar_t*> kCases[] = {
      {"foo", true, L"Bar"}, {"Foo", false, L""}, {"fo", false, L""},
      {"s", true, L""},      {"a", true, L""},    {"b", true, L"c=d"},
      {"", true, L"x"},      {"m", true, L"2"},   {"after", false, L""}};
  for (const auto& [name, has, value] : kCases) {
    EXPECT_EQ(has, command_line.HasSwitch(name)) << name;
    EXPECT_EQ(value, command_line.GetSwitchValueNative(name)) << name;
  }
  EXPECT_EQ("c=d", command_line.GetSwitchValueASCII("b"));
  EXPECT_EQ("", command_line.GetSwitchValueASCII("n"));
  EXPECT_EQ(L"\x00e9", command_line.GetSwitchValuePath("n").value());
}

// "=" goes with an empty value only where the name would not survive
// alone: a bare prefix, or a name ending in blanks that reading trims.
TEST(CommandLineTest, SwitchesThatKeepTheirSeparator) {
  CommandLine command_line =
      FromArgv({L"p", L"arg", L"--=", L"-=", L"/=", L"-=v", L"--t \t="});
  command_line.AppendSwitch("");
  command_line.AppendSwitch("u ");
  EXPECT_TRUE(command_line.HasSwitch("t \t"));
  EXPECT_EQ(L"p --= -= /= -=v \"--t \t\"= --= \"--u \"= arg",
            command_line.GetCommandLineString(false));
  ExpectReadsBack(command_line);
}

TEST(CommandLineTest, ParseFromStringAndProgram) {
  CommandLine command_line = FromString(
      L"  \"C:\\P F\\setup.exe\" --dir=\"C:\\My Dir\\\\\" \"\" \"  pad  \" "
      L"\"--x --system-level\" \"--a\\\"b=c d\" ");
  const StringVector expected = {L"C:\\P F\\setup.exe", L"--dir=C:\\My Dir\\",
                                 L"--x --system-level", L"--a\"b=c d", L"pad"};
  EXPECT_EQ(expected, command_line.argv());
  // Switch names with a blank or a quote stay one switch each.
  ExpectReadsBack(command_line);
  // Blank text changes nothing; a new parse replaces everything.
  command_line.ParseFromString(L" \t ");
  EXPECT_EQ(expected, command_line.argv());
  command_line.ParseFromString(L"other.exe b");
  EXPECT_EQ(StringVector({L"other.exe", L"b"}), command_line.argv());
  EXPECT_FALSE(command_line.HasSwitch("dir"));
  EXPECT_TRUE(command_line.GetSwitches().empty());

  // Without a program the text starts with the separating blank.
  command_line.InitFromArgv(0, nullptr);
  command_line.AppendSwitch("s");
  EXPECT_EQ(L" --s", command_line.GetCommandLineString(false));
  EXPECT_EQ(L"q.exe", CommandLine(FilePath(L" q.exe\t")).GetProgram().value());
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
  EXPECT_TRUE(command_line.HasSwitch("slash"));
  EXPECT_EQ(
      L"\"C:\\p.exe\" --plain /slash --count=3 --dir=\"C:\\a b\\\\\" "
      L"--log=\"C:\\l.txt\" first  \" \x00e9 \"",
      command_line.GetCommandLineString(false));

  EXPECT_EQ(L"\"50%\"", QuoteCommandLineArgument(L"50%", true));

  const CommandLine source =
      FromArgv({L" src.exe ", L"--keep=1", L"--skip", L"x", L"--", L"--y"});
  CommandLine target = FromArgv({L"dst.exe", L"--own", L"t"});
  target.AppendArguments(source, false);
  EXPECT_EQ(L"dst.exe --own --keep=1 --skip t x -- --y",
            target.GetCommandLineString(false));
  target.AppendArguments(source, true);
  EXPECT_EQ(L"src.exe", target.GetProgram().value());
  const char* const names[] = {"skip", "absent", "keep"};
  CommandLine copied(FilePath(L"c.exe"));
  copied.CopySwitchesFrom(source, names, 3);
  copied.CopySwitchesFrom(source, names, 0);
  EXPECT_EQ(L"c.exe --skip --keep=1", copied.GetCommandLineString(false));
}

// An appended argument that looks like a switch gets a "--" before it, if
// there is none yet, so that it reads back as an argument.
TEST(CommandLineTest, AppendedArgumentsThatLookLikeSwitches) {
  const std::tuple<std::vector<std::string>, const wchar_t*> kCases[] = {
      {{"--system-level"}, L"p --s --late -- --system-level"},
      {{"a", "/silent", "-x=1"}, L"p --s --late a -- /silent -x=1"},
      {{" -v "}, L"p --s --late -- \" -v \""},
      {{"--", "--y"}, L"p --s --late -- --y"},
      {{"-", "/", "b--", "--"}, L"p --s --late - / b-- --"},
  };
  for (const auto& [args, written] : kCases) {
    CommandLine command_line(FilePath(L"p"));
    command_line.AppendSwitch("s");
    for (const std::string& arg : args)
      command_line.AppendArg(arg);
    command_line.AppendSwitch("late");
    const string16 text = command_line.GetCommandLineString(false);
    EXPECT_EQ(written, text);
    EXPECT_EQ(command_line.GetSwitches(), FromString(text).GetSwitches());
  }
  CommandLine parsed = FromArgv({L"p", L"a", L"--", L"b"});
  parsed.AppendArg("/c");
  EXPECT_EQ(L"p a -- b /c", parsed.GetCommandLineString(false));
}

// A copy and its original, however made, change apart.
TEST(CommandLineTest, CopiesChangeIndependently) {
  for (bool assign : {false, true}) {
    CommandLine original = FromArgv({L"prog", L"--alpha=1", L"--beta", L"a"});
    CommandLine assigned(CommandLine::NO_PROGRAM);
    assigned.AppendSwitch("gone");
    assigned = original;
    assigned = *&assigned;
    CommandLine constructed(original);
    CommandLine& copy = assign ? assigned : constructed;
    original.AppendSwitchASCII("alpha", "o");
    copy.AppendSwitchASCII("beta", "c");
    EXPECT_EQ(L"", original.GetSwitchValueNative("beta")) << assign;
    EXPECT_EQ(L"1", copy.GetSwitchValueNative("alpha")) << assign;
    EXPECT_FALSE(copy.HasSwitch("gone"));
    EXPECT_EQ(L"prog --alpha=1 --beta --beta=c a",
              copy.GetCommandLineString(false));
  }
}

// Generated entries survive the quoting and the system's splitter.
TEST(CommandLineTest, GeneratedCommandLinesRoundTrip) {
  std::mt19937 random(1234);
  const string16 alphabet = L"aZ9 \t\\\"=-/.:%\x00e9\x4e2d";
  const wchar_t* const prefixes[] = {L"", L"", L"--", L"-", L"/", L"---"};
  for (int round = 0; round < 1000 && !HasFailure(); ++round) {
    StringVector argv = {random() % 2 ? L"prog" : L"C:\\P F\\a.exe"};
    string16 quoted = L"prog";
    StringVector expected = {L"prog"};
    for (int i = random() % 8; i > 0; --i) {
      string16 entry = random() % 12 ? prefixes[random() % 6] : L"--";
      for (int j = entry == L"--" ? 0 : random() % 7; j > 0; --j)
        entry.push_back(alphabet[random() % alphabet.size()]);
      argv.push_back(entry);
      quoted += L" " + QuoteCommandLineArgument(entry, random() % 2 == 0);
      if (!entry.empty())
        expected.push_back(entry);
    }
    int count = 0;
    wchar_t** split = ::CommandLineToArgvW(quoted.c_str(), &count);
    EXPECT_EQ(expected, StringVector(split, split + count)) << quoted;
    ::LocalFree(split);
    ExpectReadsBack(FromArgv(argv));
  }
}

TEST(CommandLineTest, ProcessCommandLine) {
  // Other tests of this executable may have set it up already.
  CommandLine::Init();
  EXPECT_FALSE(CommandLine::Init());
  ASSERT_TRUE(CommandLine::InitializedForCurrentProcess());
  const CommandLine& current = *CommandLine::ForCurrentProcess();
  EXPECT_EQ(
      0, FilePath::CompareIgnoreCase(L"base_unittests.exe",
                                     current.GetProgram().BaseName().value()));
  // The test framework read its flags from the same text.
  if (wcsstr(::GetCommandLineW(), L"--gtest_filter=")) {
    EXPECT_EQ(GTEST_FLAG_GET(filter),
              current.GetSwitchValueASCII("gtest_filter"));
  }
  ExpectReadsBack(current);
}

}  // namespace
}  // namespace base
