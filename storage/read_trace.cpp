#include "storage/read_trace.h"

namespace vexlo {
namespace {

thread_local ReadTrace* current_trace = nullptr;

}  // namespace

ReadTrace::ReadTrace() : outer_(current_trace) { current_trace = this; }

ReadTrace::~ReadTrace() { current_trace = outer_; }

void ReadTrace::Note(const void* buffer, uint64_t byte_offset, uint64_t length_bytes) {
  ReadTrace* trace = current_trace;
  if (trace == nullptr || length_bytes == 0) return;
  trace->reads_[trace->next_] = {static_cast<const uint8_t*>(buffer), byte_offset, length_bytes};
  trace->next_ = (trace->next_ + 1) % kKeptReads;
}

void ReadTrace::Forget(const void* buffer, uint64_t length_bytes) {
  ReadTrace* trace = current_trace;
  if (trace == nullptr || length_bytes == 0) return;
  const auto start = reinterpret_cast<uintptr_t>(buffer);
  for (Read& read : trace->reads_) {
    const auto read_start = reinterpret_cast<uintptr_t>(read.buffer);
    if (read.buffer != nullptr && read_start < start + length_bytes &&
        start < read_start + read.length_bytes) {
      read = {};
    }
  }
}

std::optional<uint64_t> ReadTrace::Locate(std::span<const uint8_t> bytes) const {
  if (bytes.empty()) return std::nullopt;
  // Addresses, not pointers: the bytes may lie in any buffer of the thread,
  // and pointers into different buffers do not subtract.
  const auto address = reinterpret_cast<uintptr_t>(bytes.data());
  for (std::size_t age = 1; age <= kKeptReads; ++age) {
    const Read& read = reads_[(next_ + kKeptReads - age) % kKeptReads];
    const auto buffer = reinterpret_cast<uintptr_t>(read.buffer);
    if (read.buffer == nullptr || address < buffer) continue;
    const uint64_t start = address - buffer;
    if (start < read.length_bytes && bytes.size() <= read.length_bytes - start) {
      return read.byte_offset + start;
    }
  }
  return std::nullopt;
}

}  // namespace vexlo
