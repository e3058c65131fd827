#pragma once

#include "document/projectfile.h"

class QWidget;
class TClipForm;

// Loading a project in the editor: message boxes, the busy cursor, and the thumbnail
// dialog driven without the user to take movie frames again.
class EditorLoadHost : public ProjectLoadHost {
public:
    EditorLoadHost(TClipForm* clipForm, QWidget* window) : m_clipForm(clipForm), m_window(window) {}
    ~EditorLoadHost() override; // restores a busy cursor the load left behind
    EditorLoadHost(const EditorLoadHost&) = delete;
    EditorLoadHost& operator=(const EditorLoadHost&) = delete;

    void showError(const std::string& message) override;
    void showInformation(const std::string& message) override;
    void beginBusy() override;
    void endBusy() override;
    void processEvents() override;
    void retakeMovieFrame(MenuDocument& doc, int n) override;

private:
    TClipForm* m_clipForm;
    QWidget* m_window;
    int m_busy = 0;
};
