// CWord, CExcel and CPPT: LibreOffice prints a document's text ("--cat"), and
// each converter keeps the part its document type shows.
#include <QDir>
#include <QStringList>
#include <QUrl>

#include "platform/paths.h"
#include "preview/converters.h"
#include "preview/tool_runner.h"

namespace {

constexpr int kOfficeWatchdogMs = 61 * 100;
constexpr int kWordCharacters = 2048;
constexpr int kSheetCells = 10; // rows and columns each

// The document's text as LibreOffice prints it, or an error. A private user
// profile keeps the conversion out of a LibreOffice the user has open: with
// the shared profile the request would be handed to that instance.
vexlo::ErrorCode OfficeText(const QString &source, QString *text)
{
    const QString program = FindTool(QStringLiteral("soffice"));
    const QString profile = PreviewFolder() + QStringLiteral("office-profile");
    const ToolResult run = RunTool(
            program,
            {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
             QStringLiteral("--headless"), QStringLiteral("--cat"), source},
            kOfficeWatchdogMs);
    if (!run.started || !run.finishedInTime || run.exitCode != 0)
        return vexlo::err::kInvalidParameter;
    *text = QString::fromUtf8(run.output);
    return vexlo::err::kSuccess;
}

// One line of LibreOffice's comma-separated sheet text as cells.
QStringList SplitCsvLine(const QString &line)
{
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
                cell += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            cells.append(cell);
            cell.clear();
        } else {
            cell += c;
        }
    }
    cells.append(cell);
    return cells;
}

} // namespace

vexlo::ErrorCode CWord::Convert(const QString &source, QString *text)
{
    QString all;
    const vexlo::ErrorCode rc = OfficeText(source, &all);
    if (rc.ok())
        *text = all.left(kWordCharacters);
    return rc;
}

vexlo::ErrorCode CExcel::Convert(const QString &source, QString *text)
{
    QString all;
    const vexlo::ErrorCode rc = OfficeText(source, &all);
    if (!rc.ok())
        return rc;
    text->clear();
    const QStringList rows = all.split(u'\n');
    for (qsizetype row = 0; row < rows.size() && row < kSheetCells; ++row) {
        QString line = rows[row];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QStringList cells = SplitCsvLine(line);
        for (qsizetype column = 0; column < cells.size() && column < kSheetCells; ++column)
            *text += cells[column];
    }
    return rc;
}

vexlo::ErrorCode CPPT::Convert(const QString &source, QString *text)
{
    QString all;
    const vexlo::ErrorCode rc = OfficeText(source, &all);
    if (rc.ok())
        *text = all.remove(u'\r');
    return rc;
}
