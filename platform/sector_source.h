// A source medium as the operating system presents it: a whole disk, a
// partition device or an image file, opened read-only.
//
// This is the one seam between the recovery code and the system's devices.
// The Linux implementation opens block devices and regular files with
// O_RDONLY; MemorySectorSource and FaultySectorSource stand in for media in
// tests and fuzzers (unreadable ranges, short reads, failing queries).
//
// A source is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/error_code.h"

namespace vexlo::platform {

// What the device reports about its layout. `valid` is false when the device
// does not answer the query; image files report 512-byte sectors.
struct DeviceGeometry {
  bool valid = false;
  uint32_t bytes_per_sector = 512;
  uint64_t cylinders = 0;
  uint32_t tracks_per_cylinder = 0;
  uint32_t sectors_per_track = 0;
};

class SectorSource {
 public:
  virtual ~SectorSource() = default;

  // One positioned read of at most data.size() bytes. Like pread: fewer bytes
  // may arrive, 0 at the end; an error returns its code.
  virtual ErrorCode ReadAt(uint64_t byte_offset, std::span<uint8_t> data,
                           std::size_t* bytes_read) = 0;

  // Length of the medium in bytes; an error when the device cannot tell.
  virtual ErrorCode LengthBytes(uint64_t* length_bytes) const = 0;

  // Geometry of the medium (bytes per sector and C/H/S where known).
  virtual ErrorCode Geometry(DeviceGeometry* geometry) const = 0;

  // True for a block device, false for an image file or a stand-in.
  virtual bool is_block_device() const { return false; }

  // True once the medium is gone for good (a card or reader pulled, the
  // server behind a file stopped): no later read can succeed. Asked after a
  // failed read, to tell a dead device from a bad sector.
  virtual bool Vanished() const { return false; }
  // The reader is done with these bytes: the system may drop them from its
  // cache. Only a hint; stand-ins ignore it.
  virtual void ForgetCached(uint64_t /*byte_offset*/, uint64_t /*length_bytes*/) {}
};

// Opens a device or image file read-only. A device the user may not read gives
// 5 (access denied). Tests may redirect this through SetSourceOpenerForTesting.
ErrorCode OpenSource(const std::filesystem::path& path, std::unique_ptr<SectorSource>* source);

// Opens `path` O_RDONLY for readers that need a descriptor of their own (the
// blkid probes). A block device the system refuses is asked of UDisks2, as
// desktop disk tools do (platform/udisks.h); when that fails too, the
// original refusal is returned, so the user learns what the system said.
ErrorCode OpenReadOnlyDescriptor(const std::filesystem::path& path, int* fd);

using SourceOpener =
    std::function<ErrorCode(const std::filesystem::path&, std::unique_ptr<SectorSource>*)>;

// Whether the program runs as root, whom the permissions of device files do
// not stop: a device refused to root is refused by a rule of the system (a
// container's device list, a security module), which more rights cannot
// lift.
bool RunsAsRoot();

// Replaces OpenSource for tests (an empty function restores the real one).
void SetSourceOpenerForTesting(SourceOpener opener);

// A medium held in memory.
class MemorySectorSource final : public SectorSource {
 public:
  explicit MemorySectorSource(std::vector<uint8_t> bytes, uint32_t bytes_per_sector = 512);
  ErrorCode ReadAt(uint64_t byte_offset, std::span<uint8_t> data, std::size_t* bytes_read) override;
  ErrorCode LengthBytes(uint64_t* length_bytes) const override;
  ErrorCode Geometry(DeviceGeometry* geometry) const override;
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t bytes_per_sector_;
};

// Wraps another source and injects faults: reads touching an unreadable byte
// range deliver the bytes before it and then fail with 30; reads touching a
// slow range take longer (they pass the delay to a handler, which sleeps
// unless a test replaces it with its own clock); after a given number of
// reads the device dies and every read fails; reads may be cut to a maximum
// size; the length and geometry queries may be made to fail.
class FaultySectorSource final : public SectorSource {
 public:
  // One ReadAt as it reached the device: `failed` when it returned an error.
  struct ReadEvent {
    uint64_t byte_offset;
    std::size_t length_bytes;
    bool failed;
  };

  explicit FaultySectorSource(std::unique_ptr<SectorSource> inner);

  // `failures`: how many reads that start inside the range fail before it
  // reads well (a sector that a retry may still get).
  void AddUnreadableRange(uint64_t byte_offset, uint64_t length_bytes,
                          uint32_t failures = UINT32_MAX);
  void AddSlowRange(uint64_t byte_offset, uint64_t length_bytes, uint32_t delay_ms);
  void set_delay_handler(std::function<void(uint32_t delay_ms)> handler) {
    delay_handler_ = std::move(handler);
  }
  // Every read after the first `reads` fails (slow ranges still take their
  // time): with 21 and Vanished() true when the device `vanishes` (pulled),
  // else with 30, as a card whose controller hangs.
  void set_death_after_reads(std::size_t reads, bool vanishes) {
    death_after_reads_ = reads;
    vanishes_ = vanishes;
  }
  void set_read_observer(std::function<void(const ReadEvent&)> observer) {
    read_observer_ = std::move(observer);
  }
  void set_max_read_bytes(std::size_t max_bytes) { max_read_bytes_ = max_bytes; }
  void set_fail_length(bool fail) { fail_length_ = fail; }
  void set_fail_geometry(bool fail) { fail_geometry_ = fail; }
  void set_geometry(const DeviceGeometry& geometry) {
    geometry_override_ = geometry;
    has_geometry_override_ = true;
  }
  // Number of ReadAt calls so far (tests check that nothing was read).
  std::size_t read_calls() const { return read_calls_; }
  // ReadAt calls that returned an error.
  std::size_t failed_reads() const { return failed_reads_; }
  // Total bytes delivered so far.
  uint64_t bytes_delivered() const { return bytes_delivered_; }

  ErrorCode ReadAt(uint64_t byte_offset, std::span<uint8_t> data, std::size_t* bytes_read) override;
  ErrorCode LengthBytes(uint64_t* length_bytes) const override;
  ErrorCode Geometry(DeviceGeometry* geometry) const override;
  bool Vanished() const override;

 private:
  struct Range {
    uint64_t begin;
    uint64_t end;
    uint32_t delay_ms;
    uint32_t failures;
  };
  ErrorCode ReadAlive(uint64_t byte_offset, std::size_t wanted, std::span<uint8_t> data,
                      std::size_t* bytes_read);
  bool dead() const { return read_calls_ > death_after_reads_; }

  std::unique_ptr<SectorSource> inner_;
  std::vector<Range> unreadable_;
  std::vector<Range> slow_;
  std::function<void(uint32_t)> delay_handler_;
  std::function<void(const ReadEvent&)> read_observer_;
  std::size_t death_after_reads_ = SIZE_MAX;
  bool vanishes_ = false;
  std::size_t max_read_bytes_ = 0;  // 0: no limit
  bool fail_length_ = false;
  bool fail_geometry_ = false;
  bool has_geometry_override_ = false;
  DeviceGeometry geometry_override_;
  std::size_t read_calls_ = 0;
  std::size_t failed_reads_ = 0;
  uint64_t bytes_delivered_ = 0;
};

}  // namespace vexlo::platform
