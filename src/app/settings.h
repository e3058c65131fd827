#pragma once

#include <QString>

#include <functional>
#include <memory>

class QSettings;

// The values kept between runs, all stored as strings.
struct EditorSettings {
    int MainWidth = 0;  // taken only when greater than 0
    int MainHeight = 0; // taken only when greater than 0
    bool MainMaximized = false;
    QString LastClipDir;
    QString LastSaveImageDir;
    QString LastFileDir;
    QString LastSaveImageType; // "bmp", "gif", "jpg" or "png"; anything else is BMP
    int VideoMode = 0;         // 0..3
    QString CustomColors;
};

// The per-user store: INI format, organisation "Orvane", application "Tavrel Lite".
std::unique_ptr<QSettings> OpenSettingsStore();

// Reads the values; missing or malformed ones give their defaults. A value that is
// not a single string is passed to `report` as "Invalid data type for '<name>'" and
// also gives its default.
EditorSettings ReadSettings(QSettings& store, const std::function<void(const QString&)>& report);

// Writes the values and flushes them. Throws std::runtime_error "Failed to create
// key <file>" when the store's folder cannot be made, else "Failed to set data for '<value>'".
void WriteSettings(QSettings& store, const EditorSettings& values);
