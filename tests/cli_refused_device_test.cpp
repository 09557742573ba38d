// A device the system refuses to open: a user is told how to get the right
// to read disks; root, who has every right there is, is told what refused
// it instead. Both on a loop device of a test image: the user is "nobody",
// and root is refused by a private mount of the device's node without any
// permission bits, with the capabilities that override them dropped; the
// machine's own /dev stays as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/fat_image.h"
#include "tests/support/loop_device.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

constexpr const char* kUserAdvice =
    "run the program from your desktop to be asked for your password, or run `sudo vexlo-recover";
constexpr const char* kRootAdvice = "although this program runs as root";

TEST(CliRefusedDevice, TheAdviceFitsWhoRunsTheTool) {
  TempDir temp;
  const std::filesystem::path card = temp / "card.img";
  ASSERT_EQ(MakeFatImage(card, {.fat_bits = 16, .size_kib = 16384}), "");
  LoopDevice loop(card);
  if (!loop.attached()) GTEST_SKIP() << loop.reason();
  const std::string device = loop.path().string();
  struct stat st {};
  ASSERT_EQ(::stat(device.c_str(), &st), 0);
  const std::string node = (temp / "locked-node").string();
  const std::string tool = ShellQuote(ToolBinary().string());

  struct Case {
    std::string who;
    std::string run_as;  // the command line prefix that runs the tool so
    std::string advice;
    std::string wrong_advice;
  };
  const std::vector<Case> cases = {
      {"a user", "setpriv --reuid=65534 --regid=65534 --clear-groups ", kUserAdvice, kRootAdvice},
      {"root",
       "unshare --mount sh -c 'rm -f " + node + " && mknod " + node + " b " +
           std::to_string(major(st.st_rdev)) + " " + std::to_string(minor(st.st_rdev)) +
           " && chmod 000 " + node + " && mount --bind " + node + " " + device +
           " && exec setpriv --bounding-set=-dac_override,-dac_read_search \"$0\" "
           "\"$@\"' ",
       kRootAdvice, kUserAdvice},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.who);
    for (const std::string& command : {"scan " + device, std::string("list --json")}) {
      std::string output;
      // No desktop's disk daemon may step in for the refused open here.
      const int status = RunCapture(
          "VEXLO_UDISKS_BUS_ADDRESS=unix:path=/nonexistent "
          "XDG_DATA_HOME=" +
              (temp / "data").string() + " " + c.run_as + tool + " " + command + " 2>&1",
          &output);
      if (output.find("vexlo-recover") == std::string::npos && output.find('{') != 0) {
        GTEST_SKIP() << "cannot run the tool as " << c.who << ": " << output;
      }
      if (command.starts_with("scan")) {
        EXPECT_EQ(status, 1) << output;
        EXPECT_NE(output.find("Permission denied for " + device + ". "), std::string::npos)
            << output;
        EXPECT_NE(output.find(c.advice), std::string::npos) << output;
        EXPECT_EQ(output.find(c.wrong_advice), std::string::npos) << output;
      } else {
        // The numeric code stays the one the other front ends know.
        EXPECT_EQ(status, 0) << output;
        const std::string rows =
            JsonLines(temp, output, "\"%s=%s\" % (r[\"device\"], r[\"access_error\"])");
        EXPECT_NE(rows.find(device + "=5\n"), std::string::npos) << rows;
      }
    }
  }
}

}  // namespace
}  // namespace vexlo::testing
