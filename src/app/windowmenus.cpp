#include "windowmenus.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

namespace {

QAction* addAction(QMenu* menu, const char* name, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

QMenu* addMenu(QMenuBar* bar, const char* name, const QString& caption)
{
    QMenu* menu = bar->addMenu(caption);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

} // namespace

WindowMenus::WindowMenus(QMenuBar* bar, const std::array<QString, 4>& captions, QObject* parent)
    : QObject(parent)
{
    buildFileMenu(bar, captions);

    EditMenu = addMenu(bar, "EditMenu", QStringLiteral("&Edit"));
    Undo1 = addAction(EditMenu, "Undo1", QStringLiteral("&Undo"));
    Undo1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    Redo1 = addAction(EditMenu, "Redo1", QStringLiteral("&Redo"));
    Redo1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    Undo1->setEnabled(false);
    Redo1->setEnabled(false);

    Help1 = addMenu(bar, "Help1", QStringLiteral("&Help"));
    Contents1 = addAction(Help1, "Contents1", QStringLiteral("&Contents..."));
    Contents1->setShortcut(QKeySequence(Qt::Key_F1));
    About1 = addAction(Help1, "About1", QStringLiteral("&About..."));

    for (QMenu* menu : {File1, Recent1, EditMenu, Imagesize1, Help1})
        menu->installEventFilter(this);
}

void WindowMenus::buildFileMenu(QMenuBar* bar, const std::array<QString, 4>& captions)
{
    File1 = addMenu(bar, "File1", QStringLiteral("&File"));
    New1 = addAction(File1, "New1", QStringLiteral("&New"));
    New1->setShortcut(QKeySequence::New);
    Open1 = addAction(File1, "Open1", QStringLiteral("&Open..."));
    Open1->setShortcut(QKeySequence::Open);
    Recent1 = File1->addMenu(QStringLiteral("&Recent"));
    Recent1->setObjectName(QStringLiteral("Recent1"));
    Save1 = addAction(File1, "Save1", QStringLiteral("&Save"));
    Save1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    SaveAs1 = addAction(File1, "SaveAs1", QStringLiteral("Save &as..."));
    SaveAs1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    File1->addSeparator();
    Imagesize1 = File1->addMenu(QStringLiteral("&Image size"));
    Imagesize1->setObjectName(QStringLiteral("Imagesize1"));
    presetGroup = new QActionGroup(this);
    presetGroup->setExclusive(true);
    static const char* const presetNames[4] = {"VCDNTSC", "VCDPAL", "DVDNTSC", "DVDPAL"};
    for (int mode = 0; mode < 4; ++mode) {
        const auto i = static_cast<std::size_t>(mode);
        QAction* action = addAction(Imagesize1, presetNames[mode], captions[i]);
        action->setCheckable(true);
        presetGroup->addAction(action);
        presetActions[i] = action;
        connect(action, &QAction::triggered, this, [this, mode] { emit presetChosen(mode); });
    }
    ImageSave = addAction(File1, "ImageSave", QStringLiteral("&Export to image file..."));
    ImageSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    DiscMenuSave = addAction(File1, "DiscMenuSave", QStringLiteral("Export &disc menu..."));
    MakeDvd1 = addAction(File1, "MakeDvd1", QStringLiteral("&Make DVD..."));
    BurnImage1 = addAction(File1, "BurnImage1", QStringLiteral("&Burn disc image..."));
    File1->addSeparator();
    Exit1 = addAction(File1, "Exit1", QStringLiteral("E&xit"));
    Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

bool WindowMenus::eventFilter(QObject* watched, QEvent* event)
{
    if (!qobject_cast<QMenu*>(watched) ||
        (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress))
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
        return QObject::eventFilter(watched, event);
    event->accept(); // keeps the contents shortcut from firing
    if (event->type() == QEvent::KeyPress) {
        for (QMenu* menu : {Imagesize1, Recent1, File1, EditMenu, Help1})
            menu->hide();
        emit menuHelpRequested();
    }
    return true;
}
