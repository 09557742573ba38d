#include "storage/read_trace.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexlo {
namespace {

TEST(ReadTraceTest, LocatesBytesInsideTheNewestReadOfTheirBuffer) {
  std::vector<uint8_t> buffer(8192);
  ReadTrace trace;
  ReadTrace::Note(buffer.data(), 10 * 512, 4096);
  ReadTrace::Note(buffer.data(), 90 * 512, 1024);  // the buffer filled again, shorter

  struct Case {
    std::size_t start;
    std::size_t length;
    std::optional<uint64_t> offset;
  };
  const Case cases[] = {
      {0, 1024, 90 * 512},         // all inside the newest read
      {512, 512, 90 * 512 + 512},  // its last sector
      {512, 513, 10 * 512 + 512},  // reaches past it: only the older read holds it all
      {1024, 3072, 10 * 512 + 1024}, {4000, 97, std::nullopt},  // past every read
  };
  for (const Case& c : cases) {
    const std::span<const uint8_t> bytes(buffer.data() + c.start, c.length);
    EXPECT_EQ(trace.Locate(bytes), c.offset) << c.start << "+" << c.length;
  }
}

TEST(ReadTraceTest, ForgetsOldReadsAndSeesNothingWithoutATrace) {
  std::vector<uint8_t> first(512), other(512);
  ReadTrace::Note(first.data(), 0, 512);  // no trace yet: nowhere to go
  ReadTrace outer;
  EXPECT_FALSE(outer.Locate(first).has_value());
  ReadTrace::Note(first.data(), 4096, 512);
  for (int i = 0; i < 8; ++i) ReadTrace::Note(other.data(), 512 * i, 512);
  EXPECT_FALSE(outer.Locate(first).has_value()) << "pushed out by newer reads";
  {
    ReadTrace inner;
    ReadTrace::Note(first.data(), 8192, 512);
    EXPECT_EQ(inner.Locate(first), 8192u);
  }
  EXPECT_EQ(outer.Locate(other), 512u * 7) << "the inner trace took its thread's reads";
  ReadTrace::Note(first.data(), 0, 512);
  EXPECT_EQ(outer.Locate(first), 0u) << "the outer one listens again";
}

TEST(ReadTraceTest, BytesPutOverAReadAreNoLongerItsBytes) {
  std::vector<uint8_t> buffer(2048), other(512);
  ReadTrace trace;
  ReadTrace::Note(buffer.data(), 0, 1024);
  ReadTrace::Note(buffer.data() + 1024, 4096, 1024);
  ReadTrace::Note(other.data(), 8192, 512);
  ReadTrace::Forget(buffer.data() + 1000, 24);  // zeros over the first read's tail only
  EXPECT_FALSE(trace.Locate({buffer.data(), 16}).has_value());
  EXPECT_EQ(trace.Locate({buffer.data() + 1024, 16}), 4096u);
  EXPECT_EQ(trace.Locate(other), 8192u);
}

}  // namespace
}  // namespace vexlo
