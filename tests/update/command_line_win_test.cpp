// The system's own split, against our quoting and against the reference split used on Linux.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "argv_reference.h"
#include "core/text.h"
#include "update/command_line.h"

namespace halvex {
namespace {

std::vector<std::string> SystemSplit(const std::string& line) {
  int count = 0;
  const std::wstring wide = text::Utf8ToWide(line);
  LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &count);
  std::vector<std::string> args;
  if (!argv) return args;
  for (int i = 0; i < count; ++i) args.push_back(text::WideToUtf8(argv[i]));
  LocalFree(argv);
  return args;
}

TEST(CommandLineWinTest, SystemSplitGivesBackEveryQuotedArgument) {
  const auto& args = testing::TrickyArguments();
  const std::string program = "C:\\Program Files\\Halvex\\HalvexUpdater.exe";
  std::string line = QuoteArgument(program);
  for (const std::string& a : args) line += " " + QuoteArgument(a);
  std::vector<std::string> expected{program};
  expected.insert(expected.end(), args.begin(), args.end());
  EXPECT_EQ(SystemSplit(line), expected) << line;
  for (const std::string& a : args)
    EXPECT_EQ(SystemSplit("p " + QuoteArgument(a)), (std::vector<std::string>{"p", a})) << QuoteArgument(a);
}

TEST(CommandLineWinTest, ReferenceSplitAgreesWithTheSystem) {
  for (const char* line : {
           R"(p a b  c)",
           R"("C:\Program Files\x.exe" --update "C:\Dir With Space\\" --pid 12)",
           R"(p a\\\"b "c d"e f\\g h\\)",
           R"(p "a\\"b" \\\\" "\"")",
           "p\ttab\t\"q \t r\"",
           R"(p "unterminated \" quote)",
           R"(p a"b c"d)",
       })
    EXPECT_EQ(testing::SplitWindowsCommandLine(line), SystemSplit(line)) << line;
}

}  // namespace
}  // namespace halvex
