#include <QFile>
#include <QFileInfo>

#include "platform/paths.h"

#include "preview/converters.h"
#include "preview/tool_runner.h"

namespace {

// A damaged PDF can keep the renderer busy without end.
constexpr int kPdfWatchdogMs = 30000;

} // namespace

vexlo::ErrorCode CPDF::Convert(const QString &source, QString *text)
{
    text->clear();
    const QString picture = PdfPagePicture(source);
    const QString prefix = QFileInfo(picture).absolutePath() + QStringLiteral("/pdf");
    const QString page = prefix + QStringLiteral(".png");
    // A page left by an earlier PDF must not pass for this one's.
    QFile::remove(page);
    const ToolResult run = RunTool(FindTool(QStringLiteral("pdftoppm")),
                                   {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                    QStringLiteral("1"), QStringLiteral("-png"),
                                    QStringLiteral("-singlefile"), source, prefix},
                                   kPdfWatchdogMs);
    if (!run.started || !QFile::exists(page))
        return vexlo::err::kInvalidParameter;
    QFile::remove(picture);
    if (!QFile::rename(page, picture))
        return vexlo::err::kInvalidParameter;
    return vexlo::err::kSuccess;
}

QString PdfPagePicture(const QString &document)
{
    return QFileInfo(document).absolutePath() + QStringLiteral("/tmp.jpg");
}

QString PreviewFolder()
{
    QString folder = QString::fromStdString(vexlo::platform::ScanLogRoot().string());
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}
