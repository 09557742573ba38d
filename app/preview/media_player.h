// Hands a previewed sound or video file to an external player.
//
// Video goes to the first of mpv, mplayer and ffplay that is installed; the
// player's output is watched until it prints a "%" (it reports playback
// progress), and a player that ends without ever doing so has not played the
// file: the failure is reported through `notPlayed` (the pane shows MSG1207).
// Sound goes to mpv without a window, else to the desktop's default
// application. Every player started here is tracked by PlayerProcesses, so
// that the next preview ends it (and no process the user started).
// Everything runs in the user-interface thread, driven by QProcess signals.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct PlayerCommand
{
    QString program;
    QStringList arguments; // the file's path is appended
};

class MediaPlayer : public QObject
{
    Q_OBJECT

public:
    explicit MediaPlayer(QObject *parent = nullptr);

    // Ends every player this program started (ours and any other tracked).
    void endPlayers();

    void playVideo(const QString &path);
    void playAudio(const QString &path);

    // Replaces the installed players (video and sound alike); nullopt
    // restores them. For tests.
    static void SetPlayerForTesting(std::optional<PlayerCommand> player);

signals:
    void notPlayed();

private:
    bool start(const PlayerCommand &command, const QString &path, bool watch);
};
