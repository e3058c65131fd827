#include "settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <iterator>
#include <stdexcept>

namespace {

// The stored string, or nothing when the value is missing or not a string.
std::optional<QString> readString(QSettings& store, const QString& name,
                                  const std::function<void(const QString&)>& report)
{
    if (!store.contains(name))
        return std::nullopt;
    const QVariant v = store.value(name);
    if (v.typeId() != QMetaType::QString) {
        if (report)
            report(QStringLiteral("Invalid data type for '%1'").arg(name));
        return std::nullopt;
    }
    return v.toString();
}

std::optional<int> readInteger(QSettings& store, const QString& name,
                               const std::function<void(const QString&)>& report)
{
    const std::optional<QString> text = readString(store, name, report);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const int value = text->toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// In the order the values are written.
const QString kSettingNames[] = {
    QStringLiteral("MainWidth"),         QStringLiteral("MainHeight"),
    QStringLiteral("MainMaximized"),     QStringLiteral("LastClipDir"),
    QStringLiteral("LastSaveImageDir"),  QStringLiteral("LastFileDir"),
    QStringLiteral("LastSaveImageType"), QStringLiteral("VideoMode"),
    QStringLiteral("CustomColors"),
};

} // namespace

std::unique_ptr<QSettings> OpenSettingsStore()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Orvane"), QStringLiteral("Tavrel Lite"));
}

EditorSettings ReadSettings(QSettings& store, const std::function<void(const QString&)>& report)
{
    EditorSettings s;
    s.MainWidth = readInteger(store, QStringLiteral("MainWidth"), report).value_or(0);
    s.MainHeight = readInteger(store, QStringLiteral("MainHeight"), report).value_or(0);
    s.MainMaximized = readInteger(store, QStringLiteral("MainMaximized"), report).value_or(0) != 0;
    s.LastClipDir = readString(store, QStringLiteral("LastClipDir"), report).value_or(QString());
    s.LastSaveImageDir =
        readString(store, QStringLiteral("LastSaveImageDir"), report).value_or(QString());
    s.LastFileDir = readString(store, QStringLiteral("LastFileDir"), report).value_or(QString());
    s.LastSaveImageType =
        readString(store, QStringLiteral("LastSaveImageType"), report).value_or(QString());
    const int mode =
        readInteger(store, QStringLiteral("VideoMode"), report).value_or(kDefaultVideoMode);
    s.VideoMode = (mode >= 0 && mode <= 3) ? mode : kDefaultVideoMode;
    s.CustomColors = readString(store, QStringLiteral("CustomColors"), report).value_or(QString());
    return s;
}

StoredSettings ReadStoredSettings(QSettings& store)
{
    StoredSettings stored;
    for (const QString& name : kSettingNames)
        if (store.contains(name))
            stored.insert(name, store.value(name));
    return stored;
}

void WriteSettings(QSettings& store, const EditorSettings& values, const StoredSettings* readBefore)
{
    const QString texts[] = {
        QString::number(values.MainWidth),
        QString::number(values.MainHeight),
        values.MainMaximized ? QStringLiteral("1") : QStringLiteral("0"),
        values.LastClipDir,
        values.LastSaveImageDir,
        values.LastFileDir,
        values.LastSaveImageType,
        QString::number(values.VideoMode),
        values.CustomColors,
    };
    static_assert(std::size(texts) == std::size(kSettingNames));
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        const QString& name = kSettingNames[i];
        if (readBefore && readBefore->contains(name) && readBefore->value(name) == texts[i])
            continue; // left as read: another editor's value, if any, stays
        store.setValue(name, texts[i]);
    }
    store.sync();
    if (store.status() == QSettings::NoError)
        return;
    // The folder plays the key; when it is there, the values themselves could not be set,
    // and the first of them is the one that failed.
    const QFileInfo file(store.fileName());
    if (!file.absoluteDir().exists())
        throw std::runtime_error("Failed to create key " + store.fileName().toStdString());
    throw std::runtime_error("Failed to set data for 'MainWidth'");
}
