#include "preview/preview_pane.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QImageReader>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>
#include <QUrl>
#include <QVBoxLayout>

#include "language_manager.h"
#include "message_box.h"
#include "preview/media_player.h"
#include "preview/preview_holder.h"
#include "preview/preview_process_wnd.h"
#include "preview/raw_text.h"

namespace {

// What a failed conversion shows of the file instead.
constexpr qint64 kFallbackBytes = 8192;

const QUrl kPictureUrl(QStringLiteral("vexlo-preview://picture"));

// Room left beside a picture for the cursor and the frame, in pixels.
constexpr qreal kPictureSlack = 8;

} // namespace

PreviewPane::PreviewPane(QWidget *parent)
    : QWidget(parent)
    , m_edit(new QTextEdit(this))
    , m_player(new MediaPlayer(this))
{
    m_edit->setObjectName(QStringLiteral("PreviewEdit"));
    m_edit->setReadOnly(true);
    m_edit->setLineWrapMode(QTextEdit::NoWrap);
    // Archive listings are columns and raw views are bytes: both line up only
    // in a fixed-pitch font.
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);
    connect(m_player, &MediaPlayer::notPlayed, this,
            [this] { CMessageBox::Show(CMessageBox::Information, window(), message("MSG1207")); });
}

PreviewPane::~PreviewPane() = default;

QString PreviewPane::message(const char *key) const
{
    return LanguageManager::Instance()
            .Section(QStringLiteral("Messages"))
            .value(QLatin1String(key));
}

void PreviewPane::clear()
{
    m_edit->clear();
}

void PreviewPane::showText(const QString &text)
{
    m_edit->clear();
    m_edit->setPlainText(text);
}

void PreviewPane::showRawText(const QByteArray &bytes)
{
    // The control keeps its own line ends; "\r" would show as a glyph.
    QString text = RawText(
            {reinterpret_cast<const uint8_t *>(bytes.constData()), std::size_t(bytes.size())});
    showText(text.remove(u'\r'));
}

bool PreviewPane::showPicture(const QString &path, const QString &failureText)
{
    if (!QFileInfo::exists(path))
        return false;
    // Preview files carry fixed names ("tmp.jpg" holds any picture type and a
    // rendered PDF page), so the content decides the format.
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull() || image.width() <= 2 || image.height() <= 2) {
        showText(failureText);
        return true;
    }
    m_edit->clear();
    QTextDocument *document = m_edit->document();
    document->addResource(QTextDocument::ImageResource, kPictureUrl, image);
    QTextImageFormat format;
    format.setName(kPictureUrl.toString());
    // A picture wider than the pane (a rendered PDF page) is shrunk to the
    // pane's width. When it is still taller than the pane, the vertical
    // scroll bar takes its share of that width, or a horizontal one appears.
    const QRect area = m_edit->contentsRect();
    const qreal margins = 2 * document->documentMargin() + kPictureSlack;
    qreal room = area.width() - margins;
    if (image.width() > room) {
        if (image.height() * room / image.width() > area.height() - margins)
            room -= m_edit->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_edit);
        room = qMax(qreal(1), room);
        format.setWidth(room);
        format.setHeight(image.height() * room / image.width());
    }
    m_edit->textCursor().insertImage(format);
    return true;
}

void PreviewPane::showRecord(vexlo::IFileRecoveryParse *engine,
                             const vexlo::FoundFileRecord &record)
{
    if (record.is_folder != 0) {
        showText(message("MSG0904"));
        return;
    }
    // The player of an earlier preview may hold "tmp.avi" open.
    m_player->endPlayers();
    PreviewHolder holder;
    CPreviewProcessWnd progress(window(), engine, record, &holder);
    if (progress.exec() != CPreviewProcessWnd::Finished)
        return;
    showResult(holder);
}

void PreviewPane::showResult(PreviewHolder &holder)
{
    const QString path = QString::fromStdString(holder.temporaryPath);
    if (holder.isMedia && !path.isEmpty()) {
        if (holder.isAudio)
            m_player->playAudio(path);
        else
            m_player->playVideo(path);
        return;
    }
    if (!path.isEmpty()) {
        m_currentFile = path;
        if (holder.converter)
            showDocument(holder, path);
        else
            showPicture(path, message("MSG0905"));
        return;
    }
    m_currentFile.clear();
    showRawText(QByteArray::fromRawData(reinterpret_cast<const char *>(holder.raw.data()),
                                        qsizetype(holder.count)));
}

void PreviewPane::showDocument(PreviewHolder &holder, const QString &path)
{
    QString text;
    const bool converted = holder.converter->Convert(path, &text).ok();
    holder.converter.reset();
    if (!converted) {
        showRawText(ReadFileHead(path, kFallbackBytes));
        return;
    }
    if (holder.isPdf)
        showPicture(PdfPagePicture(path), message("MSG0905"));
    else
        showText(text);
}
