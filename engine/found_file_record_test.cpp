#include "engine/found_file_record.h"

#include <gtest/gtest.h>

#include <string>

namespace vexlo {
namespace {

TEST(FoundFileRecord, NamesAreCutToTheFieldKeepingTheExtension) {
  std::string cjk_stem;
  for (int i = 0; i < 100; ++i) cjk_stem += "\xE5\x86\x99";  // 300 bytes
  struct Case {
    std::string name;
    std::string expected;
  };
  const Case cases[] = {
      {"IMG_0001.JPG", "IMG_0001.JPG"},
      {std::string(259, 'n'), std::string(259, 'n')},
      {std::string(300, 'n') + ".jpg", std::string(255, 'n') + ".jpg"},
      // 85 whole characters fit before ".jpg" in 259 bytes.
      {cjk_stem + ".jpg", cjk_stem.substr(0, 85 * 3) + ".jpg"},
      {std::string("a\0b.jpg", 7), "a"},
  };
  for (const Case& c : cases) {
    FoundFileRecord record = EmptyRecord();
    record.SetName(c.name);
    EXPECT_EQ(record.Name(), c.expected) << c.name.size();
  }
}

}  // namespace
}  // namespace vexlo
