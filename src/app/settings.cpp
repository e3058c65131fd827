#include "settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

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
    const int mode = readInteger(store, QStringLiteral("VideoMode"), report).value_or(0);
    s.VideoMode = (mode >= 0 && mode <= 3) ? mode : 0;
    s.CustomColors = readString(store, QStringLiteral("CustomColors"), report).value_or(QString());
    return s;
}

void WriteSettings(QSettings& store, const EditorSettings& values)
{
    store.setValue(QStringLiteral("MainWidth"), QString::number(values.MainWidth));
    store.setValue(QStringLiteral("MainHeight"), QString::number(values.MainHeight));
    store.setValue(QStringLiteral("MainMaximized"),
                   values.MainMaximized ? QStringLiteral("1") : QStringLiteral("0"));
    store.setValue(QStringLiteral("LastClipDir"), values.LastClipDir);
    store.setValue(QStringLiteral("LastSaveImageDir"), values.LastSaveImageDir);
    store.setValue(QStringLiteral("LastFileDir"), values.LastFileDir);
    store.setValue(QStringLiteral("LastSaveImageType"), values.LastSaveImageType);
    store.setValue(QStringLiteral("VideoMode"), QString::number(values.VideoMode));
    store.setValue(QStringLiteral("CustomColors"), values.CustomColors);
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
