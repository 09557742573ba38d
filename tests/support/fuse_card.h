// A dying memory card as a real file: tests/support/failing_card_fuse.py
// serves an image through FUSE, failing reads with EIO in chosen ranges,
// slowly in others, and dying after a number of failed reads. Programs read
// it like any file, so our copy and GNU ddrescue can be run on the same card.
//
// Mounting needs root, /dev/fuse and Debian's python3-fusepy; tests skip
// with UnavailableReason() where they are missing.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/non_copyable.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {

class FuseCard : NonCopyable {
 public:
  // One read as the card saw it.
  struct Read {
    uint64_t offset;
    uint64_t length;
    bool ok;
  };

  // Empty when cards can be served here; else why not, for GTEST_SKIP.
  static std::string UnavailableReason();

  // Serves `backing` with the server's options ("--bad", "START:LENGTH",
  // "--die-after-failures", "N", "--hold", "START:LENGTH" ...). Each card is
  // mounted afresh, so a card that died lives again in the next one.
  FuseCard(const TempDir& temp, const std::filesystem::path& backing,
           const std::vector<std::string>& options);
  ~FuseCard();

  bool mounted() const { return mounted_; }
  // The card's file.
  std::filesystem::path path() const { return mount_point_ / "card.img"; }
  // Every read so far, in order.
  std::vector<Read> Reads() const;

  // Waits until `holds` reads in all have stopped at a hold range; false
  // when that does not happen within a minute or the server has gone.
  bool WaitUntilHeld(int holds) const;
  // Lets the held read go on.
  void Release() const;

 private:
  std::filesystem::path mount_point_;
  std::filesystem::path log_;
  std::filesystem::path release_;
  pid_t server_ = -1;
  bool mounted_ = false;
};

}  // namespace vexlo::testing
