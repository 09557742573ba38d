// Every record an engine's store lists, by path, for tests that compare a
// scan with what they wrote. Header-only: the support library does not link
// the engines.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/file_recovery_parse.h"

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

}  // namespace vexlo::testing
