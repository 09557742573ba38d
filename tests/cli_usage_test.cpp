// What a mistyped command line is told: the mistake, and where to read how
// the command is used, the help of the subcommand typed where there is one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

TEST(CliUsage, AMistakeNamesItselfAndTheHelpToRead) {
  TempDir temp;
  const std::string card = (temp / "card.img").string();
  struct Case {
    std::vector<std::string> args;
    std::string mistake;
    std::string help;
  };
  const std::vector<Case> cases = {
      {{"bogus"},
       "unknown command 'bogus'; the commands are list, scan, recover, image",
       "vexlo-recover --help"},
      {{"scna", card}, "unknown command 'scna'", "vexlo-recover --help"},
      {{"--bogus"}, "--bogus", "vexlo-recover --help"},
      {{"list", "--bogus"}, "--bogus", "vexlo-recover list --help"},
      {{"scan"}, "SOURCE", "vexlo-recover scan --help"},
      {{"scan", card, "--min-size", "lots"}, "lots", "vexlo-recover scan --help"},
      {{"scan", card, "--after", "yesterday"}, "yesterday", "vexlo-recover scan --help"},
      {{"recover", card}, "--to", "vexlo-recover recover --help"},
      {{"recover", card, "--to", card, "--max-size", "1X"}, "1X", "vexlo-recover recover --help"},
      {{"image", card}, "TARGET", "vexlo-recover image --help"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const ToolRun run = RunTool(temp, c.args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(c.mistake), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Try '" + c.help + "'."), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace vexlo::testing
