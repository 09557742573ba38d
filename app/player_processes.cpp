#include "player_processes.h"

namespace {

constexpr int kTerminateWaitMs = 1000;

} // namespace

PlayerProcesses &PlayerProcesses::Instance()
{
    static PlayerProcesses instance;
    return instance;
}

void PlayerProcesses::track(QProcess *player)
{
    m_players.append(player);
}

void PlayerProcesses::endAll()
{
    for (const QPointer<QProcess> &player : std::as_const(m_players)) {
        if (!player || player->state() == QProcess::NotRunning)
            continue;
        player->terminate();
        if (!player->waitForFinished(kTerminateWaitMs)) {
            player->kill();
            player->waitForFinished(kTerminateWaitMs);
        }
    }
    m_players.clear();
}
