#include "scan_services.h"

#include "recovery/engine_factory.h"
#include "recovery/professional_recovery.h"

namespace {

vexlo::CProfessionalRecovery *DriverOf(vexlo::IFileRecoveryParse &engine)
{
    return dynamic_cast<vexlo::CProfessionalRecovery *>(&engine);
}

} // namespace

ScanServices MakeEngineScanServices(vexlo::ScanHistory &history)
{
    ScanServices services;
    services.createEngine = [&history](const SourceEntry &source,
                                       int mode) -> std::unique_ptr<vexlo::IFileRecoveryParse> {
        if (source.isImage && source.partitionNumber == 0) {
            return vexlo::CreateEngineForImage(history, source.imagePath.toStdString(), source.id,
                                               mode);
        }
        if (source.isImage) {
            return vexlo::CreateEngineForImage(history, source.imagePath.toStdString(),
                                               source.firstSector, source.sectorCount, source.id,
                                               mode);
        }
        return vexlo::CreateEngineForPartition(history, source.diskNumber, source.firstSector,
                                               source.sectorCount, source.id, mode);
    };
    services.startFreshScanLog = [&history] { history.BeginNewScan(); };
    services.hasEarlierScanLog = [](vexlo::IFileRecoveryParse &engine) {
        const vexlo::CProfessionalRecovery *driver = DriverOf(engine);
        return driver != nullptr && driver->has_saved_scan();
    };
    services.discardEarlierScanLog = [](vexlo::IFileRecoveryParse &engine) {
        if (vexlo::CProfessionalRecovery *driver = DriverOf(engine))
            driver->ForgetSavedScan();
    };
    services.unreadableSectors = [](vexlo::IFileRecoveryParse &engine) -> uint64_t {
        const vexlo::CProfessionalRecovery *driver = DriverOf(engine);
        return driver != nullptr ? driver->unreadable_sectors() : 0;
    };
    services.currentScanLog
            = [&history] { return QString::fromStdString(history.CurrentFolder().string()); };
    services.removeScanLog = [&history](const QString &folder) {
        if (!folder.isEmpty())
            (void)history.RemoveFolder(folder.toStdString());
    };
    return services;
}
