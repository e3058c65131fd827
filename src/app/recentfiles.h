#pragma once

#include <QStringList>

class QSettings;

// The last projects opened or saved, newest first, each once, at most kMax.
class RecentFiles {
public:
    static constexpr int kMax = 8;

    const QStringList& files() const { return m_files; }
    void add(const QString& path);
    void remove(const QString& path);
    // Drops the files that are no longer there; true when any was dropped.
    bool removeMissing();
    void clear() { m_files.clear(); }

    // Stored as "Recent1".."Recent8"; empty and repeated entries are skipped on reading.
    void read(QSettings& store);
    void write(QSettings& store) const;

private:
    QStringList m_files;
};
