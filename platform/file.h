// Files the program writes itself: result stores, the scan history, recovered
// files, disk images, temporary preview files. Never used for a source
// medium; sources are opened read-only through sector_source.h.
//
// A File is owned by one thread at a time. Every call returns a code of
// error_code.h; EINTR is retried inside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/error_code.h"

namespace vexlo::platform {

// Longest name of one path component, in bytes, that Linux file systems take
// (NAME_MAX); a longer one fails with ENAMETOOLONG.
inline constexpr std::size_t kMaxFileNameBytes = 255;

class File {
 public:
  enum class Mode {
    kReadOnly,         // existing file, read only
    kReadWrite,        // existing file, read and write
    kReadWriteCreate,  // read and write, created when missing, kept when present
    kCreateTruncate,   // write, created anew or emptied
  };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // The writing modes open regular files only (kAccessDenied for a device,
  // also behind a link), so no destination can ever be a disk.
  ErrorCode Open(const std::filesystem::path& path, Mode mode);
  void Close() noexcept;
  bool is_open() const noexcept { return fd_ >= 0; }

  // Reads up to data.size() bytes at `offset`; `*bytes_read` tells how many
  // arrived (fewer only at the end of the file or on an error).
  ErrorCode ReadAt(uint64_t offset, std::span<uint8_t> data, std::size_t* bytes_read);
  // Writes all of `data` at `offset`; a short write that cannot finish is 29.
  ErrorCode WriteAt(uint64_t offset, std::span<const uint8_t> data);
  ErrorCode Size(uint64_t* size_bytes) const;
  ErrorCode Truncate(uint64_t size_bytes);
  ErrorCode Sync();

 private:
  int fd_ = -1;
};

// Reads a whole (small) file. A missing file is 2.
ErrorCode ReadWholeFile(const std::filesystem::path& path, std::string* contents);

// Replaces a small file so that a crash at any moment leaves either the old
// or the new contents, never a torn file: writes "<path>.tmp", syncs it,
// renames it over `path` and syncs the folder.
ErrorCode ReplaceFile(const std::filesystem::path& path, std::span<const uint8_t> contents);

// The temporary name ReplaceFile writes first: "<path>.tmp".
std::filesystem::path ReplacementPath(const std::filesystem::path& path);

// Last-write time of a file as FILETIME.
ErrorCode LastWriteFiletime(const std::filesystem::path& path, uint64_t* filetime);

// Sets the access and modification times of a file or folder (a link itself,
// never what it points to) from FILETIMEs; a time of 0, which no medium means,
// leaves that one as it is.
ErrorCode SetFiletimes(const std::filesystem::path& path, uint64_t accessed, uint64_t modified);

}  // namespace vexlo::platform
