// Only one copy of the program runs per user.
//
// The first copy holds an flock on a lock file in the runtime folder for its
// whole life (the system drops it when the process ends, also after a crash)
// and, once its main window exists, listens on a local socket beside it. A
// later copy fails to take the lock, asks the first one over the socket to
// raise its window, and ends.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // `folder` holds the lock file and the socket (the runtime folder).
    explicit SingleInstance(const QString &folder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock; false when another copy holds it.
    bool acquire();

    // Starts answering later copies; call once the main window exists.
    bool listen();

    // From a later copy: asks the running one to raise its window. False
    // when it does not answer (its window does not exist yet).
    bool askRunningToRaise() const;

signals:
    void raiseRequested();

private:
    QString m_lockPath;
    QString m_socketPath;
    int m_lockFd = -1;
    QLocalServer *m_server = nullptr;
};
