#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One running copy per user and lock name: the first copy holds a lock file and
// listens on a local socket; a later copy finds the lock taken, asks the first one to
// show itself and quits. A lock left behind by a crashed copy is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder` holds the lock file and the socket; empty picks the user's runtime folder.
    explicit SingleInstance(const QString& lockName, const QString& folder = QString(),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // True unless another live copy holds the lock. A lock that cannot be created at
    // all counts as none: this copy then runs as the only one.
    bool isFirst() const { return m_first; }

    // From a later copy: asks the running one to show itself. True when the request
    // was delivered within `timeoutMs`.
    bool requestShow(int timeoutMs = 2000);
    // From a later copy: asks the running one to open a project (an absolute path) and
    // show itself. True when the request was delivered within `timeoutMs`.
    bool requestOpen(const QString& path, int timeoutMs = 2000);

    // The executable's file name without folder and without everything from its first
    // ".", first letter kept and the rest lower case ("EDITOR.EXE" gives "Editor").
    static QString LockNameFor(const QString& executablePath);
    // LockNameFor() followed by the display the program shows on ($WAYLAND_DISPLAY,
    // $DISPLAY), so that a start on another seat or in a remote session opens its own
    // window rather than handing its project to one nobody there can see.
    static QString InstanceNameFor(const QString& executablePath);
    // The display part of the name: "-" and the displays in file-name-safe characters;
    // empty when there is neither.
    static QString DisplayKey(const QString& waylandDisplay, const QString& x11Display);
    static QString defaultFolder();

    QString lockFilePath() const
    {
        return m_folder + QLatin1Char('/') + m_name + QStringLiteral(".lock");
    }
    QString socketPath() const
    {
        return m_folder + QLatin1Char('/') + m_name + QStringLiteral(".socket");
    }

signals:
    // The first copy was asked to show itself.
    void showRequested();
    // The first copy was asked to open a project.
    void openRequested(const QString& path);

private:
    void acquire();
    void listen();
    bool send(const QByteArray& request, int timeoutMs);

    QString m_name;
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    bool m_first = true;
};
