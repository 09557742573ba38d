// Where a recovered file goes: <root>/<category folder>/<name>, made unique
// with "(n)" before the extension when that path is taken.
//
// A name from a medium may be longer than the destination accepts (FAT and
// NTFS allow 255 UTF-16 units, up to 765 UTF-8 bytes): it is shortened to the
// system's limit for one component, at a character boundary, the extension
// kept, and the unique-name suffix counted in.
//
// Names come from the medium (or from a store file on disk) and are
// untrusted: before a name becomes part of a path, every "/" and NUL in it
// becomes "_", and a name that is empty, "." or ".." becomes "_", so that no
// recovered file can ever land outside the folder the user chose.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>

namespace vexlo {

// `name` made safe and short enough to use as one path component.
std::string SanitizeNameComponent(std::string_view name);

// root / category folder of `record_name` / sanitised `record_name`.
std::filesystem::path DestinationPath(const std::filesystem::path& root,
                                      std::string_view record_name);

// With the medium's folders kept: root / source (the last part of its path:
// "card.img:2", "sdb1") / each folder of
// `folder_path` ("DCIM/100CANON/", as GetFullPath gives it) / name, every
// component sanitised. A carved file, which lies in no folder, goes to the
// source's category folder instead.
std::filesystem::path KeptFolderPath(const std::filesystem::path& root, std::string_view source,
                                     std::string_view folder_path, std::string_view record_name,
                                     bool carved);

// `path` when nothing exists there, else the first of base(1).ext,
// base(2).ext ... that does not exist.
std::filesystem::path UniquePath(const std::filesystem::path& path);

// The names a recovery run has taken, so that the run picks unique names
// without asking the file system about every "(n)" candidate: a card of
// 200,000 photos holds thousands of IMG_0001.JPG, all bound for one folder.
// A folder's existing names are read once, when the run first writes there.
// Names are kept as 64-bit hashes (a clash only skips a free name); the one
// name chosen is still looked up on disk, so that a file made since the
// listing is never overwritten.
class UniqueNames {
 public:
  // As UniquePath(path), counting the names taken by earlier calls as used.
  std::filesystem::path Claim(const std::filesystem::path& path);

 private:
  std::unordered_set<std::string> listed_folders_;
  std::unordered_set<uint64_t> taken_;
};

// Number of "/" in the destination root's path, its last character not
// counted (engines that rebuild folders use it).
uint32_t SeparatorCount(std::string_view root);

}  // namespace vexlo
