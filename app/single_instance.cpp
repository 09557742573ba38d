#include "single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

constexpr int kAnswerWaitMs = 2000;
constexpr char kRaiseRequest[] = "raise\n";

} // namespace

SingleInstance::SingleInstance(const QString &folder, QObject *parent)
    : QObject(parent)
    , m_lockPath(QDir(folder).filePath(QStringLiteral("vexlo-sd-recovery.lock")))
    , m_socketPath(QDir(folder).filePath(QStringLiteral("vexlo-sd-recovery.socket")))
{
}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close();
        QLocalServer::removeServer(m_socketPath);
    }
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

bool SingleInstance::acquire()
{
    if (m_lockFd >= 0)
        return true;
    const QByteArray path = QFile::encodeName(m_lockPath);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // without a lock file, running twice beats not running
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_lockFd = fd;
    return true;
}

bool SingleInstance::listen()
{
    if (m_server)
        return true;
    // We hold the lock, so a socket file left here belongs to a copy that
    // crashed.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().contains("raise"))
                    emit raiseRequested();
                client->write("ok\n");
                client->flush();
                client->disconnectFromServer();
            });
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    return m_server->listen(m_socketPath);
}

bool SingleInstance::askRunningToRaise() const
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(kAnswerWaitMs))
        return false;
    socket.write(kRaiseRequest);
    if (!socket.waitForBytesWritten(kAnswerWaitMs))
        return false;
    return socket.waitForReadyRead(kAnswerWaitMs) && socket.readAll().startsWith("ok");
}
