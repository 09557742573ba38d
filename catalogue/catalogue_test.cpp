// The file-type catalogue: option table, selection map, grouping and icons.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "catalogue/extension_grouping.h"
#include "catalogue/extension_selection.h"
#include "catalogue/file_icon.h"
#include "catalogue/type_options.h"

namespace vexlo::catalogue {
namespace {

FoundFileRecord Named(std::string_view name) {
  FoundFileRecord record = EmptyRecord();
  record.SetName(name);
  return record;
}

TEST(TypeOptionsTest, TableHasTheOptionsOfEveryBox) {
  const std::vector<std::size_t> expected = {43, 19, 29, 21, 14, 1};
  std::size_t total = 0;
  for (const TypeBox& box : TypeBoxes()) {
    EXPECT_EQ(box.options.size(), expected[static_cast<std::size_t>(box.id)]) << box.box_name;
    total += box.options.size();
    for (const TypeOption& option : box.options) {
      EXPECT_EQ(BoxOfOption(option), box.id) << option.text;
      EXPECT_TRUE(option.icon.starts_with("FileIcon/")) << option.text;
    }
  }
  EXPECT_EQ(total, 127u);
}

TEST(ExtensionSelectionTest, StartUpSelectsEveryExtensionAndLaterOptionWins) {
  ExtensionSelection selection;
  ASSERT_NE(selection.OptionFor("jpeg"), nullptr);
  EXPECT_EQ(selection.OptionFor("jpeg")->text, "JPG/JPEG (.jpg .jpeg)");
  EXPECT_EQ(BoxOfOption(*selection.OptionFor("rm")), TypeBoxId::kVideo);
  EXPECT_EQ(selection.OptionFor("other"), &OtherFilesOption());
  EXPECT_EQ(selection.OptionFor("dat"), nullptr);
  // The pattern is in key order, so it starts with the alphabetically first.
  const std::string pattern = selection.BuildSearchPattern();
  EXPECT_TRUE(pattern.starts_with("*.3g2|*.3gp|*.7z|")) << pattern;
  EXPECT_NE(pattern.find("|*.jpg|"), std::string::npos);
  EXPECT_FALSE(pattern.ends_with("|"));
}

// What phones and cameras write has an option of its own, in the box the
// user looks for it in.
TEST(ExtensionSelectionTest, CameraAndPhoneFormatsAreChoosable) {
  const std::pair<const char*, TypeBoxId> cases[] = {
      {"heic", TypeBoxId::kPhoto}, {"heif", TypeBoxId::kPhoto}, {"avif", TypeBoxId::kPhoto},
      {"webp", TypeBoxId::kPhoto}, {"cr2", TypeBoxId::kPhoto},  {"cr3", TypeBoxId::kPhoto},
      {"rw2", TypeBoxId::kPhoto},  {"nef", TypeBoxId::kPhoto},  {"mts", TypeBoxId::kVideo},
      {"mp4", TypeBoxId::kVideo},  {"m4a", TypeBoxId::kAudio},
  };
  ExtensionSelection selection;
  for (const auto& [extension, box] : cases) {
    const TypeOption* option = selection.OptionFor(extension);
    ASSERT_NE(option, nullptr) << extension;
    EXPECT_EQ(BoxOfOption(*option), box) << extension;
  }
}

TEST(ExtensionSelectionTest, RmFollowsTheBoxSwitchedOnLast) {
  ExtensionSelection selection;
  selection.SelectCategory(TypeBoxId::kAudio, false);
  // Switching audio off drops "rm" although the video option still names it.
  EXPECT_EQ(selection.OptionFor("rm"), nullptr);
  EXPECT_EQ(selection.OptionFor("mp3"), nullptr);
  EXPECT_NE(selection.OptionFor("rmvb"), nullptr);
  selection.SelectCategory(TypeBoxId::kAudio, true);
  ASSERT_NE(selection.OptionFor("rm"), nullptr);
  EXPECT_EQ(BoxOfOption(*selection.OptionFor("rm")), TypeBoxId::kAudio);
  selection.SelectAll();
  EXPECT_EQ(BoxOfOption(*selection.OptionFor("rm")), TypeBoxId::kVideo);
}

TEST(ExtensionSelectionTest, OnlyPhotoSelectedSearchesPhotoExtensionsOnly) {
  ExtensionSelection selection;
  for (const TypeBox& box : TypeBoxes()) {
    if (box.id != TypeBoxId::kPhoto) selection.SelectCategory(box.id, false);
  }
  EXPECT_EQ(selection.map().size(), 47u);  // 43 options, four with two extensions
  EXPECT_TRUE(selection.BuildSearchPattern().starts_with("*.arw|*.avif|*.bmp|"));
}

TEST(ExtensionSelectionTest, NothingSelectedSearchesEveryKnownList) {
  ExtensionSelection selection;
  for (const TypeBox& box : TypeBoxes()) selection.SelectCategory(box.id, false);
  ASSERT_TRUE(selection.map().empty());
  const std::string pattern = selection.BuildSearchPattern();
  EXPECT_TRUE(pattern.starts_with("*.bmp|*.gif|")) << pattern;
  EXPECT_TRUE(pattern.ends_with("|*.jar|*.iso")) << pattern;
  // Photo, audio, video, document, archive, in that order.
  const std::size_t mp3 = pattern.find("*.mp3");
  const std::size_t rmvb = pattern.find("*.rmvb");
  const std::size_t doc = pattern.find("*.doc|");
  const std::size_t zip = pattern.find("*.zip");
  EXPECT_LT(pattern.find("*.thm"), mp3);
  EXPECT_LT(mp3, rmvb);
  EXPECT_LT(rmvb, doc);
  EXPECT_LT(doc, zip);
}

TEST(TypeTreeTest, EntryTextsAndNodes) {
  ExtensionSelection selection;
  struct Case {
    std::string_view extension;
    std::size_t count;
    bool other_selected;
    std::optional<TypeBoxId> box;  // nullopt: not shown
    std::string_view text;
    std::string_view icon;
  };
  const Case cases[] = {
      {"jpg", 12, true, TypeBoxId::kPhoto, "JPG/JPEG (12)", "FileIcon/jpg.png"},
      {"ogg", 1, true, TypeBoxId::kAudio, "OGG Files (1)",
       "FileIcon/ogg.png"},  // no blank before "("
      {"rm", 2, true, TypeBoxId::kVideo, "RM Video Files (2)", "FileIcon/rmvb.png"},
      {"unknow", 3, true, TypeBoxId::kOther, "UNKNOW Files (3)", "FileIcon/other.png"},
      {"dat", 5, true, TypeBoxId::kOther, "DAT Files (5)", "FileIcon/other.png"},
      {"dat", 5, false, std::nullopt, "", ""},
      {"doc", 4, false, TypeBoxId::kOffice, "DOC Files (4)", "FileIcon/doc.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extension);
    const auto entry = TypeTreeEntryFor(selection, c.extension, c.count, c.other_selected);
    ASSERT_EQ(entry.has_value(), c.box.has_value());
    if (!entry) continue;
    EXPECT_EQ(entry->box, *c.box);
    EXPECT_EQ(entry->text, c.text);
    EXPECT_EQ(entry->icon, c.icon);
  }
}

TEST(ExtensionKeyTest, KeysAndAliases) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"IMG_0001.JPEG", "jpg"}, {"a.Jpg", "jpg"},       {"scan.TIFF", "tif"},  {"song.midi", "mid"},
      {"x.m4p", "m4a"},         {"report.DOCX", "doc"}, {"sheet.xlsx", "xls"}, {"deck.pptx", "ppt"},
      {"page.htm", "html"},     {"screen.scr", "pcx"},  {"README", "unknow"},  {"", "unknow"},
      {"trailing.", "unknow"},  {"a.tar.gz", "gz"},     {"clip.rm", "rm"},
  };
  for (const auto& [name, key] : cases) {
    EXPECT_EQ(ExtensionKey(Named(name)), key) << name;
  }
}

TEST(GroupByExtensionTest, KeepsRecordOrderWithinEachKey) {
  const std::vector<FoundFileRecord> records = {Named("b.jpeg"), Named("NOTE"), Named("a.JPG"),
                                                Named("c.mp3"), Named("d.jpg")};
  const RecordsByExtension groups = GroupByExtension(records);
  ASSERT_EQ(groups.size(), 3u);
  const auto& jpg = groups.at("jpg");
  ASSERT_EQ(jpg.size(), 3u);
  EXPECT_EQ(jpg[0], &records[0]);
  EXPECT_EQ(jpg[1], &records[2]);
  EXPECT_EQ(jpg[2], &records[4]);
  EXPECT_EQ(groups.at("unknow").front(), &records[1]);
  EXPECT_EQ(groups.begin()->first, "jpg");  // ordered map
}

TEST(IconForTest, CategoryOrderAndDamagedVariants) {
  struct Case {
    std::string_view extension;
    bool intact;
    std::string_view icon;
  };
  const Case cases[] = {
      {"jpg", true, "FileIcon/image.png"},
      {"JPEG", false, "FileIcon/image_error.png"},
      {"ra", true, "FileIcon/image.png"},  // inside "*.raf" of the photo list
      {"mp3", true, "FileIcon/music.png"},
      {"rm", true, "FileIcon/music.png"},
      {"avi", false, "FileIcon/video_error.png"},
      {"pdf", true, "FileIcon/doc.png"},
      {"7z", true, "FileIcon/zip.png"},
      {"EXE", false, "FileIcon/exe_error.png"},
      {"folder", false, "FileIcon/folder.png"},
      {"dat", true, "FileIcon/default.png"},
      {"dat", false, "FileIcon/default_error.png"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IconFor(c.extension, c.intact), c.icon) << c.extension;
  }
}

}  // namespace
}  // namespace vexlo::catalogue
