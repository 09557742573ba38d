// The fixtures of end-to-end tests on one card image: the image and the
// tool's scan history live in the test's own folder, so that no test sees
// another test's card or scans.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/ntfs_image.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {

class CardImageTest : public ::testing::Test {
 protected:
  TempDir temp_;
  ScopedDataHome data_home_{temp_ / "data"};
  std::filesystem::path card_ = temp_ / "card.img";
};

// A card that is one freshly made NTFS volume of 16 MiB; skipped where the
// ntfs-3g tools are missing.
class NtfsCardImageTest : public CardImageTest {
 protected:
  void SetUp() override {
    if (!NtfsToolsAvailable()) GTEST_SKIP() << "ntfs-3g tools missing";
    ASSERT_EQ(MakeNtfsImage(card_, 16 << 20), "");
  }
};

}  // namespace vexlo::testing
