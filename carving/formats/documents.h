// Documents and mail stores: PDF, Flash sources (fla), SQLite databases,
// Outlook Express (dbx) and Outlook (pst) stores. Compound documents and
// Office archives have their own modules.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carving/formats/signature_entry.h"

namespace vexlo::carving {

HeaderTestFunction PdfTest;
// Only the first four bytes of the compound-document signature.
HeaderTestFunction FlaTest, SqliteTest, DbxTest, PstTest;

// Follows the incremental updates to the last %%EOF (pdf_structure.h);
// failing that, ends after the last "%%EOF" of the first chunk that holds
// one and the end-of-line that follows it, else after its last "trailer".
LengthFinderFunction PdfLength;
// Page size times page count from a current database header, when the
// medium holds that much; forward to 4 GiB otherwise.
LengthFinderFunction SqliteLength;

}  // namespace vexlo::carving
