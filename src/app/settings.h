#pragma once

#include <QString>

#include <functional>
#include <memory>

class QSettings;

#include <QHash>
#include <QVariant>

// The image size a first start (or an unreadable setting) gives: a DVD size, as a disc
// is what most menus are made for.
inline constexpr int kDefaultVideoMode = 2;

// The values kept between runs, all stored as strings.
struct EditorSettings {
    int MainWidth = 0;  // taken only when greater than 0
    int MainHeight = 0; // taken only when greater than 0
    bool MainMaximized = false;
    QString LastClipDir;
    QString LastSaveImageDir;
    QString LastFileDir;
    QString LastSaveImageType;         // "bmp", "gif", "jpg" or "png"; anything else is BMP
    int VideoMode = kDefaultVideoMode; // 0..3
    QString CustomColors;
};

// The per-user store: INI format, organisation "Orvane", application "Tavrel Lite".
std::unique_ptr<QSettings> OpenSettingsStore();

// Reads the values; missing or malformed ones give their defaults. A value that is
// not a single string is passed to `report` as "Invalid data type for '<name>'" and
// also gives its default.
EditorSettings ReadSettings(QSettings& store, const std::function<void(const QString&)>& report);

// The stored values as they were read, by name; missing ones are absent.
using StoredSettings = QHash<QString, QVariant>;
StoredSettings ReadStoredSettings(QSettings& store);

// Writes the values and flushes them. Given what was stored when this editor read it,
// only a value that differs from that is written, so that another editor's changes
// meanwhile to values this one left alone survive. Throws std::runtime_error "Failed to
// create key <file>" when the store's folder cannot be made, else "Failed to set data
// for '<value>'".
void WriteSettings(QSettings& store, const EditorSettings& values,
                   const StoredSettings* readBefore = nullptr);
