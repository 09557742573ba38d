#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/sector_source.h"

namespace vexlo::platform {

MemorySectorSource::MemorySectorSource(std::vector<uint8_t> bytes, uint32_t bytes_per_sector)
    : bytes_(std::move(bytes)), bytes_per_sector_(bytes_per_sector) {}

ErrorCode MemorySectorSource::ReadAt(uint64_t byte_offset, std::span<uint8_t> data,
                                     std::size_t* bytes_read) {
  *bytes_read = 0;
  if (byte_offset >= bytes_.size()) return err::kSuccess;
  const std::size_t n = std::min<uint64_t>(data.size(), bytes_.size() - byte_offset);
  std::memcpy(data.data(), bytes_.data() + byte_offset, n);
  *bytes_read = n;
  return err::kSuccess;
}

ErrorCode MemorySectorSource::LengthBytes(uint64_t* length_bytes) const {
  *length_bytes = bytes_.size();
  return err::kSuccess;
}

ErrorCode MemorySectorSource::Geometry(DeviceGeometry* geometry) const {
  *geometry = DeviceGeometry{};
  geometry->valid = true;
  geometry->bytes_per_sector = bytes_per_sector_;
  geometry->cylinders = bytes_.size() / bytes_per_sector_;
  geometry->tracks_per_cylinder = 1;
  geometry->sectors_per_track = 1;
  return err::kSuccess;
}

FaultySectorSource::FaultySectorSource(std::unique_ptr<SectorSource> inner)
    : inner_(std::move(inner)), delay_handler_([](uint32_t delay_ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
      }) {}

void FaultySectorSource::AddUnreadableRange(uint64_t byte_offset, uint64_t length_bytes,
                                            uint32_t failures) {
  unreadable_.push_back({byte_offset, byte_offset + length_bytes, 0, failures});
}

void FaultySectorSource::AddSlowRange(uint64_t byte_offset, uint64_t length_bytes,
                                      uint32_t delay_ms) {
  slow_.push_back({byte_offset, byte_offset + length_bytes, delay_ms, 0});
}

ErrorCode FaultySectorSource::ReadAt(uint64_t byte_offset, std::span<uint8_t> data,
                                     std::size_t* bytes_read) {
  *bytes_read = 0;
  ++read_calls_;
  std::size_t wanted = data.size();
  if (max_read_bytes_ != 0) wanted = std::min(wanted, max_read_bytes_);
  for (const Range& range : slow_) {
    if (range.end > byte_offset && range.begin < byte_offset + wanted) {
      delay_handler_(range.delay_ms);
    }
  }
  ErrorCode rc = err::kSuccess;
  if (dead()) {
    rc = vanishes_ ? err::kNotReady : err::kReadFault;
  } else {
    rc = ReadAlive(byte_offset, wanted, data, bytes_read);
  }
  if (!rc.ok()) ++failed_reads_;
  if (read_observer_) read_observer_({byte_offset, data.size(), !rc.ok()});
  return rc;
}

ErrorCode FaultySectorSource::ReadAlive(uint64_t byte_offset, std::size_t wanted,
                                        std::span<uint8_t> data, std::size_t* bytes_read) {
  for (Range& range : unreadable_) {
    if (range.failures == 0 || range.end <= byte_offset || range.begin >= byte_offset + wanted) {
      continue;
    }
    if (range.begin <= byte_offset) {
      if (range.failures != UINT32_MAX) --range.failures;
      return err::kReadFault;
    }
    wanted = std::min<uint64_t>(wanted, range.begin - byte_offset);
  }
  // A read that runs into a bad range delivers what lies before it, like a
  // drive that returns a partial transfer; the next read then fails.
  ErrorCode rc = inner_->ReadAt(byte_offset, data.first(wanted), bytes_read);
  bytes_delivered_ += *bytes_read;
  return rc;
}

bool FaultySectorSource::Vanished() const { return vanishes_ && dead(); }

ErrorCode FaultySectorSource::LengthBytes(uint64_t* length_bytes) const {
  if (fail_length_) {
    *length_bytes = 0;
    return err::kNotSupported;
  }
  return inner_->LengthBytes(length_bytes);
}

ErrorCode FaultySectorSource::Geometry(DeviceGeometry* geometry) const {
  if (fail_geometry_) return err::kNotSupported;
  if (has_geometry_override_) {
    *geometry = geometry_override_;
    return err::kSuccess;
  }
  return inner_->Geometry(geometry);
}

}  // namespace vexlo::platform
