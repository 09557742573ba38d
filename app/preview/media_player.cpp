#include "preview/media_player.h"

#include <QProcess>

#include "player_processes.h"
#include "preview/tool_runner.h"

namespace {

std::optional<PlayerCommand> &TestPlayer()
{
    static std::optional<PlayerCommand> player;
    return player;
}

// A 16:9 window of at most this width, smaller on a small main window.
constexpr int kPlayerWidth = 640;

std::optional<PlayerCommand> VideoPlayer(const QRect &area)
{
    if (TestPlayer())
        return TestPlayer();
    const QRect window = PlayerWindowGeometry(area);
    const QString x = QString::number(window.x());
    const QString y = QString::number(window.y());
    const QString width = QString::number(window.width());
    const QString height = QString::number(window.height());
    // Each player is asked for a terminal status line even though its output
    // is a pipe: the "%" in it is how playback is recognised.
    const QList<PlayerCommand> candidates = {
            {QStringLiteral("mpv"),
             {QStringLiteral("--geometry=%1x%2+%3+%4").arg(width, height, x, y),
              QStringLiteral("--term-status-msg=${percent-pos}%")}},
            {QStringLiteral("mplayer"),
             {QStringLiteral("-aspect"), QStringLiteral("16:9"), QStringLiteral("-geometry"),
              x + QLatin1Char(':') + y, QStringLiteral("-x"), width, QStringLiteral("-y"), height}},
            {QStringLiteral("ffplay"),
             {QStringLiteral("-stats"), QStringLiteral("-left"), x, QStringLiteral("-top"), y,
              QStringLiteral("-x"), width, QStringLiteral("-y"), height}},
    };
    for (const PlayerCommand &candidate : candidates) {
        const QString program = FindTool(candidate.program);
        if (!program.isEmpty())
            return PlayerCommand{program, candidate.arguments};
    }
    return std::nullopt;
}

std::optional<PlayerCommand> AudioPlayer()
{
    if (TestPlayer())
        return TestPlayer();
    if (const QString mpv = FindTool(QStringLiteral("mpv")); !mpv.isEmpty())
        return PlayerCommand{mpv, {QStringLiteral("--force-window=no")}};
    if (const QString open = FindTool(QStringLiteral("xdg-open")); !open.isEmpty())
        return PlayerCommand{open, {}};
    return std::nullopt;
}

} // namespace

QRect PlayerWindowGeometry(const QRect &area)
{
    const int width = qMax(1, qMin(kPlayerWidth, area.width() * 4 / 5));
    const QSize size(width, width * 9 / 16);
    QRect window(QPoint(0, 0), size);
    window.moveCenter(area.center());
    return window;
}

MediaPlayer::MediaPlayer(QObject *parent)
    : QObject(parent)
{
}

void MediaPlayer::SetPlayerForTesting(std::optional<PlayerCommand> player)
{
    TestPlayer() = std::move(player);
}

void MediaPlayer::endPlayers()
{
    // A player ended on purpose has not failed to play.
    for (QProcess *player : findChildren<QProcess *>(Qt::FindDirectChildrenOnly)) {
        disconnect(player, &QProcess::finished, this, nullptr);
        connect(player, &QProcess::finished, player, &QObject::deleteLater);
    }
    PlayerProcesses::Instance().endAll();
    emit playingChanged();
}

bool MediaPlayer::isPlaying() const
{
    for (const QProcess *player : findChildren<QProcess *>(Qt::FindDirectChildrenOnly)) {
        if (player->state() != QProcess::NotRunning)
            return true;
    }
    return false;
}

void MediaPlayer::playVideo(const QString &path, const QRect &area)
{
    const std::optional<PlayerCommand> command = VideoPlayer(area);
    if (!command || !start(*command, path, true))
        emit notPlayed();
}

void MediaPlayer::playAudio(const QString &path)
{
    if (const std::optional<PlayerCommand> command = AudioPlayer())
        start(*command, path, false);
}

bool MediaPlayer::start(const PlayerCommand &command, const QString &path, bool watch)
{
    auto *player = new QProcess(this);
    player->setProcessChannelMode(QProcess::MergedChannels);
    player->setStandardInputFile(QProcess::nullDevice());
    // The pipe is drained for the player's whole life rather than closed
    // once it has played: a player writing into a closed pipe is killed.
    auto played = std::make_shared<bool>(!watch);
    connect(player, &QProcess::readyRead, player, [player, played] {
        const QByteArray chunk = player->readAll();
        if (!*played && chunk.contains('%'))
            *played = true;
    });
    connect(player, &QProcess::finished, this, [this, player, played] {
        if (player->readAll().contains('%'))
            *played = true;
        if (!*played)
            emit notPlayed();
        player->deleteLater();
        emit playingChanged();
    });
    player->start(command.program, command.arguments + QStringList{path}, QIODevice::ReadOnly);
    if (!player->waitForStarted()) {
        delete player;
        return false;
    }
    PlayerProcesses::Instance().track(player);
    emit playingChanged();
    return true;
}
