#include "recentfiles.h"

#include <QFileInfo>
#include <QSettings>

namespace {

QString keyOf(int n)
{
    return QStringLiteral("Recent%1").arg(n);
}

} // namespace

void RecentFiles::add(const QString& path)
{
    m_files.removeAll(path);
    m_files.prepend(path);
    while (m_files.size() > kMax)
        m_files.removeLast();
}

void RecentFiles::remove(const QString& path)
{
    m_files.removeAll(path);
}

bool RecentFiles::removeMissing()
{
    const auto before = m_files.size();
    m_files.removeIf([](const QString& path) { return !QFileInfo(path).isFile(); });
    return m_files.size() != before;
}

void RecentFiles::read(QSettings& store)
{
    m_files.clear();
    for (int n = 1; n <= kMax; ++n) {
        const QVariant value = store.value(keyOf(n));
        if (value.typeId() != QMetaType::QString)
            continue;
        const QString path = value.toString();
        if (!path.isEmpty() && !m_files.contains(path))
            m_files.append(path);
    }
}

void RecentFiles::write(QSettings& store) const
{
    for (int n = 1; n <= kMax; ++n) {
        if (n <= m_files.size())
            store.setValue(keyOf(n), m_files[n - 1]);
        else
            store.remove(keyOf(n));
    }
    store.sync();
}
