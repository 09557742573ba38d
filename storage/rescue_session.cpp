#include "storage/rescue_session.h"

#include <algorithm>
#include <new>

#include "platform/steady_clock.h"

namespace vexlo {
namespace {

// A read is slow when it takes at least this long and is this many times
// slower than the good reads before it: on a failing card such areas are
// left for later, as errors are.
constexpr uint64_t kSlowReadMs = 1000;
constexpr uint64_t kSlowFactor = 10;
// The read rate is measured over windows of about this length.
constexpr uint64_t kRateWindowMs = 1000;
// While copying and trimming, a failure is news about the device rather
// than about an area already known to be bad: after this many in a row the
// session checks that the device still answers.
constexpr uint64_t kFailuresBeforeProbe = 16;

// Gathers failed blocks (of any failed status) into ranges of image sectors.
void CollectUnreadable(const RescueMap& map, uint32_t sector_bytes, ImageCopyReport* report) {
  bool open = false;
  UnreadableRange current;
  const auto flush = [&] {
    if (!open) return;
    open = false;
    ++report->unreadable_range_count;
    if (report->unreadable.size() < kMaxReportedUnreadableRanges) {
      report->unreadable.push_back(current);
    }
  };
  for (const MapBlock& block : map.Blocks()) {
    if (!IsFailed(block.status)) {
      flush();
      continue;
    }
    const uint64_t first = block.begin / sector_bytes;
    const uint64_t count = block.size() / sector_bytes;
    if (open) {
      current.sector_count += count;
    } else {
      current = {first, count};
      open = true;
    }
  }
  flush();
}

}  // namespace

int PhaseIndex(RescuePhase phase) {
  // The reading phases come in the order of the statuses they work on; the
  // finished copy reads nothing and is booked with copying.
  const int rank = StatusRank(PhaseStatus(phase));
  return rank < kPhaseCount ? rank : 0;
}

RescueSession::RescueSession(ImageCopyJob& job, DiskHandle& source, uint64_t first_sector,
                             platform::File& image, RescueMap& map, const RescueStatus& status,
                             std::filesystem::path map_path, ImageCopyReport* report)
    : job_(job),
      source_(source),
      first_sector_(first_sector),
      sector_bytes_(source.device_sector_bytes),
      image_(image),
      map_(map),
      map_path_(std::move(map_path)),
      report_(report),
      status_(status) {}

RescueSession::~RescueSession() = default;

uint64_t RescueSession::Now() const {
  return job_.clock_ms ? job_.clock_ms() : platform::SteadyMilliseconds();
}

bool RescueSession::Start() {
  buffer_.reset(new (std::nothrow) uint8_t[kRescueBlockBytes]);
  if (!buffer_) {
    Stop(ImageCopyEnd::kFailed, err::kNotEnoughMemory);
    return false;
  }
  start_ms_ = Now();
  last_success_ms_ = start_ms_;
  last_progress_ms_ = start_ms_;
  last_save_ms_ = start_ms_;
  last_estimate_ms_ = start_ms_;
  rate_window_start_ms_ = start_ms_;
  settled_at_start_ = map_.Totals().settled();
  SaveMap();
  if (report_->map_error != 0) Stop(ImageCopyEnd::kFailed, report_->map_error);
  return !stopped_;
}

void RescueSession::Stop(ImageCopyEnd end, ErrorCode code) {
  if (stopped_) return;
  stopped_ = true;
  report_->end = end;
  result_ = code;
}

void RescueSession::CloseCurrentPhase(uint64_t now_ms) {
  if (!phase_open_) return;
  report_->phases[PhaseIndex(status_.phase)].elapsed_ms += now_ms - phase_start_ms_;
  phase_open_ = false;
}

void RescueSession::Enter(RescuePhase phase, uint32_t pass, uint64_t position) {
  const uint64_t now = Now();
  CloseCurrentPhase(now);
  status_ = {position, phase, pass};
  phase_start_ms_ = now;
  phase_open_ = true;
  Tick(true);
}

bool RescueSession::IsSlow(uint64_t bytes, uint64_t elapsed_ms) const {
  if (elapsed_ms < kSlowReadMs || normal_bytes_ == 0) return false;
  // bytes / elapsed < (normal_bytes / normal_ms) / factor, without division
  // by a zero time of reads too fast to measure.
  return static_cast<double>(bytes) * static_cast<double>(normal_ms_) *
             static_cast<double>(kSlowFactor) <
         static_cast<double>(normal_bytes_) * static_cast<double>(elapsed_ms);
}

bool RescueSession::Read(uint64_t begin, uint64_t length, ReadOutcome* outcome) {
  *outcome = ReadOutcome{};
  if (stopped_) return false;
  Tick(false);
  if (stopped_) return false;

  const uint64_t before = Now();
  const uint64_t wanted = length / sector_bytes_;
  const uint64_t piece = std::max<uint64_t>(1, kRescuePieceBytes / sector_bytes_);
  uint64_t sectors_read = 0;
  ErrorCode rc = err::kSuccess;
  while (sectors_read < wanted) {
    const uint64_t count = std::min(piece, wanted - sectors_read);
    uint64_t got = 0;
    rc = ReadSectors(count, source_, buffer_.get() + sectors_read * sector_bytes_,
                     first_sector_ + begin / sector_bytes_ + sectors_read, sector_bytes_, &got);
    sectors_read += got;
    if (!rc.ok()) break;
  }
  const uint64_t after = Now();
  const uint64_t good = sectors_read * sector_bytes_;
  PhaseStats& stats = report_->phases[PhaseIndex(status_.phase)];
  ++stats.reads;
  stats.bytes_read += good;
  if (!rc.ok()) ++stats.failed_reads;
  outcome->good_bytes = good;

  if (good != 0) {
    if (ErrorCode written = image_.WriteAt(begin, {buffer_.get(), good}); !written.ok()) {
      Stop(ImageCopyEnd::kFailed, written);
      return false;
    }
    map_.Set(begin, begin + good, BlockStatus::kFinished);
    last_success_ms_ = after;
    last_good_byte_ = begin + good - sector_bytes_;
    failures_in_a_row_ = 0;
    rate_window_bytes_ += good;
  }
  if (rc.ok()) {
    outcome->slow = IsSlow(length, after - before);
    if (!outcome->slow) {
      normal_bytes_ += length;
      normal_ms_ += after - before;
    }
    return true;
  }
  ++failures_in_a_row_;
  if (!source_.handle->Vanished() && (!DeviceLooksStuck(after) || DeviceStillAnswers())) {
    return true;
  }
  Stop(source_.handle->Vanished() ? ImageCopyEnd::kDeviceGone : ImageCopyEnd::kDeviceSilent,
       err::kNotReady);
  return false;
}

bool RescueSession::DeviceLooksStuck(uint64_t now_ms) const {
  if (job_.silence_limit_seconds == 0) return false;
  if (now_ms - last_success_ms_ >= uint64_t{job_.silence_limit_seconds} * 1000) return true;
  const bool failure_is_news =
      status_.phase == RescuePhase::kCopying || status_.phase == RescuePhase::kTrimming;
  return failure_is_news && failures_in_a_row_ >= kFailuresBeforeProbe;
}

bool RescueSession::DeviceStillAnswers() {
  // A sector that read before: when it fails too, the device is at fault,
  // not the area being read.
  uint64_t probe = last_good_byte_;
  if (probe == kNoGoodByte) {
    const auto finished = map_.NextBlock(0, BlockStatus::kFinished);
    if (!finished) return false;
    probe = finished->begin;
  }
  ++report_->probe_reads;
  uint64_t sectors_read = 0;
  const ErrorCode rc = ReadSectors(1, source_, buffer_.get(), first_sector_ + probe / sector_bytes_,
                                   sector_bytes_, &sectors_read);
  if (!rc.ok()) return false;
  last_success_ms_ = Now();
  failures_in_a_row_ = 0;
  return true;
}

void RescueSession::Tick(bool force) {
  const uint64_t now = Now();
  if (force || now - last_save_ms_ >= kMapSaveIntervalMs) {
    SaveMap();
    last_save_ms_ = now;
  }
  if (force || now - last_progress_ms_ >= kImageProgressIntervalMs) {
    last_progress_ms_ = now;
    if (const int32_t answer = Report(now); answer != 0) Stop(ImageCopyEnd::kCancelled, answer);
  }
}

int32_t RescueSession::Report(uint64_t now_ms) {
  const MapTotals totals = map_.Totals();
  const uint64_t domain = map_.domain_bytes();
  const uint64_t settled = totals.settled();

  if (settled == domain) {
    remaining_seconds_ = 0;
  } else if (now_ms - last_estimate_ms_ > kImageEstimateIntervalMs) {
    const uint64_t seconds = std::max<uint64_t>(1, (now_ms - start_ms_) / 1000);
    const uint64_t speed = std::max<uint64_t>(1, (settled - settled_at_start_) / seconds);
    remaining_seconds_ = static_cast<int64_t>((domain - settled) / speed);
    last_estimate_ms_ = now_ms;
  }
  // Until the first window is full, what it holds so far.
  const uint64_t window_ms = now_ms - rate_window_start_ms_;
  if (window_ms >= kRateWindowMs || (read_rate_ == 0 && window_ms != 0)) {
    read_rate_ = rate_window_bytes_ * 1000 / window_ms;
  }
  if (window_ms >= kRateWindowMs) {
    rate_window_start_ms_ = now_ms;
    rate_window_bytes_ = 0;
  }
  if (job_.progress == nullptr) return 0;

  ImageCopyProgress progress;
  progress.phase = status_.phase;
  progress.pass = status_.pass;
  progress.percentage = domain == 0 ? 100 : static_cast<int32_t>(settled * 100 / domain);
  progress.sectors_done = settled / sector_bytes_;
  progress.sectors_total = domain / sector_bytes_;
  progress.remaining_seconds = remaining_seconds_;
  progress.rescued_bytes = totals.finished;
  progress.failed_bytes = totals.failed();
  progress.bad_areas = totals.bad_areas;
  progress.read_rate_bytes_per_second = read_rate_;
  progress.seconds_since_success = (now_ms - last_success_ms_) / 1000;
  return job_.progress(job_.user, progress);
}

std::string RescueSession::Comment() const {
  std::string source = job_.source_name.empty() ? "(not named)" : job_.source_name;
  // A partition is read through its whole disk.
  if (first_sector_ != 0) {
    source += "; image byte 0 is byte " + std::to_string(first_sector_ * sector_bytes_) +
              " of the disk that holds it";
  }
  return "Mapfile of a disk image, written by Vexlo SD Card Data Recovery\nSource: " + source +
         "\n" + RescuePhaseName(status_.phase) + ", pass " + std::to_string(status_.pass);
}

void RescueSession::SaveMap() {
  // The map may only claim what the image holds even after a crash.
  if (ErrorCode rc = image_.Sync(); !rc.ok()) {
    Stop(ImageCopyEnd::kFailed, rc);
    return;
  }
  if (ErrorCode rc = SaveMapfile(map_path_, map_, status_, Comment()); !rc.ok()) {
    report_->map_error = rc;
  }
}

ErrorCode RescueSession::Finish() {
  const uint64_t now = Now();
  CloseCurrentPhase(now);
  if (!stopped_) {
    report_->end = ImageCopyEnd::kFinished;
    status_ = {0, RescuePhase::kFinished, 1};
  }
  // The last word on the display; the copy is over, so its answer changes
  // nothing.
  (void)Report(now);
  SaveMap();

  const MapTotals totals = map_.Totals();
  report_->totals = totals;
  report_->rescued_sectors = totals.finished / sector_bytes_;
  report_->unreadable_sectors = totals.failed() / sector_bytes_;
  report_->untried_sectors = totals.non_tried / sector_bytes_;
  CollectUnreadable(map_, sector_bytes_, report_);
  return result_;
}

}  // namespace vexlo
