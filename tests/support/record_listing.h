// Every record an engine's store lists, by path, for tests that compare a
// scan with what they wrote. Header-only: the support library does not link
// the engines.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
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

// The records `type_filter` selects, by folder path and name ("d1/d2/b.dat").
inline std::map<std::string, FoundFileRecord> FilesByPath(IFileRecoveryParse& engine,
                                                          std::string_view type_filter) {
  std::vector<FoundFileRecord> found;
  EXPECT_EQ(engine.FindFiles(type_filter, &found), 0);
  std::map<std::string, FoundFileRecord> files;
  for (const FoundFileRecord& record : found) {
    std::string path;
    EXPECT_EQ(engine.GetFullPath(record, &path), 0);
    files[path + std::string(record.Name())] = record;
  }
  return files;
}

// The damaged mark (content_check) of each file by name, as a walk of every
// folder lists it and as a search for `type_filter` finds it.
struct ContentChecks {
  std::map<std::string, uint32_t> listed;
  std::map<std::string, uint32_t> found;
};
inline ContentChecks ContentChecksByName(IFileRecoveryParse& engine, std::string_view type_filter) {
  ContentChecks checks;
  for (const auto& [path, record] : ListAllRecords(engine)) {
    if (record.is_folder == 0) checks.listed[std::string(record.Name())] = record.content_check;
  }
  std::vector<FoundFileRecord> found;
  EXPECT_EQ(engine.FindFiles(type_filter, &found), 0);
  for (const FoundFileRecord& record : found) {
    checks.found[std::string(record.Name())] = record.content_check;
  }
  return checks;
}

// What the preview takes of `record` into a buffer of `capacity` bytes, cut
// to the count the engine gives back; *path gets the file it names, if any.
// A failed extraction is a test failure and gives nothing.
inline std::vector<uint8_t> PreviewBytes(IFileRecoveryParse& engine, const FoundFileRecord& record,
                                         uint32_t capacity, std::string* path) {
  std::vector<uint8_t> bytes(capacity);
  uint32_t count = capacity;
  const ErrorCode rc =
      engine.ExtractForPreview(record, path, bytes.data(), &count, nullptr, nullptr);
  EXPECT_EQ(rc, 0);
  EXPECT_LE(count, capacity);
  bytes.resize(rc == 0 ? std::min(count, capacity) : 0);
  return bytes;
}

// What a record is, for comparing the result sets of two scans: kind, name,
// size and where its entry lies.
using RecordKey = std::tuple<uint32_t, std::string, uint64_t, uint64_t>;

inline RecordKey KeyOf(const FoundFileRecord& r) {
  // Copies: the record is packed, so its fields cannot be bound to references.
  return {uint32_t{r.fs_kind}, std::string(r.Name()), uint64_t{r.size}, uint64_t{r.entry_sector}};
}

// What the record of every deleted file must say beside its own size.
struct DeletedFileCommons {
  uint16_t source_id = 0;
  FsKind fs_kind{};
  uint64_t modified = 0;
};

// Each of `expected` (listed path → the name the file was written under, the
// key of `sizes` and `sha256s`) must be in `all` as a deleted file with
// `commons` and its size, and recover (to `out`, replaced for each) to the
// bytes written.
inline void ExpectDeletedFilesRecovered(IFileRecoveryParse& engine,
                                        const std::map<std::string, FoundFileRecord>& all,
                                        const std::map<std::string, std::string>& expected,
                                        const std::map<std::string, uint64_t>& sizes,
                                        const std::map<std::string, std::string>& sha256s,
                                        const DeletedFileCommons& commons,
                                        const std::filesystem::path& out) {
  for (const auto& [path, written] : expected) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(all.contains(path));
    // Fields are copied out before comparison: the record is packed.
    const FoundFileRecord& record = all.at(path);
    EXPECT_EQ(uint64_t{record.size}, sizes.at(written));
    EXPECT_EQ(uint32_t{record.deleted}, 1u);
    EXPECT_EQ(uint16_t{record.source_id}, commons.source_id);
    EXPECT_EQ(uint32_t{record.fs_kind}, static_cast<uint32_t>(commons.fs_kind));
    EXPECT_EQ(uint64_t{record.modified}, commons.modified);
    std::filesystem::remove(out);
    ASSERT_EQ(engine.RecoverFile(record, out, 0), 0);
    EXPECT_EQ(Sha256OfFile(out), sha256s.at(written));
  }
}

}  // namespace vexlo::testing
