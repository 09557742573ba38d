// What a recovery wrote, observed while it wrote it: for every file, its
// destination, how many bytes went in, their SHA-256 and MD5, and the
// stretches of the medium they were read from.
//
// The hashes are of the bytes as they were handed to the file, computed in
// the same pass (a report that read the files back would hash what the
// destination holds now, not what the recovery wrote). Holes the writer
// leaves for pieces of zeros count as the zeros they read back as.
//
// A CopyTrace listens to the files that WriteRecordFile writes on the
// thread that made it, for as long as it lives: a recovery sets one up
// around an engine's RecoverFile without the engine knowing, so no engine
// interface changes. Traces nest, the newest one listening.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/error_code.h"
#include "platform/non_copyable.h"
#include "storage/read_trace.h"

namespace vexlo {

// A stretch of the medium: absolute byte offset and length, and where in the
// file its bytes went.
struct ByteRun {
  uint64_t file_offset = 0;
  uint64_t img_offset = 0;
  uint64_t length_bytes = 0;

  bool operator==(const ByteRun&) const = default;
};

struct TracedFile {
  std::filesystem::path destination;
  uint64_t bytes_written = 0;
  std::string sha256;  // lowercase hex
  std::string md5;
  // In file order, neighbours on the medium merged; bytes read from nowhere
  // (a sparse stretch) leave a gap.
  std::vector<ByteRun> byte_runs;
  ErrorCode result = err::kSuccess;
};

class CopyTrace : NonCopyable {
 public:
  CopyTrace();
  ~CopyTrace();

  // Files finished since the trace began (or since TakeFiles), in order.
  std::vector<TracedFile> TakeFiles();

  // The calling thread's listening trace, or null. The writer of recovered
  // files calls the three steps below on it.
  static CopyTrace* Current();
  void BeginFile(const std::filesystem::path& destination);
  // `bytes` start at `file_offset`; they are located on the medium through
  // the reads that filled them.
  void AddBytes(std::span<const uint8_t> bytes, uint64_t file_offset);
  void EndFile(ErrorCode result);

 private:
  class Digests;

  ReadTrace reads_;
  std::unique_ptr<Digests> digests_;
  TracedFile current_;
  bool in_file_ = false;
  std::vector<TracedFile> files_;
  CopyTrace* outer_;
};

}  // namespace vexlo
