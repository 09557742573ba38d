// The preview pane of the main window: shows one found file.
//
// showRecord() previews a record of `engine`: a folder shows MSG0904; sound
// and video show a line that says how to play them and a Play button (they
// are not read until it is pressed: a player that starts by itself while the
// user only moves through the list surprises, and sound cannot be seen);
// any other record is extracted while CPreviewProcessWnd runs (it appears
// only when the extraction takes longer than kProgressDelayMs), and then
// shown by its kind:
//   - a PDF shows its first page as a picture, other documents and archives
//     the text of their converter; when the converter fails (or its tool is
//     missing) the file's first 8,192 bytes as raw text;
//   - a picture is decoded by Qt (by content, not by name) and shown whole,
//     scaled down to fit the pane's width and height, again whenever the
//     pane changes size; one that cannot be decoded shows MSG0905;
//   - anything else shows the first bytes the engine placed in memory as raw
//     text (raw_text.h).
// Play asks the owner for the record's engine (playRequested), which calls
// play(): the file is extracted the same way and handed to the external
// player (MediaPlayer), whose window opens centred on the main window; Stop
// ends it. A video the player never plays shows MSG1207 in an information
// box. Each preview first ends the players that earlier previews started. A
// cancelled extraction shows nothing. Texts come from the "Messages" section
// of the language catalogue; the buttons' captions from the main window's
// section. The rich-text control inside is "PreviewEdit".
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include "engine/file_recovery_parse.h"
#include "engine/found_file_record.h"

class QLabel;
class QPushButton;
class QTextEdit;
class MediaPlayer;
struct PreviewHolder;

class PreviewPane : public QWidget
{
    Q_OBJECT

public:
    // The progress window stays hidden for extractions quicker than this.
    static constexpr int kProgressDelayMs = 300;

    explicit PreviewPane(QWidget *parent = nullptr);
    ~PreviewPane() override;

    void showRecord(vexlo::IFileRecoveryParse *engine, const vexlo::FoundFileRecord &record);
    // Extracts a sound or video record and starts its player.
    void play(vexlo::IFileRecoveryParse *engine, const vexlo::FoundFileRecord &record);
    void clear();

    // The file the last picture or document preview was written to (empty
    // for the other kinds).
    QString currentPreviewFile() const { return m_currentFile; }

    QTextEdit *edit() const { return m_edit; }
    QPushButton *playButton() const { return m_play; }
    QPushButton *stopButton() const { return m_stop; }
    // The size the shown picture is drawn at (empty when none is shown).
    QSize pictureSize() const;

    // The raw view: replaces the pane's content with RawText(bytes).
    void showRawText(const QByteArray &bytes);
    // The picture view: false when the file does not exist (the pane stays as
    // it was); a file that does not decode shows `failureText`.
    bool showPicture(const QString &path, const QString &failureText);

signals:
    // Play was pressed for this sound or video record.
    void playRequested(const vexlo::FoundFileRecord &record);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Runs the extraction; false when it was cancelled.
    bool extract(vexlo::IFileRecoveryParse *engine, const vexlo::FoundFileRecord &record,
                 PreviewHolder &holder);
    void showResult(PreviewHolder &holder);
    void showDocument(PreviewHolder &holder, const QString &path);
    void showText(const QString &text);
    void showMediaPrompt(const vexlo::FoundFileRecord &record, bool audio);
    // Draws m_picture at the largest size that fits the pane.
    void fitPicture();
    void updatePlayerButtons();
    QString message(const char *key) const;

    QWidget *m_mediaBar;
    QLabel *m_mediaName;
    QPushButton *m_play;
    QPushButton *m_stop;
    QTextEdit *m_edit;
    MediaPlayer *m_player;
    QString m_currentFile;
    QImage m_picture; // the picture shown, kept to fit it again
    vexlo::FoundFileRecord m_media; // the sound or video Play plays
};
