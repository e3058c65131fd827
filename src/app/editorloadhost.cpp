#include "editorloadhost.h"

#include "base/fileio.h"
#include "widgets/clipform.h"
#include "widgets/dialogcursor.h"
#include "widgets/messages.h"

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>

#include <utility>

EditorLoadHost::~EditorLoadHost()
{
    while (m_busy > 0)
        endBusy();
}

void EditorLoadHost::showError(const std::string& message)
{
    // No hourglass over a box that waits for the user.
    const int busy = m_busy;
    while (m_busy > 0)
        endBusy();
    ShowMessage(MessageKind::Error, QString::fromStdString(message), m_window);
    while (m_busy < busy)
        beginBusy();
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

bool EditorLoadHost::retakeMovieFrame(MenuDocument& doc, int n, std::string& failure)
{
    if (!m_clipForm)
        return false;
    // The dialog's own boxes become the load's summary.
    QString said;
    auto showMessage =
        std::exchange(m_clipForm->showMessage, [&said](QMessageBox::Icon, const QString&,
                                                       const QString& text) { said = text; });
    m_clipForm->CurrentItem = n;
    m_clipForm->show();       // opens the movie at the stored frame
    m_clipForm->OKBtnClick(); // waits (bounded) for that frame
    m_clipForm->close();
    m_clipForm->showMessage = std::move(showMessage);
    processEvents();
    const ThumbnailSource& source = doc.item(n).source;
    if (!said.isEmpty()) {
        failure = said.toStdString();
        return false;
    }
    if (source.ThumbnailImage.isEmpty()) {
        failure = "Cannot take frame " + std::to_string(source.menuframe) + " of movie " +
                  FileNameOf(source.menuclip) + ".";
        return false;
    }
    return true;
}

std::vector<std::string> EditorLoadHost::searchFolders() const
{
    if (m_lastClipDir.isEmpty())
        return {};
    return {m_lastClipDir.toStdString()};
}

void EditorLoadHost::reportLoad(const LoadReport& report)
{
    const QString text = QString::fromStdString(LoadSummaryText(report));
    if (text.isEmpty())
        return;
    auto* window = qobject_cast<QMainWindow*>(m_window);
    if (report.hasProblems() || !window) {
        showError(text.toStdString());
        return;
    }
    window->statusBar()->showMessage(text);
}
