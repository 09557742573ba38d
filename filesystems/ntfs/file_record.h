// What a quick scan needs to know of one FILE record, gathered in a single
// walk over its attributes: its header, its preferred name, its times and
// where the data of its unnamed data stream lies.
//
// The summary refers into the record it was made from and is valid while
// that buffer is unchanged. Making one allocates nothing, so the scan can
// summarise every record of the MFT.
#pragma once

#include <cstdint>
#include <span>

#include "filesystems/ntfs/file_name.h"
#include "filesystems/ntfs/mft_record.h"

namespace vexlo::ntfs {

struct FileRecordSummary {
  RecordHeader header;

  // The first file-name attribute decides the parent folder; the name shown
  // is the preferred one among all of them (PrefersName).
  bool has_name = false;
  uint64_t parent_record = 0;
  FileNameValue name;

  bool has_standard_times = false;
  StandardTimes standard_times;

  // The first unnamed data attribute.
  bool has_data = false;
  bool data_resident = false;
  std::span<const uint8_t> resident_data;
  NonResidentInfo data;

  bool has_attribute_list = false;
  Attribute attribute_list;
};

// Summarises a fixed-up record. False when its header is unusable.
bool SummarizeFileRecord(std::span<const uint8_t> record, FileRecordSummary* summary);

// The size of the unnamed data stream: the resident value's length or the
// non-resident real size; the file name's size when the record holds no data
// attribute of its own.
uint64_t DataSize(const FileRecordSummary& summary);

}  // namespace vexlo::ntfs
