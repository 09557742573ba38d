// A deleted folder on a card of one-sector clusters: its chain, guessed
// once the FAT no longer holds it, must not run into the subfolder made
// right after it, or the subfolder's files are listed and recovered twice.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/fat_image.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST(CliDeletedFolder, SubfolderFilesAreListedAndRecoveredOnce) {
  TempDir temp;
  ScopedDataHome data_home(temp / "data");
  const std::filesystem::path card = temp / "card.img";
  ASSERT_EQ(MakeFatImage(card, {.fat_bits = 16, .size_kib = 8192, .sectors_per_cluster = 1}), "");
  ASSERT_EQ(MakeDeletedFolderBeforeItsSubfolder(card, PatternBytes(600, 1)), "");

  for (const std::string mode : {"quick", "formatted"}) {
    SCOPED_TRACE(mode);
    const ToolRun scan = RunTool(temp, {"scan", card.string(), "--mode", mode, "--fresh"});
    ASSERT_EQ(scan.status, 0) << scan.err;
    EXPECT_EQ(Count(scan.out, "nner.txt"), 1u) << scan.out;
    EXPECT_NE(scan.out.find("!/!/!nner.txt  600 bytes"), std::string::npos) << scan.out;
  }

  const std::filesystem::path out = temp / "out";
  const ToolRun run = RunTool(
      temp, {"recover", card.string(), "--to", out.string(), "--mode", "quick", "--types", "txt"});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_EQ(Count(run.out, "nner.txt: Success"), 1u) << run.out;
  EXPECT_EQ(Sha256OfFile(out / "document" / "!nner.txt"), Sha256OfBytes(PatternBytes(600, 1)));
}

}  // namespace
}  // namespace vexlo::testing
