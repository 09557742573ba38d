// Documents and mail stores: PDF, Flash sources (fla), SQLite databases,
// Outlook Express (dbx) and Outlook (pst) stores. Compound documents and
// Office archives have their own modules.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/length_search.h"

namespace vexlo::carving {

int32_t PdfTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
// Only the first four bytes of the compound-document signature.
int32_t FlaTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t SqliteTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t DbxTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);
int32_t PstTest(const HeaderProbe& probe, const uint8_t* sector, std::size_t length);

// Ends after the last "%%EOF" of a chunk and the end-of-line that follows it,
// else after the last "trailer".
uint64_t PdfLength(FileMeasure& file, const uint8_t* sector, std::size_t length);

}  // namespace vexlo::carving
