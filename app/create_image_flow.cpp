#include "create_image_flow.h"

#include <QDir>
#include <QFileDialog>
#include <QStorageInfo>

#include <system_error>

#include "device_names.h"
#include "image_target_limits.h"
#include "language_manager.h"
#include "message_box.h"
#include "message_format.h"
#include "platform/error_code.h"
#include "size_text.h"
#include "storage/destination_on_source.h"
#include "storage/sector_io.h"

namespace {

// What the checks and the copy need to know about the selected source.
struct ResolvedSource
{
    ImageCopyRange range;
    uint64_t bytes = 0; // the image's size
    std::filesystem::path device; // what the target must not lie on; empty: nothing
    std::filesystem::path name; // what the image's map names as its source
};

ResolvedSource Resolve(const ImageFlowSource &source, const vexlo::platform::SysfsRoots &roots)
{
    ResolvedSource resolved;
    if (const vexlo::PartitionRecord *record = source.partition) {
        resolved.range = {record->disk_number, false, record->start, record->length};
        // The image holds every sector of the entry, which is more than the
        // file system's own size when the volume does not fill its partition.
        resolved.bytes = record->length * record->sector_bytes;
        // A free area holds no file system, so no target can lie on it.
        resolved.device = record->root_path;
        resolved.name = record->root_path.empty() ? record->disk_path : record->root_path;
        return resolved;
    }
    const int32_t disk = *source.diskNumber;
    resolved.range = {disk, true, 0, 0};
    if (disk >= 0) {
        const auto number = static_cast<uint32_t>(disk);
        // An unreadable length lets the size checks pass; the copy itself
        // then fails and says why.
        if (!vexlo::GetDiskLengthBytes(number, &resolved.bytes, roots).ok())
            resolved.bytes = 0;
        resolved.device = vexlo::platform::DiskDevicePath(number, roots);
        resolved.name = resolved.device;
    }
    return resolved;
}

QString Message(const char *key)
{
    return LanguageManager::Instance().Text(QStringLiteral("Messages"), QString::fromLatin1(key));
}

void ShowInformation(QWidget *owner, const QString &text)
{
    CMessageBox::Show(CMessageBox::Information, owner, text);
}

// The catalogue key that refuses `target`, or null when it is acceptable.
const char *RefusalKey(const QString &target, const ResolvedSource &source,
                       const ImageFlowServices &services)
{
    const std::filesystem::path path = target.toStdString();
    if (!source.device.empty() && services.targetOnSource(path, source.device))
        return "MSG0218";
    const std::filesystem::path folder = path.parent_path();
    return ImageTargetMessageKey(CheckImageTargetSize(source.bytes, services.fileSystemName(folder),
                                                      services.freeBytes(folder)));
}

QString FailureText(const CCreateImageProcessWnd &window, const std::filesystem::path &device)
{
    const vexlo::ImageCopyReport &report = window.report();
    switch (report.end) {
    case vexlo::ImageCopyEnd::kDeviceGone:
        return Message("MSG0320");
    case vexlo::ImageCopyEnd::kDeviceSilent:
        return Message("MSG0319");
    case vexlo::ImageCopyEnd::kMapUnusable:
        return FormatMessage(Message("MSG0322"),
                             {QString::fromStdString(report.map_path.string())});
    default:
        break;
    }
    const int32_t code = window.copyResult();
    // A refused device gets what to do about it rather than only that access
    // was denied; root, who has every right, is told what refused it.
    const QString reason = code == vexlo::err::kAccessDenied && !device.empty()
            ? FormatMessage(Message(DeviceRefusedKey()), {QString::fromStdString(device.string())})
            : QString::fromStdString(vexlo::platform::SystemMessage(code));
    return Message("MSG0217") + QStringLiteral("\n\n") + reason;
}

QString UnreadableText(const vexlo::ImageCopyReport &report)
{
    QString text = FormatMessage(Message("MSG0307"),
                                 {QVariant::fromValue<qulonglong>(report.unreadable_sectors)});
    return text + QLatin1Char(' ')
            + FormatMessage(Message("MSG0308"), {QString::fromStdString(report.map_path.string())});
}

QString AskSavePathWithDialog(QWidget *owner, const QString &proposedName)
{
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("Image Files (*.img)"));
    dialog.setDefaultSuffix(QStringLiteral("img"));
    dialog.setDirectory(QDir::homePath());
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

std::string DestinationFileSystem(const std::filesystem::path &folder)
{
    const QStorageInfo storage(QString::fromStdString(folder.string()));
    if (!storage.isValid())
        return {};
    const QString device = QString::fromUtf8(storage.device());
    std::string name;
    if (device.startsWith(QLatin1String("/dev/"))
        && vexlo::GetVolumeFileSystemName(device.toStdString(), &name).ok())
        return name;
    // The volume's device may not be readable for this user. The mount
    // table cannot tell FAT16 from FAT32, but on this system both store file
    // lengths of up to 4 GiB - 1, which is the FAT32 rule.
    const QString type = QString::fromUtf8(storage.fileSystemType());
    if (type == QLatin1String("vfat") || type == QLatin1String("msdos"))
        return "FAT32";
    if (type == QLatin1String("exfat"))
        return "exFAT";
    return type.toUpper().toStdString();
}

std::optional<uint64_t> DestinationFreeBytes(const std::filesystem::path &folder)
{
    const QStorageInfo storage(QString::fromStdString(folder.string()));
    uint64_t free = 0;
    if (!storage.isValid()
        || !vexlo::GetVolumeFreeBytes(storage.rootPath().toStdString(), &free).ok())
        return std::nullopt;
    return free;
}

} // namespace

ImageFlowServices DefaultImageFlowServices()
{
    ImageFlowServices services;
    services.askSavePath = &AskSavePathWithDialog;
    services.targetOnSource = [](const std::filesystem::path &target,
                                 const std::filesystem::path &sourceDevice) {
        return vexlo::DestinationOnSource(target, vexlo::SourceMedium::Device(sourceDevice));
    };
    services.fileSystemName = &DestinationFileSystem;
    services.freeBytes = &DestinationFreeBytes;
    return services;
}

QString ProposedImageName(const ImageFlowSource &source)
{
    if (const vexlo::PartitionRecord *record = source.partition) {
        // Entries have no drive letters here; the list position names them.
        return QStringLiteral("%1 (%2, %3)")
                .arg(record->id)
                .arg(QString::fromStdString(record->file_system), SizeText(record->total_bytes));
    }
    if (source.diskNumber)
        return QStringLiteral("Physical Disk %1").arg(int64_t{*source.diskNumber} + 1);
    return {};
}

QString RunCreateImageFlow(QWidget *owner, const ImageFlowSource &source,
                           const ImageFlowServices &services)
{
    if (source.partition == nullptr && !source.diskNumber) {
        ShowInformation(owner, Message("MSG0216"));
        return {};
    }
    const ResolvedSource resolved = Resolve(source, services.copy.roots);
    const QString proposedName = ProposedImageName(source);
    QString target;
    for (;;) {
        target = services.askSavePath(owner, proposedName);
        if (target.isEmpty())
            return {};
        const char *refusal = RefusalKey(target, resolved, services);
        if (refusal == nullptr)
            break;
        ShowInformation(owner, Message(refusal));
    }

    vexlo::ImageCopyJob job = services.copy;
    job.source_name = resolved.name.string();
    // An unfinished copy into the same file is continued only when the user
    // says so; otherwise its map would decide what this copy skips.
    const std::filesystem::path targetPath = target.toStdString();
    std::error_code ec;
    job.fresh = !std::filesystem::exists(vexlo::MapfilePath(targetPath), ec)
            || !std::filesystem::exists(targetPath, ec)
            || CMessageBox::Show(CMessageBox::Question, owner, Message("MSG0321")) != 1;
    CCreateImageProcessWnd window(owner, target, resolved.range, std::move(job));
    const int result = window.exec();
    if (result == CProgressWnd::Failed) {
        ShowInformation(owner, FailureText(window, resolved.device));
        return {};
    }
    if (window.report().unreadable_sectors != 0)
        ShowInformation(owner, UnreadableText(window.report()));
    // A stopped copy is no finished image; it stays on disk for the user,
    // but is not offered as one.
    if (result != CProgressWnd::Finished)
        return {};
    if (CMessageBox::Show(CMessageBox::Question, owner, Message("MSG0214"),
                          {Message("MSG0222"), Message("MSG0223")})
        != 1)
        return {};
    return target;
}
