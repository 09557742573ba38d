// What one preview carries from the extraction to the display.
//
// The pane creates a holder per preview and drops it once the result is
// shown. Classify() decides, from the record's name alone, whether the file
// goes to the external player (media, audio), to a converter (document, PDF)
// or to the picture and raw-text views; ExtractForPreview then fills either
// the temporary path or the raw buffer.
#pragma once

#include <QString>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/found_file_record.h"
#include "preview/converters.h"

struct PreviewHolder
{
    // Bytes of a file that is not written to a file: its first 20 MiB.
    static constexpr uint32_t kRawCapacity = 0x1400000;

    vexlo::FoundFileRecord record = vexlo::EmptyRecord();
    std::string temporaryPath; // set by the engine for files it writes out
    std::vector<uint8_t> raw; // kRawCapacity bytes, allocated by Reset()
    uint32_t count = 0; // capacity in, bytes placed out
    bool isMedia = false;
    bool isAudio = false;
    bool isDocument = false;
    bool isPdf = false;
    std::unique_ptr<CConverter> converter;

    // Takes `source` as the record, clears the flags and the converter and
    // readies the buffer (the temporary path is left for the next
    // extraction to delete).
    void Reset(const vexlo::FoundFileRecord &source);

    // Sets the flags and the converter from the record's name.
    void Classify();

    // Deletes the file of an earlier extraction and empties the path.
    void DropTemporaryFile();
};

// Whether a file name is of a sound or video type (then *audio tells which).
bool IsMediaName(std::string_view name, bool *audio);

// The converter for a lower-cased extension, or null when the type has none.
std::unique_ptr<CConverter> CreateConverter(std::string_view extension);
