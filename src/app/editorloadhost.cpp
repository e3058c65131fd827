#include "editorloadhost.h"

#include "dialogcursor.h"
#include "messages.h"
#include "thumbs/clipform.h"

#include <QApplication>

EditorLoadHost::~EditorLoadHost()
{
    while (m_busy > 0)
        endBusy();
}

void EditorLoadHost::showError(const std::string& message)
{
    ShowMessage(MessageKind::Error, QString::fromStdString(message), m_window);
}

void EditorLoadHost::showInformation(const std::string& message)
{
    ShowMessage(MessageKind::Information, QString::fromStdString(message), m_window);
}

void EditorLoadHost::beginBusy()
{
    KeepArrowOverDialogs(); // the load's messages show the normal arrow
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++m_busy;
}

void EditorLoadHost::endBusy()
{
    if (m_busy > 0) {
        --m_busy;
        QApplication::restoreOverrideCursor();
    }
}

void EditorLoadHost::processEvents()
{
    QCoreApplication::processEvents();
}

void EditorLoadHost::retakeMovieFrame(MenuDocument&, int n)
{
    if (!m_clipForm)
        return;
    m_clipForm->CurrentItem = n;
    m_clipForm->show(); // opens the movie at the stored frame
    m_clipForm->repaint();
    // While the user reads this, the paused movie delivers the frame.
    showInformation("Movie clip #" + std::to_string(n) + " loaded");
    m_clipForm->OKBtnClick();
    m_clipForm->close();
    processEvents();
}
