// Feeds arbitrary bytes to the loaders of a result store's folder indexes,
// then opens a small store on indexes made from the same bytes and walks
// them: listings, counts, paths and a search must end on any index.
//
// Input: the whole input goes to both raw loaders. For the store walk, the
// bytes up to the first NUL are the "_Relation" text and every three bytes
// after it (key, record number, name) make one "_DirInfo" entry, so that the
// folder names meet the keys the text mentions.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/folder_info_list.h"
#include "engine/folder_relation_map.h"
#include "engine/scan_result_store.h"
#include "platform/file.h"
#include "platform/log.h"

namespace {

using vexlo::FoundFileRecord;

constexpr char kRecordFileName[] = "Fast_0_2026439 5";
constexpr uint32_t kRecords = 16;

// A scan folder holding 16 records: folders with keys 1 to 6 and files of
// several kinds, some of them damaged pictures.
class Fixture {
 public:
  Fixture() {
    vexlo::platform::SetLogSilenced(true);
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vexlo-relation-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder_ = pattern;
    vexlo::ScanResultStore store;
    if (store.Open(folder_, kRecordFileName) != 0) std::abort();
    for (uint32_t i = 0; i < kRecords; ++i) {
      FoundFileRecord* slot = nullptr;
      if (store.NewRecord(&slot) != 0) std::abort();
      slot->is_folder = i % 3 == 0 ? 1 : 0;
      slot->key = i % 7;
      slot->content_check = i % 4 == 1 ? 0 : 1;
      static const char* const kNames[] = {"DCIM", "a.jpg", "b.TXT", "noext", "c.jp", "d."};
      slot->SetName(kNames[i % 6]);
    }
    if (store.Close() != 0) std::abort();
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path companion(const char* suffix) const {
    return folder_ / (std::string(kRecordFileName) + suffix);
  }

 private:
  std::filesystem::path folder_;
};

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  vexlo::platform::File file;
  if (file.Open(path, vexlo::platform::File::Mode::kCreateTruncate) != 0) std::abort();
  if (file.WriteAt(0, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}) != 0) {
    std::abort();
  }
}

void WalkStore(const Fixture& fixture, std::string_view relation, std::string_view entries) {
  std::string info;
  for (std::size_t i = 0; i + 3 <= entries.size(); i += 3) {
    const auto byte = [&](std::size_t at) { return static_cast<uint8_t>(entries[i + at]); };
    const vexlo::FolderInfoEntry entry = vexlo::FolderInfoEntry::Make(
        byte(0) % 8, byte(1) % 20,
        std::string(1 + byte(2) % 3, static_cast<char>('a' + byte(2) % 26)));
    info.append(reinterpret_cast<const char*>(&entry), sizeof(entry));
  }
  WriteFile(fixture.companion("_Relation"), relation);
  WriteFile(fixture.companion("_DirInfo"), info);

  vexlo::ScanResultStore store;
  if (store.Open(fixture.folder(), kRecordFileName) != 0) std::abort();
  if (store.Count() != kRecords) std::abort();
  std::vector<FoundFileRecord> records;
  uint64_t count = 0;
  (void)store.ListFolder(0, &records);
  (void)store.CountFiles(0, &count);
  std::size_t walked = 0;
  for (const auto& [key, list] : store.relation_map()) {
    if (++walked > 32) break;
    (void)store.ListFolder(key, &records);
    (void)store.CountFiles(key, &count);
  }
  std::string path;
  for (uint32_t number = 1; number <= kRecords; ++number) {
    FoundFileRecord record = vexlo::EmptyRecord();
    record.record_number = number;
    (void)store.PathText(record, &path);
  }
  (void)store.SearchExtensions("*.jpg|*.other", &records);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Fixture fixture;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  vexlo::FolderRelationMap map;
  const vexlo::RelationParseResult parsed = vexlo::ParseFolderRelationMap(bytes, kRecords, &map);
  std::size_t numbers = 0;
  for (const auto& [key, list] : map) {
    for (vexlo::RecordNumber number : list) {
      if (number == 0 || number > kRecords) std::abort();
      ++numbers;
    }
  }
  if (numbers != parsed.numbers_kept) std::abort();
  std::vector<vexlo::FolderInfoEntry> infos;
  (void)vexlo::ParseFolderInfoList({data, size}, kRecords, &infos);

  const std::size_t split = std::min(bytes.find('\0'), bytes.size());
  WalkStore(fixture, bytes.substr(0, split), bytes.substr(std::min(split + 1, bytes.size())));
  return 0;
}
