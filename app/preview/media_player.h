// Hands a previewed sound or video file to an external player.
//
// Video goes to the first of mpv, mplayer and ffplay that is installed, in a
// window centred on the area it is given (the main window); the player's
// output is watched until it prints a "%" (it reports playback progress),
// and a player that ends without ever doing so has not played the file: the
// failure is reported through `notPlayed` (the pane shows MSG1207).
// Sound goes to mpv without a window, else to the desktop's default
// application. Every player started here is tracked by PlayerProcesses, so
// that the next preview ends it (and no process the user started).
// Everything runs in the user-interface thread, driven by QProcess signals.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct PlayerCommand
{
    QString program;
    QStringList arguments; // the file's path is appended
};

// Where a video player's window goes: a 16:9 window centred on `area`, 640
// pixels wide, or four fifths of the area's width when that is less.
QRect PlayerWindowGeometry(const QRect &area);

class MediaPlayer : public QObject
{
    Q_OBJECT

public:
    explicit MediaPlayer(QObject *parent = nullptr);

    // Ends every player this program started (ours and any other tracked).
    void endPlayers();

    // `area` is the screen rectangle the player's window is centred on.
    void playVideo(const QString &path, const QRect &area);
    void playAudio(const QString &path);
    // Whether a player this object started still runs.
    bool isPlaying() const;

    // Replaces the installed players (video and sound alike); nullopt
    // restores them. For tests.
    static void SetPlayerForTesting(std::optional<PlayerCommand> player);

signals:
    void notPlayed();
    // A player started or ended.
    void playingChanged();

private:
    bool start(const PlayerCommand &command, const QString &path, bool watch);
};
