// Where bytes in memory came from on the medium.
//
// A recovered file's report names the stretches of the medium its bytes were
// read from. The engines read a file's data in many ways (cluster chains,
// data runs, contiguous extents), but every read ends in ReadSectors, and
// each piece of data handed on points into the buffer one of those reads
// filled. So a ReadTrace, while it lives, keeps the last few reads of its
// thread (buffer, medium offset, length), and Locate maps a piece of memory
// back to the medium offset it was read from. Bytes that no recent read
// filled are not located. Code that puts other bytes where a read's were (the
// zeros of a sparse run or of an unwritten tail, data fixed up in place)
// calls Forget, and a copy out of a bounce buffer is noted as a read of its
// own: a report must never name a stretch of the medium for bytes that are
// not the medium's.
//
// Threading: a trace belongs to the thread that made it and sees only that
// thread's reads; traces nest, the newest one listening.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/non_copyable.h"

namespace vexlo {

class ReadTrace : NonCopyable {
 public:
  ReadTrace();
  ~ReadTrace();

  // The medium byte offset of bytes[0], when the newest read whose buffer
  // holds all of `bytes` filled them.
  std::optional<uint64_t> Locate(std::span<const uint8_t> bytes) const;

  // Notes a read of `length_bytes` from `byte_offset` of the medium into
  // `buffer`, on the calling thread's trace if it has one.
  static void Note(const void* buffer, uint64_t byte_offset, uint64_t length_bytes);

  // Drops the reads of the calling thread's trace whose bytes overlap the
  // `length_bytes` from `buffer`: something else was put there.
  static void Forget(const void* buffer, uint64_t length_bytes);

 private:
  struct Read {
    const uint8_t* buffer = nullptr;
    uint64_t byte_offset = 0;
    uint64_t length_bytes = 0;
  };
  // Engines read through one or two buffers at a time (data and a bounce
  // buffer); a few more cover metadata reads in between.
  static constexpr std::size_t kKeptReads = 8;

  std::array<Read, kKeptReads> reads_{};
  std::size_t next_ = 0;
  ReadTrace* outer_;
};

}  // namespace vexlo
