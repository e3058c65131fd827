#pragma once

#include "document/projectfile.h"

#include <QString>

class QWidget;
class TClipForm;

// Loading a project in the editor: the busy cursor, the thumbnail dialog driven without
// the user to take movie frames again, and one summary at the end: a box when a source
// is missing or unreadable, otherwise a line in the status bar.
class EditorLoadHost : public ProjectLoadHost {
public:
    EditorLoadHost(TClipForm* clipForm, QWidget* window, QString lastClipDir = QString())
        : m_clipForm(clipForm), m_window(window), m_lastClipDir(std::move(lastClipDir))
    {
    }
    ~EditorLoadHost() override; // restores a busy cursor the load left behind
    EditorLoadHost(const EditorLoadHost&) = delete;
    EditorLoadHost& operator=(const EditorLoadHost&) = delete;

    void showError(const std::string& message) override;
    void showInformation(const std::string& message) override;
    void beginBusy() override;
    void endBusy() override;
    void processEvents() override;
    bool retakeMovieFrame(MenuDocument& doc, int n, std::string& failure) override;
    std::vector<std::string> searchFolders() const override;
    void reportLoad(const LoadReport& report) override;

private:
    TClipForm* m_clipForm;
    QWidget* m_window;
    QString m_lastClipDir;
    int m_busy = 0;
};
