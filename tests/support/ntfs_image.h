// NTFS test volumes built with Debian's ntfs-3g tools, and deletion done to
// them exactly as NTFS does it, for tests that need real volumes with deleted
// files in known places.
//
// MakeNtfsImage runs `mkntfs -F -Q` on an image file; files are added with
// `ntfscp`; folders need an ntfs-3g (FUSE) mount, which NtfsMount provides
// where the machine allows one. DeleteNtfsRecord then deletes a file or
// folder the way the file system does: the record's in-use flag is cleared
// (its sequence number raised, the update-sequence protection kept intact),
// its bit in the MFT's bitmap and its clusters in $Bitmap are cleared, and
// its entry is removed from the parent folder's index (resident root or leaf
// index blocks). The record's attributes stay, as on a real volume.
//
// The code here parses NTFS independently of the code under test, so that a
// misreading in one does not hide the same misreading in the other.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/non_copyable.h"

namespace vexlo::testing {

// True when mkntfs and ntfscp can be run.
bool NtfsToolsAvailable();

// Creates `image` of `size_bytes` and formats it. Empty result on success,
// else what failed.
std::string MakeNtfsImage(const std::filesystem::path& image, uint64_t size_bytes,
                          uint32_t cluster_bytes = 4096);

// Copies a host file into the volume at `ntfs_path` ("/dir/name"; the folder
// must exist). Empty result on success.
std::string NtfsCopyIn(const std::filesystem::path& image, const std::filesystem::path& host_file,
                       const std::string& ntfs_path);

// Writes `bytes` to a temporary host file and copies it in.
std::string NtfsWriteFile(const std::filesystem::path& image, const std::string& ntfs_path,
                          const std::vector<uint8_t>& bytes);

// MFT record number of a path, or -1.
int64_t NtfsRecordOf(const std::filesystem::path& image, const std::string& ntfs_path);

// An ntfs-3g mount of an image for the life of the object (needs FUSE and the
// right to mount); ok() tells whether it came up.
class NtfsMount : NonCopyable {
 public:
  NtfsMount(const std::filesystem::path& image, const std::filesystem::path& mount_point);
  ~NtfsMount();
  bool ok() const { return mounted_; }
  const std::filesystem::path& path() const { return mount_point_; }
  // Unmounts now; the image is complete afterwards.
  void Unmount();

 private:
  std::filesystem::path mount_point_;
  bool mounted_ = false;
};

// Creates a folder through a short-lived mount. Empty result on success.
std::string NtfsMakeFolders(const std::filesystem::path& image,
                            const std::vector<std::string>& ntfs_paths);

struct DeleteResult {
  std::string error;  // empty on success
  bool index_entry_removed = false;
};

// Deletes MFT record `record` as NTFS does (see above).
DeleteResult DeleteNtfsRecord(const std::filesystem::path& image, uint64_t record);

// Deletes the file or folder at `ntfs_path` as DeleteNtfsRecord deletes its
// record. Empty result on success.
std::string DeleteNtfsFile(const std::filesystem::path& image, const std::string& ntfs_path);

// Marks `count` clusters used in $Bitmap, from `first` every `step`
// clusters, without giving them to any file, so that the next file written is
// laid out around them.
std::string NtfsReserveClusters(const std::filesystem::path& image, uint64_t first, uint64_t count,
                                uint64_t step = 1);

// Moves the clusters of a file's (single-run, non-resident) data stream to
// scattered free clusters, jumping forwards and backwards, and rewrites its
// run list in place: a file with one run per cluster, as a long-lived volume
// produces. ntfs-3g itself avoids such layouts. The file's record must have
// room for the longer list.
std::string NtfsScatterFile(const std::filesystem::path& image, uint64_t record);

}  // namespace vexlo::testing
