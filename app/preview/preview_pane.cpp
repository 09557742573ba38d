#include "preview/preview_pane.h"

#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTextBlock>
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

// Room left around a picture inside the pane, in pixels.
constexpr int kPictureMargin = 4;

} // namespace

PreviewPane::PreviewPane(QWidget *parent)
    : QWidget(parent)
    , m_mediaBar(new QWidget(this))
    , m_mediaName(new QLabel(m_mediaBar))
    , m_play(new QPushButton(m_mediaBar))
    , m_stop(new QPushButton(m_mediaBar))
    , m_edit(new QTextEdit(this))
    , m_player(new MediaPlayer(this))
    , m_media(vexlo::EmptyRecord())
{
    m_edit->setObjectName(QStringLiteral("PreviewEdit"));
    m_edit->setReadOnly(true);
    m_edit->setLineWrapMode(QTextEdit::NoWrap);
    // Archive listings are columns and raw views are bytes: both line up only
    // in a fixed-pitch font.
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_edit->document()->setDocumentMargin(kPictureMargin);
    m_edit->viewport()->installEventFilter(this);

    m_play->setObjectName(QStringLiteral("BtnPlay"));
    m_stop->setObjectName(QStringLiteral("BtnStop"));
    m_play->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    m_stop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    auto *bar = new QHBoxLayout(m_mediaBar);
    bar->setContentsMargins(0, 0, 0, 4);
    bar->addWidget(m_mediaName, 1);
    bar->addWidget(m_play);
    bar->addWidget(m_stop);
    m_mediaBar->hide();
    m_stop->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_mediaBar);
    layout->addWidget(m_edit);
    connect(m_player, &MediaPlayer::notPlayed, this,
            [this] { CMessageBox::Show(CMessageBox::Information, window(), message("MSG1207")); });
    connect(m_player, &MediaPlayer::playingChanged, this, &PreviewPane::updatePlayerButtons);
    connect(m_play, &QPushButton::clicked, this, [this] { emit playRequested(m_media); });
    connect(m_stop, &QPushButton::clicked, m_player, &MediaPlayer::endPlayers);
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
    m_picture = QImage();
    m_media = vexlo::EmptyRecord();
    m_mediaBar->hide();
    m_edit->clear();
}

void PreviewPane::showText(const QString &text)
{
    m_picture = QImage();
    m_edit->clear();
    m_edit->setLineWrapMode(QTextEdit::NoWrap);
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
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull() || image.width() <= 2 || image.height() <= 2) {
        showText(failureText);
        return true;
    }
    m_picture = image;
    fitPicture();
    return true;
}

void PreviewPane::fitPicture()
{
    if (m_picture.isNull())
        return;
    // The whole picture in sight, never larger than it is: no scroll bar.
    const QSize room = m_edit->viewport()->size() - QSize(4 * kPictureMargin, 4 * kPictureMargin);
    QSize shown = m_picture.size();
    if (shown.width() > room.width() || shown.height() > room.height())
        shown.scale(room.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
    shown = shown.expandedTo(QSize(1, 1));
    // Scaled here, smoothly: the text control would draw it pixelated. The
    // lines take the pane's width, so that the picture can stand centred.
    m_edit->clear();
    m_edit->setLineWrapMode(QTextEdit::WidgetWidth);
    m_edit->document()->addResource(
            QTextDocument::ImageResource, kPictureUrl,
            shown == m_picture.size()
                    ? m_picture
                    : m_picture.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    QTextImageFormat format;
    format.setName(kPictureUrl.toString());
    format.setWidth(shown.width());
    format.setHeight(shown.height());
    QTextCursor cursor = m_edit->textCursor();
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    cursor.setBlockFormat(centred);
    cursor.insertImage(format);
}

QSize PreviewPane::pictureSize() const
{
    if (m_picture.isNull())
        return {};
    for (QTextBlock block = m_edit->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat()) {
                const QTextImageFormat image = format.toImageFormat();
                return QSizeF(image.width(), image.height()).toSize();
            }
        }
    }
    return {};
}

bool PreviewPane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit->viewport() && event->type() == QEvent::Resize && !m_picture.isNull())
        fitPicture();
    return QWidget::eventFilter(watched, event);
}

void PreviewPane::updatePlayerButtons()
{
    m_stop->setVisible(m_player->isPlaying());
}

void PreviewPane::showMediaPrompt(const vexlo::FoundFileRecord &record, bool audio)
{
    m_media = record;
    const QString name = QString::fromUtf8(record.Name());
    m_mediaName->setText(name);
    m_mediaName->setToolTip(name);
    showText(message(audio ? "MSG0906" : "MSG0907"));
    m_mediaBar->show();
    updatePlayerButtons();
}

bool PreviewPane::extract(vexlo::IFileRecoveryParse *engine, const vexlo::FoundFileRecord &record,
                          PreviewHolder &holder)
{
    CPreviewProcessWnd progress(window(), engine, record, &holder);
    return progress.execShownAfter(kProgressDelayMs) == CPreviewProcessWnd::Finished;
}

void PreviewPane::showRecord(vexlo::IFileRecoveryParse *engine,
                             const vexlo::FoundFileRecord &record)
{
    // Another file is looked at: what played for the last one stops (and
    // lets go of "tmp.avi").
    m_player->endPlayers();
    m_mediaBar->hide();
    if (record.is_folder != 0) {
        showText(message("MSG0904"));
        return;
    }
    bool audio = false;
    if (IsMediaName(record.Name(), &audio)) {
        showMediaPrompt(record, audio);
        return;
    }
    PreviewHolder holder;
    if (extract(engine, record, holder))
        showResult(holder);
}

void PreviewPane::play(vexlo::IFileRecoveryParse *engine, const vexlo::FoundFileRecord &record)
{
    // The player of an earlier preview may hold "tmp.avi" open.
    m_player->endPlayers();
    PreviewHolder holder;
    if (!extract(engine, record, holder))
        return;
    const QString path = QString::fromStdString(holder.temporaryPath);
    if (!holder.isMedia || path.isEmpty())
        return;
    if (holder.isAudio)
        m_player->playAudio(path);
    else
        m_player->playVideo(path, window()->frameGeometry());
}

void PreviewPane::showResult(PreviewHolder &holder)
{
    const QString path = QString::fromStdString(holder.temporaryPath);
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
