// The external players this program started.
//
// At exit only these are ended, by their own process ids: ending every
// process of a player's name would also close the user's own players.
#pragma once

#include <QList>
#include <QPointer>
#include <QProcess>

class PlayerProcesses
{
public:
    static PlayerProcesses &Instance();

    // Remembers a player started by the program; it must outlive nothing
    // else (a finished process may be deleted at any time).
    void track(QProcess *player);

    // Ends every tracked player that still runs.
    void endAll();

private:
    QList<QPointer<QProcess>> m_players;
};
