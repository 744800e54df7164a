#include <gtest/gtest.h>

#include "argv_reference.h"
#include "update/command_line.h"

namespace halvex {
namespace {

TEST(CommandLineTest, QuotingEscapesOnlyWhatTheSplitWouldEat) {
  EXPECT_EQ(QuoteArgument(""), R"("")");
  EXPECT_EQ(QuoteArgument("C:\\Program Files\\Halvex"), R"("C:\Program Files\Halvex")");
  EXPECT_EQ(QuoteArgument("C:\\Halvex\\"), R"("C:\Halvex\\")");
  EXPECT_EQ(QuoteArgument("a\"b"), R"("a\"b")");
  EXPECT_EQ(QuoteArgument("a\\\\\"b"), R"("a\\\\\"b")");
  EXPECT_EQ(QuoteArgument("\\\\"), R"("\\\\")");
}

TEST(CommandLineTest, QuotedArgumentsSplitBackToTheOriginals) {
  const auto& args = testing::TrickyArguments();
  std::string line = QuoteArgument("C:\\Program Files\\Halvex\\HalvexUpdater.exe");
  for (const std::string& a : args) line += " " + QuoteArgument(a);
  std::vector<std::string> expected{"C:\\Program Files\\Halvex\\HalvexUpdater.exe"};
  expected.insert(expected.end(), args.begin(), args.end());
  EXPECT_EQ(testing::SplitWindowsCommandLine(line), expected) << line;
  // One at a time too, so that a failure names its argument.
  for (const std::string& a : args)
    EXPECT_EQ(testing::SplitWindowsCommandLine("p " + QuoteArgument(a)), (std::vector<std::string>{"p", a}))
        << QuoteArgument(a);
}

}  // namespace
}  // namespace halvex
