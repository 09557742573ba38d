// The preview pane of the main window: shows one found file.
//
// showRecord() previews a record of `engine`: a folder shows MSG0904; any
// other record is extracted while CPreviewProcessWnd runs modally, and then
// shown by its kind:
//   - sound and video go to the external player (MediaPlayer); a video the
//     player never plays shows MSG1207 in an information box;
//   - a PDF shows its first page as a picture, other documents and archives
//     the text of their converter; when the converter fails (or its tool is
//     missing) the file's first 8,192 bytes as raw text;
//   - a picture is decoded by Qt (by content, not by name); one that cannot
//     be decoded shows MSG0905;
//   - anything else shows the first bytes the engine placed in memory as raw
//     text (raw_text.h).
// Each preview first ends the players that earlier previews started. A
// cancelled extraction shows nothing. Texts come from the "Messages" section
// of the language catalogue. The rich-text control inside is "PreviewEdit".
#pragma once

#include <QString>
#include <QWidget>

#include "engine/file_recovery_parse.h"
#include "engine/found_file_record.h"

class QTextEdit;
class MediaPlayer;
struct PreviewHolder;

class PreviewPane : public QWidget
{
    Q_OBJECT

public:
    explicit PreviewPane(QWidget *parent = nullptr);
    ~PreviewPane() override;

    void showRecord(vexlo::IFileRecoveryParse *engine, const vexlo::FoundFileRecord &record);
    void clear();

    // The file the last picture or document preview was written to (empty
    // for the other kinds).
    QString currentPreviewFile() const { return m_currentFile; }

    QTextEdit *edit() const { return m_edit; }

    // The raw view: replaces the pane's content with RawText(bytes).
    void showRawText(const QByteArray &bytes);
    // The picture view: false when the file does not exist (the pane stays as
    // it was); a file that does not decode shows `failureText`.
    bool showPicture(const QString &path, const QString &failureText);

private:
    void showResult(PreviewHolder &holder);
    void showDocument(PreviewHolder &holder, const QString &path);
    void showText(const QString &text);
    QString message(const char *key) const;

    QTextEdit *m_edit;
    MediaPlayer *m_player;
    QString m_currentFile;
};
