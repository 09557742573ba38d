#include "assist_actions.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "language_manager.h"
#include "message_box.h"
#include "message_format.h"
#include "platform/paths.h"
#include "skin_images.h"

namespace {

constexpr int kAboutIconSide = 64;
const char *const kLicenceAddress = "https://www.gnu.org/licenses/gpl-3.0.html";

QString AboutText(const QString &key)
{
    return LanguageManager::Instance().Text(QStringLiteral("AboutWnd"), key);
}

QString Link(const QUrl &url, const QString &text)
{
    return QStringLiteral("<a href=\"%1\">%2</a>")
            .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), text.toHtmlEscaped());
}

// The manual, at `section` (an anchor the man page's section makes) unless
// empty.
void OpenManualAt(QWidget *owner, const QString &section)
{
    const QString manual
            = QString::fromStdString(vexlo::platform::ResourcePath("manual.html").string());
    if (QFileInfo::exists(manual)) {
        QUrl url = QUrl::fromLocalFile(manual);
        if (!section.isEmpty())
            url.setFragment(section);
        QDesktopServices::openUrl(url);
        return;
    }
    CMessageBox::Show(CMessageBox::Error, owner,
                      FormatMessage(AboutText(QStringLiteral("ManualMissing")), {manual}));
}

} // namespace

void OpenManual(QWidget *owner)
{
    OpenManualAt(owner, QString());
}

void OpenManualQuestions(QWidget *owner)
{
    OpenManualAt(owner, QStringLiteral("QUESTIONS"));
}

void ShowAboutBox(QWidget *owner)
{
    const QString product = LanguageManager::Instance().Text(QStringLiteral("MainWnd"),
                                                             QStringLiteral("LblProductName"));
    // The folder may not exist before the first scan; the link names it
    // all the same, so the user knows where to look later.
    const QString logs = QString::fromStdString(vexlo::platform::ScanLogRoot().string());
    const QString text = QStringLiteral("<h3>%1</h3><p>%2</p><p>%3<br>%4</p><p>%5<br>%6</p>")
                                 .arg(product.toHtmlEscaped(),
                                      FormatMessage(AboutText(QStringLiteral("Version")),
                                                    {QStringLiteral(VEXLO_VERSION)})
                                              .toHtmlEscaped(),
                                      AboutText(QStringLiteral("Licence")).toHtmlEscaped(),
                                      Link(QUrl(QLatin1String(kLicenceAddress)),
                                           AboutText(QStringLiteral("LicenceLink"))),
                                      AboutText(QStringLiteral("ScanLogs")).toHtmlEscaped(),
                                      Link(QUrl::fromLocalFile(logs), logs));

    auto *box = new QMessageBox(owner);
    box->setObjectName(QStringLiteral("about_box"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(FormatMessage(AboutText(QStringLiteral("Title")), {product}));
    box->setIconPixmap(
            SkinPixmap(QStringLiteral("scan_files.png"), QSize(kAboutIconSide, kAboutIconSide)));
    box->setTextFormat(Qt::RichText);
    box->setText(text);
    box->setStandardButtons(QMessageBox::Ok);
    box->button(QMessageBox::Ok)
            ->setText(LanguageManager::Instance().Text(QStringLiteral("MessageBox"),
                                                       QStringLiteral("okbtn")));
    box->open();
}
