#include "engine/store_queries.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace vexlo {
namespace {

// root (key 2) holds a.jpg and folder DCIM (key 9), which holds b.txt.
class StoreQueriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(store_.Open(dir_.path(), "Fast_0_2026111"), 0);
    Add("a.jpg", false, 0, MakeFolderKey(2, 0));
    Add("DCIM", true, 9, MakeFolderKey(2, 0));
    Add("b.txt", false, 0, MakeFolderKey(9, 1));
  }

  void Add(const char* name, bool folder, uint32_t key, FolderKey parent) {
    FoundFileRecord* slot = nullptr;
    ASSERT_EQ(store_.NewRecord(&slot), 0);
    slot->SetName(name);
    slot->is_folder = folder ? 1 : 0;
    slot->content_check = 1;
    slot->key = key;
    const RecordNumber number = slot->record_number;
    ASSERT_EQ(store_.Relate(parent, number, key,
                            folder ? std::optional<std::string_view>(name) : std::nullopt),
              0);
  }

  testing::TempDir dir_;
  ScanResultStore store_;
};

TEST_F(StoreQueriesTest, RootAndFolderListings) {
  std::vector<FoundFileRecord> root;
  ASSERT_EQ(StoreListFolder(&store_, nullptr, 0, 2, &root), 0);
  ASSERT_EQ(root.size(), 2u);
  EXPECT_EQ(root[0].Name(), "a.jpg");  // files before folders
  EXPECT_EQ(root[1].Name(), "DCIM");

  std::vector<FoundFileRecord> dcim;
  ASSERT_EQ(StoreListFolder(&store_, &root[1], 1, 2, &dcim), 0);
  ASSERT_EQ(dcim.size(), 1u);
  EXPECT_EQ(dcim[0].Name(), "b.txt");

  std::string path;
  ASSERT_EQ(StoreFullPath(&store_, dcim[0], &path), 0);
  EXPECT_EQ(path, "DCIM/");

  uint32_t count = 0;
  ASSERT_EQ(StoreCountFiles(&store_, nullptr, 0, 2, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(StoreRecordCount(&store_), 3u);

  std::vector<FoundFileRecord> found;
  ASSERT_EQ(StoreFindFiles(&store_, "*.txt", &found), 0);
  ASSERT_EQ(found.size(), 1u);
}

TEST_F(StoreQueriesTest, RootWithLevelIsRefusedAndOutputUntouched) {
  std::vector<FoundFileRecord> out(1, EmptyRecord());
  EXPECT_EQ(StoreListFolder(&store_, nullptr, 3, 2, &out), err::kInvalidParameter);
  EXPECT_EQ(out.size(), 1u);
  uint32_t count = 7;
  EXPECT_EQ(StoreCountFiles(&store_, nullptr, 1, 2, &count), err::kInvalidParameter);
}

TEST(StoreQueriesWithoutStoreTest, AnswersEmpty) {
  std::vector<FoundFileRecord> out;
  EXPECT_EQ(StoreListFolder(nullptr, nullptr, 0, 2, &out), 0);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(StoreRecordCount(nullptr), 0u);
  EXPECT_EQ(StoreSetSearchCallback(nullptr, nullptr, nullptr), err::kInvalidParameter);
  EXPECT_EQ(StoreFindFiles(nullptr, "*.jpg", &out), 0);
}

}  // namespace
}  // namespace vexlo
