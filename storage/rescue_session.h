// One run of a phased image copy: what every phase shares.
//
// The phases (rescue_phases.h) decide what to read and how to mark what
// failed; the session does the reading and everything around it: whole
// sectors from the source into the image at the same place, copied bytes
// marked finished in the map, reads and time counted per phase, the device
// watched, progress reported and the map saved at a bounded rate.
//
// The device is given up when it vanishes, or when it looks stuck (no good
// read for the silence limit, or a long run of failed reads while copying or
// trimming) and a sector that read well before fails too. That one probe
// tells a dead device from a large or slow bad area, which is read to its
// end however long it takes. Once the session has stopped, every further Read
// answers false at once, so a phase only has to give up when told.
//
// The map is saved only after the image has been synced, so a saved map
// never claims bytes that a crash could still take from the image.
//
// Used by one thread at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/file.h"
#include "platform/non_copyable.h"
#include "storage/disk_image_copy.h"
#include "storage/mapfile.h"
#include "storage/rescue_map.h"
#include "storage/sector_io.h"

namespace vexlo {

// What one read brought.
struct ReadOutcome {
  uint64_t good_bytes = 0;  // whole sectors from the start of the read
  bool slow = false;        // far slower than the reads before it
};

class RescueSession : NonCopyable {
 public:
  // All references must outlive the session. `status` is where the map says
  // the copy stood; `report` receives the stats as they grow and the totals
  // when the session finishes.
  RescueSession(ImageCopyJob& job, DiskHandle& source, uint64_t first_sector, platform::File& image,
                RescueMap& map, const RescueStatus& status, std::filesystem::path map_path,
                ImageCopyReport* report);
  ~RescueSession();

  // Allocates the read buffer and saves the map as it stands, so that a map
  // that cannot be written is known before any read. False when the session
  // cannot start (see Finish for the code).
  bool Start();

  // Begins a phase (or a pass of it) at `position`: reports it at once.
  void Enter(RescuePhase phase, uint32_t pass, uint64_t position);

  // Where the current pass goes on: saved in the map's status line.
  void set_position(uint64_t position) { status_.position = position; }

  // Reads [begin, begin + length) (whole sectors, at most kRescueBlockBytes)
  // into the image and marks what arrived finished. False when the copy
  // must stop; the bytes that arrived are kept, the failure is not marked.
  bool Read(uint64_t begin, uint64_t length, ReadOutcome* outcome);

  // Ends the run: the last progress call, the last save of the map (its
  // status finished unless the session stopped), the report filled in.
  // Returns the run's code.
  ErrorCode Finish();

  RescueMap& map() { return map_; }
  uint32_t sector_bytes() const { return sector_bytes_; }

 private:
  uint64_t Now() const;
  void Stop(ImageCopyEnd end, ErrorCode code);
  // Progress and the periodic save; `force` skips the rate limits.
  void Tick(bool force);
  // Calls the progress callback; returns its answer.
  int32_t Report(uint64_t now_ms);
  void SaveMap();
  void CloseCurrentPhase(uint64_t now_ms);
  bool IsSlow(uint64_t bytes, uint64_t elapsed_ms) const;
  // After a failed read: no good read for the silence limit, or a long run
  // of failures where success was possible.
  bool DeviceLooksStuck(uint64_t now_ms) const;
  // Reads one sector that read well before (not written again).
  bool DeviceStillAnswers();
  std::string Comment() const;

  ImageCopyJob& job_;
  DiskHandle& source_;
  uint64_t first_sector_;
  uint32_t sector_bytes_;
  platform::File& image_;
  RescueMap& map_;
  std::filesystem::path map_path_;
  ImageCopyReport* report_;
  std::unique_ptr<uint8_t[]> buffer_;

  RescueStatus status_;
  bool phase_open_ = false;
  bool stopped_ = false;
  ErrorCode result_ = err::kSuccess;

  uint64_t start_ms_ = 0;
  uint64_t phase_start_ms_ = 0;
  uint64_t last_success_ms_ = 0;
  uint64_t last_progress_ms_ = 0;
  uint64_t last_save_ms_ = 0;
  uint64_t last_estimate_ms_ = 0;
  int64_t remaining_seconds_ = -1;
  uint64_t settled_at_start_ = 0;
  // Rate of the last second or so.
  uint64_t rate_window_start_ms_ = 0;
  uint64_t rate_window_bytes_ = 0;
  uint64_t read_rate_ = 0;
  static constexpr uint64_t kNoGoodByte = UINT64_MAX;
  uint64_t last_good_byte_ = kNoGoodByte;  // first byte of the last sector read well
  uint64_t failures_in_a_row_ = 0;
  // What good reads usually take, to tell a slow area.
  uint64_t normal_bytes_ = 0;
  uint64_t normal_ms_ = 0;
};

}  // namespace vexlo
