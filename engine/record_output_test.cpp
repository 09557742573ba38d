// The shared copy-out and preview steps driven by a scripted reader: what
// lands in the file or the buffer, which progress the callbacks hear, and
// what is left behind when the reader fails or the user cancels.
#include "engine/record_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

using testing::PatternBytes;
using testing::TempDir;

// Delivers the first `available` bytes of `data` in `piece`-byte pieces, or
// fails with `fail_code` once `fail_after` bytes are out.
struct ScriptedReader {
  std::vector<uint8_t> data;
  std::size_t piece = 1000;
  uint64_t available = UINT64_MAX;
  uint64_t fail_after = UINT64_MAX;
  int32_t fail_code = err::kReadFault;
  uint64_t overstep = 0;  // bytes given beyond what was asked for
  int calls = 0;
  uint64_t asked = 0;

  RecordDataReader Reader() {
    return [this](uint64_t max_bytes, const RecordDataSink& sink) -> ErrorCode {
      ++calls;
      asked = max_bytes;
      const uint64_t end = std::min<uint64_t>({data.size(), available, max_bytes + overstep});
      for (uint64_t done = 0; done < end;) {
        if (done >= fail_after) return fail_code;
        const uint64_t length = std::min<uint64_t>(piece, end - done);
        done += length;
        const std::span<const uint8_t> bytes(data.data() + done - length, length);
        if (int32_t answer = sink(bytes, done); answer != 0) return answer;
      }
      return err::kSuccess;
    };
  }
};

struct Heard {
  int32_t cancel_at_percent = 101;
  int32_t answer = 0;
  std::vector<std::pair<int32_t, int32_t>> reports = {};  // percent, code
  std::vector<uint64_t> unreadable = {};                  // per report
};

int32_t OnRecovery(void* user, int32_t percent, int32_t scale, int32_t code, const char* name,
                   uint64_t unreadable_bytes) {
  auto* heard = static_cast<Heard*>(user);
  EXPECT_EQ(scale, 100);
  EXPECT_NE(name, nullptr);
  heard->reports.emplace_back(percent, code);
  heard->unreadable.push_back(unreadable_bytes);
  return percent >= heard->cancel_at_percent ? kCancelCode : heard->answer;
}

int32_t OnPreview(void* user, int32_t percent, int32_t code) {
  auto* heard = static_cast<Heard*>(user);
  heard->reports.emplace_back(percent, code);
  return percent >= heard->cancel_at_percent ? kCancelCode : heard->answer;
}

std::vector<uint8_t> Slurp(const std::filesystem::path& path) {
  std::string text;
  if (!platform::ReadWholeFile(path, &text).ok()) return {};
  return {text.begin(), text.end()};
}

FoundFileRecord Record(std::string_view name, uint64_t size, bool folder = false) {
  FoundFileRecord record = EmptyRecord();
  record.SetName(name);
  record.size = size;
  record.is_folder = folder ? 1 : 0;
  return record;
}

TEST(WriteRecordFile, WritesWhatTheReaderGivesAndReportsTheEnd) {
  struct Case {
    const char* label;
    uint64_t size;
    uint64_t available;
    uint64_t fail_after;
    int32_t cancel_at_percent;
    int32_t expected;
    uint64_t bytes_in_file;
    std::pair<int32_t, int32_t> last_report;
    int reader_calls;
    std::size_t zeros_from = SIZE_MAX;
  };
  const Case cases[] = {
      {"whole file", 2500, UINT64_MAX, UINT64_MAX, 101, 0, 2500, {100, 0}, 1},
      {"empty file: the source is not read", 0, UINT64_MAX, UINT64_MAX, 101, 0, 0, {100, 0}, 0},
      {"data end before the size: kept, but failed",
       2500,
       1000,
       UINT64_MAX,
       101,
       err::kHandleEof,
       1000,
       {100, err::kHandleEof},
       1},
      {"zeros at the end: a hole, and the length stays",
       2500,
       UINT64_MAX,
       UINT64_MAX,
       101,
       0,
       2500,
       {100, 0},
       1,
       1000},
      {"zeros in the middle", 2500, UINT64_MAX, UINT64_MAX, 101, 0, 2500, {100, 0}, 1, 500},
      {"read fault part-way", 2500, UINT64_MAX, 1000, 101, err::kReadFault, 1000, {100, 30}, 1},
      {"cancel part-way", 2500, UINT64_MAX, UINT64_MAX, 40, kCancelCode, 1000, {40, 0}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir temp;
    // A longer file already there must not keep its tail.
    const std::filesystem::path target = temp / "deep" / "er" / "out.bin";
    std::filesystem::create_directories(target.parent_path());
    std::ofstream(target) << std::string(5000, 'x');
    ScriptedReader script{.data = PatternBytes(2500, 1)};
    if (c.zeros_from < script.data.size()) {
      const std::size_t end = c.zeros_from == 500 ? 2000 : script.data.size();
      std::fill(script.data.begin() + c.zeros_from, script.data.begin() + end, 0);
    }
    script.available = c.available;
    script.fail_after = c.fail_after;
    Heard heard{.cancel_at_percent = c.cancel_at_percent};
    // The file's unreadable bytes are told with the end of a finished file
    // only.
    EXPECT_EQ(WriteRecordFile(script.Reader(), c.size, target, OnRecovery, &heard, 77), c.expected);
    EXPECT_EQ(script.calls, c.reader_calls);
    const std::vector<uint8_t> written = Slurp(target);
    EXPECT_EQ(written,
              std::vector<uint8_t>(script.data.begin(), script.data.begin() + c.bytes_in_file));
    ASSERT_FALSE(heard.reports.empty());
    EXPECT_EQ(heard.reports.back(), c.last_report);
    const bool finished = c.last_report == std::pair(100, 0);
    EXPECT_EQ(std::count(heard.reports.begin(), heard.reports.end(), std::pair(100, 0)),
              finished ? 1 : 0);
    if (c.expected == err::kHandleEof) {
      EXPECT_EQ(LastShortCopy(), (ShortCopy{c.bytes_in_file, c.size}));
    }
    for (std::size_t i = 0; i < heard.reports.size(); ++i) {
      EXPECT_EQ(heard.unreadable[i], heard.reports[i] == std::pair(100, 0) ? 77u : 0u);
    }
  }
}

TEST(WriteRecordFile, MissingFolderIsCreatedAndNoCallbackIsFine) {
  TempDir temp;
  ScriptedReader script{.data = PatternBytes(300, 2)};
  EXPECT_EQ(WriteRecordFile(script.Reader(), 300, temp / "a" / "b.bin", nullptr, nullptr, 0), 0);
  EXPECT_EQ(Slurp(temp / "a" / "b.bin"), script.data);
  // A folder where the file should go: the error is the system's, reported.
  std::filesystem::create_directories(temp / "taken");
  Heard heard;
  EXPECT_GT(WriteRecordFile(script.Reader(), 300, temp / "taken", OnRecovery, &heard, 0), 0);
  ASSERT_EQ(heard.reports.size(), 1u);
  EXPECT_EQ(heard.reports[0].first, 100);
  EXPECT_GT(heard.reports[0].second, 0);
}

TEST(ExtractRecordForPreview, MemoryTargetsTakeWhatFits) {
  struct Case {
    const char* label;
    uint64_t size;
    uint32_t capacity;
    bool with_buffer;
    uint64_t overstep;
    int32_t expected;
    uint32_t placed;
  };
  const Case cases[] = {
      {"larger than the buffer", 5000, 3000, true, 0, 0, 3000},
      {"smaller than the buffer", 2000, 3000, true, 0, 0, 2000},
      {"no buffer", 2000, 3000, false, 0, 0, 0},
      {"empty file", 0, 3000, true, 0, 0, 0},
      {"reader oversteps", 5000, 3000, true, 1500, err::kInvalidParameter, 3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ScriptedReader script{.data = PatternBytes(5000, 3)};
    script.overstep = c.overstep;
    std::vector<uint8_t> buffer(c.capacity + 64, 0xEE);
    uint32_t count = c.capacity;
    std::string path = "stale";
    Heard heard;
    EXPECT_EQ(
        ExtractRecordForPreview(script.Reader(), Record("notes.bin", c.size), "/unused", &path,
                                c.with_buffer ? buffer.data() : nullptr, &count, OnPreview, &heard),
        c.expected);
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(count, c.placed);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + count, script.data.begin()));
    // Nothing beyond what was placed is touched.
    EXPECT_TRUE(std::all_of(buffer.begin() + std::max(count, c.capacity), buffer.end(),
                            [](uint8_t b) { return b == 0xEE; }));
    if (count > 0) {
      EXPECT_EQ(script.asked, count);
    }
  }
}

TEST(ExtractRecordForPreview, PicturesGoToTheirFileAndFailuresLeaveNone) {
  TempDir preview_folder;
  const std::filesystem::path target = preview_folder / "tmp.jpg";
  struct Case {
    const char* label;
    uint64_t fail_after;
    int32_t cancel_at_percent;
    int32_t expected;
  };
  const Case cases[] = {
      {"whole picture", UINT64_MAX, 101, 0},
      {"read fault", 1000, 101, err::kReadFault},
      {"cancel", UINT64_MAX, 30, kCancelCode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ScriptedReader script{.data = PatternBytes(2500, 4)};
    script.fail_after = c.fail_after;
    Heard heard{.cancel_at_percent = c.cancel_at_percent};
    uint32_t count = 77;
    std::string path;
    EXPECT_EQ(
        ExtractRecordForPreview(script.Reader(), Record("IMG_1.JPG", 2500), preview_folder.path(),
                                &path, nullptr, &count, OnPreview, &heard),
        c.expected);
    EXPECT_EQ(count, 0u);
    if (c.expected == 0) {
      EXPECT_EQ(path, target.string());
      EXPECT_EQ(Slurp(target), script.data);
    } else {
      EXPECT_TRUE(path.empty());
      EXPECT_FALSE(std::filesystem::exists(target));
    }
    if (c.expected > 0) {
      EXPECT_EQ(heard.reports.back(), std::pair(100, c.expected));
    }
  }
}

TEST(ExtractRecordForPreview, FoldersAreRefused) {
  ScriptedReader script{.data = PatternBytes(10, 5)};
  Heard heard;
  uint32_t count = 10;
  std::string path;
  std::vector<uint8_t> buffer(10);
  EXPECT_EQ(ExtractRecordForPreview(script.Reader(), Record("DCIM", 0, true), "/unused", &path,
                                    buffer.data(), &count, OnPreview, &heard),
            err::kInvalidParameter);
  EXPECT_EQ(script.calls, 0);
  EXPECT_EQ(count, 0u);
  ASSERT_EQ(heard.reports.size(), 1u);
  EXPECT_EQ(heard.reports[0], std::pair(100, err::kInvalidParameter));
}

// The path handed back must fit its 260-byte capacity in UTF-8, whatever
// the same path would count in UTF-16: a longer one previews from memory.
TEST(PreviewTargetFor, ChoosesByTypeAndFallsBackToMemoryForLongPaths) {
  const std::filesystem::path fits = "/p/" + std::string(240, 'a');
  // 249 UTF-16 units with "/tmp.jpg", but 487 bytes.
  std::string wide = "/p/";
  for (int i = 0; i < 238; ++i) wide += "\xC3\xA9";
  struct Case {
    std::filesystem::path folder;
    std::string name;
    std::filesystem::path expected;  // empty: memory
  };
  const Case cases[] = {
      {"/p", "IMG_1.JPG", "/p/tmp.jpg"},
      {"/p", "clip.mov", "/p/tmp.avi"},
      {"/p", "song.mp3", "/p/tmp.avi"},
      {"/p", "Report 2.PDF", "/p/Report 2.PDF"},
      {"/p", "a/b.docx", "/p/a_b.docx"},
      {"/p", "notes.txt", ""},
      {"/p", "README", ""},
      {fits, "x.jpg", fits / "tmp.jpg"},
      {fits, std::string(20, 'd') + ".pdf", ""},
      {wide, "x.jpg", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PreviewTargetFor(c.folder, c.name), c.expected);
  }
}

}  // namespace
}  // namespace vexlo
