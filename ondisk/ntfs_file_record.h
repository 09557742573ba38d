// NTFS FILE records as they lie on a medium: where the fields of the record
// header and of its attribute headers are, and the test that recognises the
// first sector of a record among the sectors of a medium.
//
// The formatted scan's router, carving's metadata test and the NTFS engines
// share these; the engines' record parsing (filesystems/ntfs/mft_record.h)
// reads through the same names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ondisk/field.h"

namespace vexlo::ntfs {

// The record header.
namespace record {
inline constexpr ByteField kSignature{0, 4};       // "FILE"
inline constexpr LeField<uint16_t> kUsaOffset{4};  // the update-sequence array
inline constexpr LeField<uint16_t> kUsaCount{6};   // its words, the sequence number included
inline constexpr LeField<uint16_t> kFirstAttribute{20};
inline constexpr LeField<uint16_t> kFlags{22};
inline constexpr LeField<uint32_t> kBytesInUse{24};
inline constexpr LeField<uint32_t> kBytesAllocated{28};
inline constexpr LeField<uint64_t> kBaseRecord{32};    // a file reference: 48-bit record number
inline constexpr LeField<uint32_t> kRecordNumber{44};  // only where the array starts at 48
// Records written by NTFS 3.1 and later carry their own number and start
// their update-sequence array here, with the sequence number first.
inline constexpr uint16_t kUsaOffsetWithNumber = 48;
inline constexpr LeField<uint16_t> kSequenceNumber{48};
inline constexpr std::size_t kMinHeaderBytes = 48;
}  // namespace record

inline constexpr uint16_t kRecordInUse = 0x01;
inline constexpr uint16_t kRecordDirectory = 0x02;

// File references keep the record number in their low 48 bits.
inline constexpr uint64_t kRecordNumberMask = 0x0000FFFFFFFFFFFFull;

// An attribute header inside a record, counted from the attribute's start.
namespace attribute {
inline constexpr LeField<uint32_t> kType{0};
inline constexpr LeField<uint32_t> kLength{4};
inline constexpr LeField<uint8_t> kNonResident{8};
inline constexpr LeField<uint8_t> kNameLength{9};
inline constexpr std::size_t kHeaderBytes = 16;
// A resident attribute's value.
inline constexpr LeField<uint32_t> kValueLength{16};
inline constexpr LeField<uint16_t> kValueOffset{20};
inline constexpr std::size_t kResidentHeaderBytes = 24;
// A non-resident attribute's clusters.
inline constexpr LeField<uint64_t> kLowestVcn{16};
inline constexpr LeField<uint16_t> kRunListOffset{32};
inline constexpr LeField<uint64_t> kAllocatedSize{40};
inline constexpr LeField<uint64_t> kRealSize{48};
inline constexpr std::size_t kNonResidentHeaderBytes = 64;
}  // namespace attribute

// The values of the attributes the engines read, and the entries of an
// attribute list, counted from their first byte.
namespace file_name_value {                     // $FILE_NAME
inline constexpr LeField<uint64_t> kParent{0};  // a file reference
inline constexpr LeField<uint64_t> kCreated{8};
inline constexpr LeField<uint64_t> kModified{16};
inline constexpr LeField<uint64_t> kAccessed{32};
inline constexpr LeField<uint64_t> kRealSize{48};
inline constexpr LeField<uint8_t> kNameLength{64};  // UTF-16 units
inline constexpr LeField<uint8_t> kNameSpace{65};
inline constexpr std::size_t kName = 66;
}  // namespace file_name_value
namespace standard_information_value {  // $STANDARD_INFORMATION
inline constexpr LeField<uint64_t> kCreated{0};
inline constexpr LeField<uint64_t> kModified{8};
inline constexpr LeField<uint64_t> kAccessed{24};
inline constexpr std::size_t kMinBytes = 32;
}  // namespace standard_information_value
namespace attribute_list_entry {
inline constexpr LeField<uint32_t> kType{0};
inline constexpr LeField<uint16_t> kLength{4};
inline constexpr LeField<uint8_t> kNameLength{6};
inline constexpr LeField<uint64_t> kLowestVcn{8};
inline constexpr LeField<uint64_t> kReference{16};  // the record that holds the attribute
inline constexpr std::size_t kFixedBytes = 26;
}  // namespace attribute_list_entry

// True when the bytes start with "FILE".
bool HasFileSignature(std::span<const uint8_t> bytes);

// Bytes of one FILE record on a medium with `sector_bytes` sectors: two
// sectors of 512 bytes, or one larger sector.
constexpr uint32_t FileRecordBytes(uint32_t sector_bytes) {
  return sector_bytes > 512 ? sector_bytes : 2 * sector_bytes;
}

// True when `sector` begins a FILE record: the signature, a bytes-in-use
// value that fits the record, an allocated size equal to it, and the update
// sequence number repeated in the sector's last two bytes (which a torn or
// stale sector rarely has).
bool IsFileRecordSector(std::span<const uint8_t> sector, uint32_t sector_bytes);

// The record's directory flag.
bool IsDirectoryRecord(std::span<const uint8_t> sector);

}  // namespace vexlo::ntfs
