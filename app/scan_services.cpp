#include "scan_services.h"

#include "engine/scan_history.h"
#include "recovery/engine_factory.h"
#include "recovery/professional_recovery.h"

namespace {

vexlo::CProfessionalRecovery *DriverOf(vexlo::IFileRecoveryParse &engine)
{
    return dynamic_cast<vexlo::CProfessionalRecovery *>(&engine);
}

} // namespace

ScanServices MakeEngineScanServices()
{
    ScanServices services;
    services.createEngine = [](const SourceEntry &source,
                               int mode) -> std::unique_ptr<vexlo::IFileRecoveryParse> {
        if (source.isImage) {
            return vexlo::CreateEngineForImage(source.imagePath.toStdString(), source.id, mode);
        }
        return vexlo::CreateEngineForPartition(source.diskNumber, source.firstSector,
                                               source.sectorCount, source.id, mode);
    };
    services.startFreshScanLog = [] { vexlo::ScanHistory::Instance().BeginNewScan(); };
    services.hasEarlierScanLog = [](vexlo::IFileRecoveryParse &engine) {
        const vexlo::CProfessionalRecovery *driver = DriverOf(engine);
        return driver != nullptr && driver->has_saved_scan();
    };
    services.discardEarlierScanLog = [](vexlo::IFileRecoveryParse &engine) {
        if (vexlo::CProfessionalRecovery *driver = DriverOf(engine))
            driver->ForgetSavedScan();
    };
    return services;
}

QString CurrentScanLogFolder()
{
    return QString::fromStdString(vexlo::ScanHistory::Instance().CurrentFolder().string());
}

void RemoveScanLog(const QString &folder)
{
    if (!folder.isEmpty())
        (void)vexlo::ScanHistory::Instance().RemoveFolder(folder.toStdString());
}
