// A card the user may not open is read through UDisks2, which opens it on the
// user's behalf once polkit has asked for the password: run as "nobody"
// against a loop device only root may read, the tool lists what root lists
// directly; a refusal ends with the refusal; a descriptor that could write is
// not used. The machine's own system bus is never involved: a stand-in
// daemon answers on a private bus.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/udisks.h"
#include "tests/support/fake_udisks.h"
#include "tests/support/fat_image.h"
#include "tests/support/loop_device.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::testing {
namespace {

class ScopedBusAddress {
 public:
  explicit ScopedBusAddress(const std::string& address) {
    ::setenv("VEXLO_UDISKS_BUS_ADDRESS", address.c_str(), 1);
  }
  ~ScopedBusAddress() { ::unsetenv("VEXLO_UDISKS_BUS_ADDRESS"); }
};

std::filesystem::path MakeCard(const TempDir& temp) {
  const std::filesystem::path card = temp / "card.img";
  EXPECT_EQ(MakeFatImage(card, {.fat_bits = 16, .size_kib = 16384}), "");
  EXPECT_EQ(Mtools(card, "mmd", {"::/DCIM"}), "");
  EXPECT_EQ(FatWriteFile(card, "/DCIM/kept.jpg", JpegBytes(30000, 1)), "");
  EXPECT_EQ(FatWriteFile(card, "/DCIM/gone.jpg", JpegBytes(45000, 2)), "");
  EXPECT_EQ(Mtools(card, "mdel", {"::/DCIM/gone.jpg"}), "");
  return card;
}

TEST(UdisksOpen, OnlyAReadOnlyDescriptorOfTheAskedDeviceIsTaken) {
  if (const std::string reason = FakeUdisks::UnavailableReason(); !reason.empty()) {
    GTEST_SKIP() << reason;
  }
  TempDir temp;
  // The stand-in opens whatever path it serves: an image stands in for the
  // device here, so no loop device is needed. Each case asks for a path of
  // its own, since a descriptor once granted is kept for the program's life.
  const std::filesystem::path image = MakeCard(temp);
  int case_number = 0;
  struct Case {
    const char* what;
    FakeUdisks::Answer answer;
    std::string asked_for;  // empty: the device the daemon serves
    int32_t expected;
  };
  const std::vector<Case> cases = {
      {"a read-only descriptor", FakeUdisks::Answer::kReadOnlyDescriptor, "", err::kSuccess},
      {"polkit refused", FakeUdisks::Answer::kRefusal, "", err::kAccessDenied},
      {"a descriptor open for writing", FakeUdisks::Answer::kWritableDescriptor, "",
       err::kAccessDenied},
      {"a device the daemon does not know", FakeUdisks::Answer::kReadOnlyDescriptor,
       "/dev/no-such-card", err::kFileNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::filesystem::path card = temp / ("card" + std::to_string(++case_number) + ".img");
    std::filesystem::create_hard_link(image, card);
    TempDir bus_dir;
    FakeUdisks daemon(bus_dir, card, c.answer);
    ASSERT_TRUE(daemon.running());
    ScopedBusAddress bus(daemon.address());
    int fd = -1;
    EXPECT_EQ(
        platform::OpenThroughUdisks(c.asked_for.empty() ? card.string() : c.asked_for, &fd).value(),
        c.expected);
    if (c.expected != err::kSuccess) {
      EXPECT_EQ(fd, -1);
      continue;
    }
    ASSERT_GE(fd, 0);
    std::array<char, 512> first{};
    ASSERT_EQ(::pread(fd, first.data(), first.size(), 0), 512);
    EXPECT_EQ(std::string(first.data() + 3, 8), "mkfs.fat");
    EXPECT_EQ(::pwrite(fd, first.data(), first.size(), 0), -1);
    EXPECT_EQ(errno, EBADF);
    ::close(fd);
    // Asked again, the program uses what it was granted: no second password.
    ASSERT_EQ(platform::OpenThroughUdisks(card, &fd).value(), err::kSuccess);
    ::close(fd);
    EXPECT_EQ(daemon.Calls(), "OpenForBackup interactive=True\n");
  }
}

TEST(UdisksOpen, NoBusIsNotARefusal) {
  ScopedBusAddress bus("unix:path=/nonexistent/vexlo-test-bus");
  int fd = -1;
  EXPECT_EQ(platform::OpenThroughUdisks("/dev/sdz", &fd).value(), err::kNotSupported);
  EXPECT_EQ(fd, -1);
}

// A loop device of a card that only root may open, and the tool run as
// "nobody" against it with the bus of a stand-in daemon.
class CliUdisks : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string reason = FakeUdisks::UnavailableReason(); !reason.empty()) {
      GTEST_SKIP() << reason;
    }
    loop_ = std::make_unique<LoopDevice>(MakeCard(temp_));
    if (!loop_->attached()) GTEST_SKIP() << loop_->reason();
    device_ = loop_->path().string();
    // "nobody" must reach the bus socket and keep a scan history.
    std::filesystem::permissions(temp_.path(), std::filesystem::perms::all);
  }

  int Run(const std::string& command, bool as_user, const std::string& bus_address,
          std::string* output) {
    const std::filesystem::path data_home = temp_ / ("data" + std::to_string(++runs_));
    std::filesystem::create_directories(data_home);
    std::filesystem::permissions(data_home, std::filesystem::perms::all);
    const std::string prefix = as_user ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    return RunCapture("VEXLO_UDISKS_BUS_ADDRESS=" + bus_address +
                          " XDG_DATA_HOME=" + data_home.string() + " " + prefix +
                          ShellQuote(ToolBinary().string()) + " " + command + " 2>&1",
                      output);
  }

  TempDir temp_;
  std::unique_ptr<LoopDevice> loop_;
  std::string device_;
  int runs_ = 0;
};

TEST_F(CliUdisks, AUserReadsACardThroughTheDaemon) {
  std::string direct;
  ASSERT_EQ(Run("scan " + device_, false, "unix:path=/nonexistent", &direct), 0) << direct;
  ASSERT_NE(direct.find("one.jpg"), std::string::npos) << direct;

  struct Case {
    const char* what;
    FakeUdisks::Answer answer;
    int status;
  };
  for (const Case& c : {Case{"the daemon opens it", FakeUdisks::Answer::kReadOnlyDescriptor, 0},
                        Case{"polkit refuses", FakeUdisks::Answer::kRefusal, 1}}) {
    SCOPED_TRACE(c.what);
    TempDir bus_dir;
    std::filesystem::permissions(bus_dir.path(), std::filesystem::perms::all);
    FakeUdisks daemon(bus_dir, device_, c.answer);
    ASSERT_TRUE(daemon.running());
    std::string output;
    const int status = Run("scan " + device_, true, daemon.address(), &output);
    if (output.find("vexlo-recover") == std::string::npos && status != 0) {
      GTEST_SKIP() << "cannot run the tool as nobody: " << output;
    }
    // One password dialog for the whole scan, however often it opens the card.
    EXPECT_EQ(daemon.Calls(), "OpenForBackup interactive=True\n");
    EXPECT_EQ(status, c.status) << output;
    if (c.status == 0) {
      EXPECT_EQ(output, direct);
    } else {
      EXPECT_NE(output.find("Permission denied for " + device_), std::string::npos) << output;
    }
  }
}

TEST_F(CliUdisks, ListingTheDisksNeverAsksForAPassword) {
  TempDir bus_dir;
  std::filesystem::permissions(bus_dir.path(), std::filesystem::perms::all);
  FakeUdisks daemon(bus_dir, device_, FakeUdisks::Answer::kRefusal);
  ASSERT_TRUE(daemon.running());
  std::string output;
  ASSERT_EQ(Run("list --json", true, daemon.address(), &output), 0) << output;
  const std::string calls = daemon.Calls();
  EXPECT_NE(calls.find("interactive=False"), std::string::npos) << calls;
  EXPECT_EQ(calls.find("interactive=True"), std::string::npos) << calls;
  const std::string rows =
      JsonLines(temp_, output, "\"%s=%s\" % (r.get(\"device\"), r.get(\"access_error\"))");
  EXPECT_NE(rows.find(device_ + "=5\n"), std::string::npos) << rows;
}

}  // namespace
}  // namespace vexlo::testing
