// Recovering files whose names are longer than the destination accepts: a
// FAT long name of CJK text is 256 UTF-8 bytes already at 84 characters.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/fat_image.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

std::string CjkName(int characters, const std::string& extension) {
  std::string name;
  for (int i = 0; i < characters; ++i) name += "\xE5\x86\x99";
  return name + extension;
}

TEST(CliLongName, DeletedFileWithAnOverlongNameIsWrittenUnderAShortenedOne) {
  TempDir temp;
  ScopedDataHome data_home(temp / "data");
  const std::filesystem::path card = temp / "card.img";
  ASSERT_EQ(MakeFatImage(card, {.fat_bits = 16, .size_kib = 16384}), "");
  const std::vector<uint8_t> photo = JpegBytes(12000, 7);
  const std::string name = CjkName(84, ".jpg");
  ASSERT_EQ(name.size(), 256u);
  ASSERT_EQ(FatWriteFile(card, "/" + name, photo), "");
  ASSERT_EQ(Mtools(card, "mdel", {"::/" + name}), "");

  const std::filesystem::path out = temp / "out";
  // Twice: the second copy needs a numbered name, which must fit as well.
  for (int run_number = 0; run_number < 2; ++run_number) {
    const ToolRun run = RunTool(temp, {"recover", card.string(), "--to", out.string()});
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_NE(run.out.find("1 written, 0 failed, 12000 bytes"), std::string::npos) << run.out;
  }
  std::vector<std::string> written;
  for (const auto& entry : std::filesystem::directory_iterator(out / "photo")) {
    written.push_back(entry.path().filename().string());
    EXPECT_EQ(Sha256OfFile(entry.path()), Sha256OfBytes(photo));
  }
  ASSERT_EQ(written.size(), 2u);
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written[0], CjkName(82, "(1).jpg"));
  EXPECT_EQ(written[1], CjkName(83, ".jpg"));
}

}  // namespace
}  // namespace vexlo::testing
