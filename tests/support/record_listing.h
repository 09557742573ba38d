// Every record an engine's store lists, by path, for tests that compare a
// scan with what they wrote. Header-only: the support library does not link
// the engines.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/file_recovery_parse.h"
#include "tests/support/fat_image.h"

namespace vexlo::testing {

// Records below the root by path ("dir/sub/name"), walked through
// ListFolder; a listing that fails is a test failure.
inline std::map<std::string, FoundFileRecord> ListAllRecords(IFileRecoveryParse& engine) {
  std::map<std::string, FoundFileRecord> all;
  struct Pending {
    FoundFileRecord folder;
    std::string prefix;
    uint32_t level;
  };
  std::vector<Pending> queue;
  std::vector<FoundFileRecord> children;
  auto take = [&](const std::string& prefix, uint32_t level) {
    for (const FoundFileRecord& child : children) {
      const std::string path = prefix + std::string(child.Name());
      all[path] = child;
      if (child.is_folder) queue.push_back({child, path + "/", level + 1});
    }
  };
  EXPECT_EQ(engine.ListFolder(nullptr, 0, &children), 0);
  take("", 0);
  // A bound, so that a store whose folders name each other cannot hang a test.
  for (std::size_t i = 0; i < queue.size() && i < 10000; ++i) {
    children.clear();
    const Pending entry = queue[i];
    EXPECT_EQ(engine.ListFolder(&entry.folder, entry.level, &children), 0);
    take(entry.prefix, entry.level);
  }
  return all;
}

// What a record is, for comparing the result sets of two scans: kind, name,
// size and where its entry lies.
using RecordKey = std::tuple<uint32_t, std::string, uint64_t, uint64_t>;

inline RecordKey KeyOf(const FoundFileRecord& r) {
  // Copies: the record is packed, so its fields cannot be bound to references.
  return {uint32_t{r.fs_kind}, std::string(r.Name()), uint64_t{r.size}, uint64_t{r.entry_sector}};
}

// What the record of a deleted file must say, and the SHA-256 of the bytes
// written before it was deleted.
struct DeletedFileExpectation {
  uint64_t size = 0;
  uint16_t source_id = 0;
  FsKind fs_kind{};
  uint64_t modified = 0;
  std::string sha256;
};

// Checks the record's fields, then recovers it to `out` (replacing what a
// previous check left there) and compares the bytes written.
inline void ExpectDeletedFileRecovered(IFileRecoveryParse& engine, const FoundFileRecord& record,
                                       const DeletedFileExpectation& expected,
                                       const std::filesystem::path& out) {
  // Fields are copied out before comparison: the record is packed.
  EXPECT_EQ(uint64_t{record.size}, expected.size);
  EXPECT_EQ(uint32_t{record.deleted}, 1u);
  EXPECT_EQ(uint16_t{record.source_id}, expected.source_id);
  EXPECT_EQ(uint32_t{record.fs_kind}, static_cast<uint32_t>(expected.fs_kind));
  EXPECT_EQ(uint64_t{record.modified}, expected.modified);
  std::filesystem::remove(out);
  ASSERT_EQ(engine.RecoverFile(record, out, 0), 0);
  EXPECT_EQ(Sha256OfFile(out), expected.sha256);
}

}  // namespace vexlo::testing
