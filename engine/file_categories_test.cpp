#include "engine/file_categories.h"

#include <gtest/gtest.h>

namespace vexlo {
namespace {

TEST(FileCategoriesTest, FolderNameFollowsSubstringRules) {
  struct Case {
    const char* name;
    const char* folder;
  };
  const Case cases[] = {
      {"IMG_0001.JPG", "photo"},  // lower-cased before the test
      {"README", "photo"},        // no dot: the empty text is in every list
      {"trailing.", "photo"},     // empty extension as well
      {"x.ra", "photo"},          // inside "*.raf", and photo is tested first
      {"x.rm", "audio"},          // audio is tested before video
      {"x.jp", "photo"},          // inside "*.jpg"
      {"x.dat", "others"},
      {"song.Mp3", "audio"},
      {"clip.mkv", "video"},
      {"clip.rmvb", "video"},
      {"report.PDF", "document"},
      {"backup.tar.gz", "archive"},  // only the text after the last dot counts
      {"a.b/c", "others"},           // a dot in a folder part is no extension
      {"x.jpg|*.jpeg", "photo"},     // the test is a plain substring search
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CategoryFolderName(c.name), c.folder) << c.name;
  }
}

TEST(FileCategoriesTest, IsInListLowerCasesAndMatchesParts) {
  struct Case {
    std::string_view list;
    const char* extension;
    bool expected;
  };
  const Case cases[] = {
      {kPhotoList, "JPG", true},
      {kPhotoList, "jp", true},
      {kPhotoList, "", true},
      {kPhotoList, "mp3", false},
      {kAudioList, "ra", true},
      {kDocumentPreviewList, "docx", true},
      {kDocumentPreviewList, "jpg", false},
      {kArchiveList, "7Z", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsInList(c.list, c.extension), c.expected)
        << c.list.substr(0, 10) << " " << c.extension;
  }
}

TEST(FileCategoriesTest, KnownTextJoinsListsInItsOwnOrder) {
  const std::string_view known = KnownExtensionText();
  EXPECT_TRUE(known.starts_with(kPhotoList));
  EXPECT_TRUE(known.ends_with(kArchiveList));
  // Document comes before video in this text, unlike the category order.
  EXPECT_NE(known.find("*.thm|*.mp3"), std::string_view::npos);
  EXPECT_NE(known.find("*.snd|*.doc"), std::string_view::npos);
  EXPECT_NE(known.find("*.accdb|*.rmvb"), std::string_view::npos);
  EXPECT_NE(known.find("*.lrv|*.zip"), std::string_view::npos);
  EXPECT_EQ(known.size(), kPhotoList.size() + kAudioList.size() + kDocumentList.size() +
                              kVideoList.size() + kArchiveList.size() + 4);
}

}  // namespace
}  // namespace vexlo
