// Compound documents (the OLE2 container of Word, Excel and PowerPoint
// files).
//
// The test classifies a container as a word-processor, spreadsheet or
// presentation file, or as a generic container, by reading the sector after
// the header and the first directory sector; it assumes that the container's
// sectors are the medium's sectors (container sector n at file start + n + 1).
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

// Answers doc, xls, ppt or ole for a container header; a directory that
// cannot be read gives ole.
HeaderTestFunction CompoundDocumentTest;

// The size that the last allocation-table sector implies; when the header is
// implausible or a sector cannot be read, a forward search for the closing
// text that some word processors write.
LengthFinderFunction CompoundDocumentLength;

}  // namespace vexlo::carving
