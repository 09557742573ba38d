#include "engine/copy_trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/record_output.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(CopyTrace, HashesDoNotDependOnHowTheBytesArePieced) {
  // The published digests of "abc" and of nothing.
  struct Case {
    std::vector<std::string_view> pieces;
    const char* sha256;
    const char* md5;
  } cases[] = {
      {{"abc"},
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
       "900150983cd24fb0d6963f7d28e17f72"},
      {{"a", "", "bc"},
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
       "900150983cd24fb0d6963f7d28e17f72"},
      {{},
       "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
       "d41d8cd98f00b204e9800998ecf8427e"},
  };
  CopyTrace trace;
  for (const Case& c : cases) {
    trace.BeginFile("/out/x");
    uint64_t offset = 0;
    for (std::string_view piece : c.pieces) {
      trace.AddBytes(Bytes(piece), offset);
      offset += piece.size();
    }
    trace.EndFile(err::kSuccess);
  }
  const std::vector<TracedFile> files = trace.TakeFiles();
  ASSERT_EQ(files.size(), std::size(cases));
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(files[i].sha256, cases[i].sha256) << i;
    EXPECT_EQ(files[i].md5, cases[i].md5) << i;
  }
  EXPECT_EQ(files[0].bytes_written, 3u);
  EXPECT_TRUE(trace.TakeFiles().empty()) << "taken once";
}

TEST(CopyTrace, RunsFollowTheReadsThatFilledTheBytes) {
  std::vector<uint8_t> buffer(4096, 1);
  std::vector<uint8_t> zeros(512, 0);
  CopyTrace trace;
  trace.BeginFile("/out/x");
  // Two reads that continue each other on the medium make one run; a jump
  // starts another; bytes no read filled leave a gap.
  ReadTrace::Note(buffer.data(), 10240, 1024);
  trace.AddBytes({buffer.data(), 1024}, 0);
  ReadTrace::Note(buffer.data(), 11264, 1024);
  trace.AddBytes({buffer.data(), 1024}, 1024);
  trace.AddBytes(zeros, 2048);
  ReadTrace::Note(buffer.data(), 900000, 4096);
  trace.AddBytes({buffer.data() + 512, 100}, 2560);
  trace.AddBytes({buffer.data() + 612, 200}, 2660);
  trace.EndFile(err::kReadFault);
  const std::vector<TracedFile> files = trace.TakeFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].byte_runs, (std::vector<ByteRun>{{0, 10240, 2048}, {2560, 900512, 300}}));
  EXPECT_EQ(files[0].bytes_written, 2860u);
  EXPECT_EQ(files[0].result, err::kReadFault);
}

TEST(CopyTrace, OnlyTheNewestTraceOfTheThreadListens) {
  CopyTrace outer;
  EXPECT_EQ(CopyTrace::Current(), &outer);
  {
    CopyTrace inner;
    EXPECT_EQ(CopyTrace::Current(), &inner);
  }
  EXPECT_EQ(CopyTrace::Current(), &outer);
  outer.AddBytes(Bytes("stray"), 0);  // no file begun: nothing to note
  outer.EndFile(err::kSuccess);
  EXPECT_TRUE(outer.TakeFiles().empty());
}

TEST(CopyTrace, WrittenFilesAreHashedWithTheHolesTheirZerosBecame) {
  testing::TempDir temp;
  std::vector<uint8_t> data = testing::PatternBytes(3000, 9);
  std::fill(data.begin() + 1000, data.begin() + 2000, 0);  // becomes a hole
  const RecordDataReader read = [&](uint64_t max_bytes, const RecordDataSink& sink) -> ErrorCode {
    for (uint64_t done = 0; done < std::min<uint64_t>(max_bytes, data.size());) {
      const std::span<const uint8_t> piece(data.data() + done, 1000);
      done += piece.size();
      if (int32_t answer = sink(piece, done); answer != 0) return answer;
    }
    return err::kSuccess;
  };
  CopyTrace trace;
  const std::filesystem::path whole = temp / "whole.bin";
  ASSERT_EQ(WriteRecordFile(read, data.size(), whole, nullptr, nullptr, 0), 0);
  // Promised more than the reader has: the bytes that did arrive are hashed.
  const std::filesystem::path cut = temp / "cut.bin";
  EXPECT_EQ(WriteRecordFile(read, data.size() + 10, cut, nullptr, nullptr, 0), err::kHandleEof);
  const std::vector<TracedFile> files = trace.TakeFiles();
  ASSERT_EQ(files.size(), 2u);
  for (const TracedFile& file : files) {
    EXPECT_EQ(file.sha256, testing::Sha256OfFile(file.destination)) << file.destination;
    EXPECT_EQ(file.sha256, testing::Sha256OfBytes(data));
    EXPECT_EQ(file.bytes_written, data.size());
  }
  EXPECT_EQ(files[0].destination, whole);
  EXPECT_EQ(files[0].result, err::kSuccess);
  EXPECT_EQ(files[1].result, err::kHandleEof);
}

}  // namespace
}  // namespace vexlo
