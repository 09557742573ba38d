#include "preview/tool_runner.h"

#include <QProcess>
#include <QStandardPaths>

namespace {

constexpr int kKillWaitMs = 1000;

} // namespace

QString FindTool(const QString &name)
{
    return QStandardPaths::findExecutable(name);
}

ToolResult RunTool(const QString &program, const QStringList &arguments, int watchdogMs)
{
    ToolResult result;
    if (program.isEmpty())
        return result;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted())
        return result;
    result.started = true;
    result.finishedInTime = process.waitForFinished(watchdogMs);
    if (!result.finishedInTime) {
        process.kill();
        process.waitForFinished(kKillWaitMs);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.output = process.readAll();
    return result;
}
