// The main window's edit history, modified state and recent projects.
#include "mainwindow.h"

#include "widgets/messages.h"
#include "windowmenus.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QSettings>

namespace {

constexpr int kRecentLabelWidth = 480; // pixels

} // namespace

void TForm1::documentChanged()
{
    if (m_loading || !m_history.record(m_doc))
        return;
    updateEditActions();
    updateCaption();
}

void TForm1::updateEditActions()
{
    m_menus->undoAction()->setEnabled(m_history.canUndo());
    m_menus->redoAction()->setEnabled(m_history.canRedo());
    // Named after what they take back: "Undo Title".
    const auto caption = [](const char* command, const std::string& name) {
        QString text = QString::fromLatin1(command);
        if (!name.empty())
            text += QLatin1Char(' ') + QString::fromStdString(name);
        return text;
    };
    m_menus->undoAction()->setText(caption("&Undo", m_history.undoName()));
    m_menus->redoAction()->setText(caption("&Redo", m_history.redoName()));
}

void TForm1::Undo1Click()
{
    guarded([&] { m_history.undo(m_doc); });
    updateEditActions();
    updateCaption();
}

void TForm1::Redo1Click()
{
    guarded([&] { m_history.redo(m_doc); });
    updateEditActions();
    updateCaption();
}

void TForm1::openProjectAsking(const QString& path)
{
    if (!maybeSave())
        return;
    LastFileDir = QFileInfo(path).absolutePath() + QLatin1Char('/');
    openProject(path);
}

void TForm1::rememberRecent(const QString& path)
{
    m_recent.add(QFileInfo(path).absoluteFilePath());
    storeRecent();
}

void TForm1::storeRecent()
{
    // The list is kept at once, so a second window or a crash does not lose it.
    guarded([&] { m_recent.write(*OpenSettingsStore()); });
    rebuildRecentMenu();
}

void TForm1::rebuildRecentMenu()
{
    QMenu* recent = m_menus->recentMenu();
    recent->clear();
    bool anyMissing = false;
    int n = 0;
    for (const QString& path : m_recent.files()) {
        ++n;
        // Long paths lose their middle, never the file name; the tip holds the whole path.
        QString label = recent->fontMetrics().elidedText(QDir::toNativeSeparators(path),
                                                         Qt::ElideMiddle, kRecentLabelWidth);
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = recent->addAction(QStringLiteral("&%1 %2").arg(n).arg(label));
        action->setToolTip(QDir::toNativeSeparators(path));
        if (!QFileInfo(path).isFile()) {
            anyMissing = true;
            action->setEnabled(false);
            action->setToolTip(QDir::toNativeSeparators(path) + QStringLiteral(" (not found)"));
        }
        connect(action, &QAction::triggered, this, [this, path] { openProjectAsking(path); });
    }
    if (n > 0)
        recent->addSeparator();
    QAction* removeMissing = recent->addAction(QStringLiteral("Remove &missing projects"));
    removeMissing->setObjectName(QStringLiteral("RecentRemoveMissing"));
    removeMissing->setEnabled(anyMissing);
    connect(removeMissing, &QAction::triggered, this, [this] {
        m_recent.removeMissing();
        storeRecent();
    });
    QAction* clear = recent->addAction(QStringLiteral("&Clear list"));
    clear->setObjectName(QStringLiteral("RecentClear"));
    clear->setEnabled(n > 0);
    connect(clear, &QAction::triggered, this, [this] {
        m_recent.clear();
        storeRecent();
    });
}
