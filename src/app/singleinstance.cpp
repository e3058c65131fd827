#include "singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
// Followed by the path, percent-encoded so that no byte of it can end the line.
const QByteArray kOpenRequest = QByteArrayLiteral("open ");
// A request longer than this is not ours; the connection is dropped.
constexpr qint64 kMaxRequestBytes = 64 * 1024;

bool processAlive(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

} // namespace

SingleInstance::SingleInstance(const QString& lockName, const QString& folder, QObject* parent)
    : QObject(parent), m_name(lockName), m_folder(folder.isEmpty() ? defaultFolder() : folder)
{
    acquire();
    if (m_first)
        listen();
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_lock && m_lock->isLocked())
        m_lock->unlock();
}

QString SingleInstance::LockNameFor(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return QStringLiteral("Tavrel");
    return name.left(1) + name.mid(1).toLower();
}

QString SingleInstance::InstanceNameFor(const QString& executablePath)
{
    return LockNameFor(executablePath) +
           DisplayKey(qEnvironmentVariable("WAYLAND_DISPLAY"), qEnvironmentVariable("DISPLAY"));
}

QString SingleInstance::DisplayKey(const QString& waylandDisplay, const QString& x11Display)
{
    // Displays may be paths ("/run/user/1000/wayland-0") or host names ("remote:10.0");
    // their ends tell them apart, and a socket's path must stay under 108 bytes.
    constexpr qsizetype kMaxPart = 24;
    QString key;
    for (const QString& display : {waylandDisplay, x11Display}) {
        if (display.isEmpty())
            continue;
        key += QLatin1Char('-');
        for (const QChar c : display.right(kMaxPart))
            key += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('.') ||
                           c == QLatin1Char('-')
                       ? c
                       : QLatin1Char('_');
    }
    return key;
}

QString SingleInstance::defaultFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/tavrel-%1").arg(::getuid());
    QDir().mkpath(folder);
    return folder;
}

void SingleInstance::acquire()
{
    m_lock = std::make_unique<QLockFile>(lockFilePath());
    // Never stale by age: only a lock whose owner has died is taken over.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        m_first = true;
        return;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        m_first = true; // no lock can be made here at all
        return;
    }
    qint64 pid = 0;
    QString host;
    QString app;
    if (m_lock->getLockInfo(&pid, &host, &app) && host == QSysInfo::machineHostName() &&
        !processAlive(pid) && m_lock->removeStaleLockFile() && m_lock->tryLock(0)) {
        m_first = true;
        return;
    }
    m_first = false;
}

void SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a crashed copy would make listen() fail.
    QLocalServer::removeServer(socketPath());
    if (!m_server->listen(socketPath()))
        return; // still the only copy; later copies just quit without bringing us forward
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine(kMaxRequestBytes);
                    if (line == kShowRequest) {
                        emit showRequested();
                    } else if (line.startsWith(kOpenRequest) && line.endsWith('\n')) {
                        const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(
                            line.mid(kOpenRequest.size()).chopped(1)));
                        if (!path.isEmpty())
                            emit openRequested(path);
                    }
                }
                if (socket->bytesAvailable() > kMaxRequestBytes)
                    socket->abort();
            });
        }
    });
}

bool SingleInstance::requestShow(int timeoutMs)
{
    return send(kShowRequest, timeoutMs);
}

bool SingleInstance::requestOpen(const QString& path, int timeoutMs)
{
    return send(kOpenRequest + path.toUtf8().toPercentEncoding() + '\n', timeoutMs);
}

bool SingleInstance::send(const QByteArray& request, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(request);
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return written;
}
