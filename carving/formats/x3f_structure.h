// Sigma X3F: a "FOVb" header, the sections (properties "SECp", images
// "SECi", camera data "SECc"), then the section directory "SECd" and, as
// the file's last 4 bytes, the directory's offset. The sections give no
// lengths of their own that lead from one to the next, so the file is
// searched for a directory whose entries all lie before it and whose offset
// follows it: the file ends with that offset. State lives in the object, so
// it can be fed the file in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"
#include "carving/formats/structure_walk.h"

namespace vexlo::carving {

class X3fStructure : public StructureWalk {
 public:
  // A directory lists one entry per section; cameras write a handful.
  static constexpr uint32_t kMaxEntries = 64;

  StructureVerdict Feed(const uint8_t* data, std::size_t size);

 private:
  // Checks the directory gathered in directory_; its end when it is this
  // file's.
  bool DirectoryHolds();

  uint32_t matched_ = 0;  // bytes of "SECd" matched so far
  uint64_t directory_at_ = 0;
  // "SECd", version, entry count, the entries (offset, length, type) and
  // the 4-byte offset that ends the file.
  std::array<uint8_t, 12 + 12 * kMaxEntries + 4> directory_{};
  std::size_t gathered_ = 0;
  std::size_t wanted_ = 0;  // 0: searching for "SECd"
};

HeaderTestFunction X3fTest;
// The end of the file's section directory; the table's rule (the next
// start, at most 256 MiB) when no directory is found.
LengthFinderFunction X3fLength;

}  // namespace vexlo::carving
