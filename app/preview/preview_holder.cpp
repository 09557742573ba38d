#include "preview/preview_holder.h"

#include <QFile>

#include "engine/file_categories.h"
#include "platform/text.h"

namespace {

// The converter lists in the order they are tried; an extension that is part
// of an earlier list ("doc" of "docx") is taken by that list.
constexpr std::string_view kWordList = "*.doc|*.dot|*.docx|*.dotx|*.docm|*.dotm|*.rtf|*.odt";
constexpr std::string_view kPresentationList = "*.ppt|*.pptx|*.pptm|*.pps|*.ppsx|*.ppsm|*.odp";
constexpr std::string_view kSpreadsheetList = "*.xls|*.xlsx|*.xlsm|*.csv|*.odc|*.vsd|*.vsdm|"
                                              "*.vsdx|*.pub|*.mpp|*.ics|*.vcf|*.msg";
constexpr std::string_view kPdfList = "*.pdf";

} // namespace

std::unique_ptr<CConverter> CreateConverter(std::string_view extension)
{
    using vexlo::IsInList;
    if (IsInList(kWordList, extension))
        return std::make_unique<CWord>();
    if (IsInList(kPresentationList, extension))
        return std::make_unique<CPPT>();
    if (IsInList(kSpreadsheetList, extension))
        return std::make_unique<CExcel>();
    if (IsInList(kPdfList, extension))
        return std::make_unique<CPDF>();
    if (IsInList(vexlo::kArchiveList, extension))
        return std::make_unique<CZIP>();
    return nullptr;
}

void PreviewHolder::Reset(const vexlo::FoundFileRecord &source)
{
    record = source;
    raw.assign(kRawCapacity, 0);
    count = kRawCapacity;
    isMedia = isAudio = isDocument = isPdf = false;
    converter.reset();
}

bool IsMediaName(std::string_view name, bool *audio)
{
    // A name without a dot has the empty extension, which every list
    // "contains"; such a file is none of these and shows its first bytes.
    const std::string extension = vexlo::platform::ToLowerAscii(vexlo::ExtensionOf(name));
    *audio = !extension.empty() && vexlo::IsInList(vexlo::kAudioList, extension);
    return *audio || (!extension.empty() && vexlo::IsInList(vexlo::kVideoList, extension));
}

void PreviewHolder::Classify()
{
    const std::string extension = vexlo::platform::ToLowerAscii(vexlo::ExtensionOf(record.Name()));
    if (extension.empty())
        return;
    isMedia = IsMediaName(record.Name(), &isAudio);
    isDocument = vexlo::IsInList(vexlo::kDocumentPreviewList, extension);
    if (isDocument) {
        isPdf = extension == "pdf";
        converter = CreateConverter(extension);
    }
}

void PreviewHolder::DropTemporaryFile()
{
    if (temporaryPath.empty())
        return;
    QFile::remove(QString::fromStdString(temporaryPath));
    temporaryPath.clear();
}
