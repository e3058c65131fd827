#include "mainwindow.h"

#include "appicon.h"
#include "disc/discbuttons.h"
#include "discexportcommand.h"
#include "itemspage.h"
#include "mainpage.h"
#include "pagecontrol.h"
#include "previewbox.h"
#include "previewpane.h"
#include "render/legibilitycheck.h"
#include "tvmenus.h"
#include "widgets/clipform.h"
#include "widgets/messages.h"
#include "windowmenus.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kDefaultWidth = 800;
constexpr int kDefaultHeight = 570;
constexpr int kLeftPanelWidth = 265;

// A page that scrolls up and down when the window is too low for it (a scaled screen),
// and follows the panel's width.
QScrollArea* scrolling(QWidget* page)
{
    auto* area = new QScrollArea;
    area->setObjectName(page->objectName() + QStringLiteral("Scroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(page);
    area->viewport()->setAutoFillBackground(false);
    page->setAutoFillBackground(false);
    return area;
}

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tavrel Lite 2.00"));
    setWindowIcon(AppIcon());
    resize(kDefaultWidth, kDefaultHeight);
    buildMenus();
    buildLayout();
    buildTvParts();
    buildRemoteWalk();
    connectMenus();
    connectDocument();
    FormCreate();
}

TForm1::~TForm1()
{
    disconnect(m_focusConnection);
}

void StartBlankMenu(MenuDocument& doc)
{
    // Laid out inside title-safe, a new menu starts with nothing a TV would cut off; a
    // project that does not say so keeps the full frame it was made with.
    doc.safelayout = true;
}

void TForm1::attachDialogs(TClipForm* clipForm, TAboutForm* aboutForm)
{
    m_clipForm = clipForm;
    m_aboutForm = aboutForm;
}

PreviewBox* TForm1::previewBox() const
{
    return m_previewPane->box();
}

void TForm1::buildMenus()
{
    std::array<QString, 4> captions;
    // Numbered as --size numbers them, so that a size seen here is the one a script names.
    for (std::size_t mode = 0; mode < captions.size(); ++mode) {
        QString caption = QString::fromLatin1(kVideoModes[mode].caption);
        const qsizetype dot = caption.indexOf(QLatin1String(". "));
        if (dot >= 0)
            caption = QStringLiteral("&%1. ").arg(mode) + caption.mid(dot + 2);
        captions[mode] = caption;
    }
    m_menus = new WindowMenus(menuBar(), captions, this);
}

void TForm1::connectMenus()
{
    const WindowMenus* m = m_menus;
    connect(m->recentMenu(), &QMenu::aboutToShow, this, &TForm1::rebuildRecentMenu);
    connect(m, &WindowMenus::presetChosen, this, &TForm1::selectPreset);
    connect(m, &WindowMenus::menuHelpRequested, this, [this] { ShowHelpContext(300); });
    connect(m->newAction(), &QAction::triggered, this, &TForm1::New1Click);
    connect(m->openAction(), &QAction::triggered, this, &TForm1::Open1Click);
    connect(m->saveAction(), &QAction::triggered, this, &TForm1::Save1Click);
    connect(m->saveAsAction(), &QAction::triggered, this, &TForm1::SaveAs1Click);
    connect(m->undoAction(), &QAction::triggered, this, &TForm1::Undo1Click);
    connect(m->redoAction(), &QAction::triggered, this, &TForm1::Redo1Click);
    connect(m->imageSaveAction(), &QAction::triggered, this, &TForm1::ImageSaveClick);
    connect(m->discMenuSaveAction(), &QAction::triggered, this, [this] {
        if (LastDiscMenuDir.isEmpty())
            LastDiscMenuDir = LastSaveImageDir;
        DiscMenuExportClick(this, m_doc, LastDiscMenuDir);
    });
    connect(m->makeDvdAction(), &QAction::triggered, this, &TForm1::MakeDvdClick);
    connect(m->burnImageAction(), &QAction::triggered, this, &TForm1::BurnImageClick);
    connect(m->exitAction(), &QAction::triggered, this, &TForm1::Exit1Click);
    connect(m->contentsAction(), &QAction::triggered, this, &TForm1::Contents1Click);
    connect(m->aboutAction(), &QAction::triggered, this, &TForm1::About1Click);
}

void TForm1::buildLayout()
{
    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(5);
    Splitter1->setChildrenCollapsible(false);

    LeftPanel = new QWidget;
    LeftPanel->setObjectName(QStringLiteral("LeftPanel"));
    LeftPanel->setMinimumWidth(200);
    auto* left = new QVBoxLayout(LeftPanel);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    left->addWidget(buildPages(), 1);
    left->addWidget(buildButtonStrip());
    buildPreviewPane();

    Splitter1->addWidget(LeftPanel);
    Splitter1->addWidget(m_previewPane);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    // 265 pixels, or what the panel's captions need in a wider system font, beside the
    // scroll bar a low window shows.
    const int captions =
        m_mainPage->captionWidth() + LeftPanel->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int leftWidth = std::max({kLeftPanelWidth, LeftPanel->sizeHint().width(), captions});
    // Narrower, the shadow switch's caption would be cut.
    LeftPanel->setMinimumWidth(std::max(LeftPanel->minimumWidth(), captions));
    Splitter1->setSizes({leftWidth, kDefaultWidth - leftWidth - 5});
    setCentralWidget(Splitter1);
    // There from the start, so that the first confirmation does not shift the panels.
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
}

QWidget* TForm1::buildPages()
{
    PageControl1 = new PageControl;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setMinimumWidth(200);
    m_mainPage = new MainPage(
        m_doc,
        [this](Color from, Color& to, const QString& title) {
            return chooseColor(from, to, title);
        },
        LastClipDir);
    m_itemsPage = new ItemsPage(m_doc);
    PageControl1->addTab(scrolling(m_mainPage), QStringLiteral("Main"));
    PageControl1->addTab(scrolling(m_itemsPage), QStringLiteral("Items"));
    // Ctrl+Tab turns the page wherever the focus is, the preview included.
    for (const auto& [keys, step] :
         {std::pair{QKeySequence::NextChild, 1}, std::pair{QKeySequence::PreviousChild, -1}}) {
        auto* turn = new QShortcut(keys, this);
        connect(turn, &QShortcut::activated, this, [this, step = step] {
            const int pages = PageControl1->count();
            PageControl1->setCurrentIndex((PageControl1->currentIndex() + step + pages) % pages);
        });
    }
    connect(m_itemsPage, &ItemsPage::thumbnailRequested, this, &TForm1::openThumbnailDialog);
    return PageControl1;
}

QWidget* TForm1::buildButtonStrip()
{
    auto* strip = new QWidget;
    strip->setObjectName(QStringLiteral("ButtonPanel"));
    strip->setFixedHeight(43);
    auto* stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(8, 0, 8, 0);
    auto* saveImageBtn = new QPushButton(QStringLiteral("Export to Image File"));
    saveImageBtn->setObjectName(QStringLiteral("SaveImageBtn"));
    stripLayout->addStretch(1);
    stripLayout->addWidget(saveImageBtn);
    stripLayout->addStretch(1);
    connect(saveImageBtn, &QPushButton::clicked, m_menus->imageSaveAction(), &QAction::trigger);
    return strip;
}

// The preview, and drops on it and on the fields that take a file.
void TForm1::buildPreviewPane()
{
    m_previewPane = new PreviewPane(m_doc, ScratchImage);
    PreviewBox* box = m_previewPane->box();
    acceptDropsOn(box);
    acceptDropsOn(m_mainPage->backgroundField());
    for (QWidget* part : m_itemsPage->dropTargets())
        acceptDropsOn(part);
    setAcceptDrops(true); // a project dropped anywhere else
    box->decorate = [this](Picture& picture, const MenuGeometry& geometry) {
        PaintButtonPreview(m_doc, geometry, picture, m_mainPage->buttonPreview());
        m_walk.paint(m_doc, geometry, picture);
    };
    box->onPaintError = [this](const QString& text) {
        if (m_paintErrorPending)
            return;
        m_paintErrorPending = true;
        QTimer::singleShot(0, this, [this, text] {
            ShowErrorBox(text, this);
            m_paintErrorPending = false;
        });
    };
    connect(m_mainPage, &MainPage::buttonPreviewChanged, box, &PreviewBox::Refresh);
    connect(m_previewPane, &PreviewPane::warningChosen, this, &TForm1::selectWarningField);
}

void TForm1::buildRemoteWalk()
{
    auto* walk = m_tvMenus->viewMenu()->addAction(QStringLiteral("&Walk the menu with the remote"));
    walk->setObjectName(QStringLiteral("RemoteWalk1"));
    walk->setCheckable(true);
    walk->setShortcut(QKeySequence(Qt::Key_F6));
    walk->setToolTip(QStringLiteral("The arrow keys move the highlight over the preview as a "
                                    "DVD player's remote will, Enter presses the button"));
    PreviewBox* box = previewBox();
    connect(walk, &QAction::toggled, this, [this, box](bool on) {
        m_walk.setActive(on);
        box->setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
        if (on)
            box->setFocus();
        statusBar()->showMessage(on ? m_walk.describe(m_doc) : QString());
        box->Refresh();
    });
    box->onKey = [this, box](int key) {
        std::vector<DiscButton> buttons;
        try {
            buttons = LayoutDiscButtons(box->fullGeometry());
        } catch (const std::exception&) {
            return false; // the disc would refuse this layout; Make DVD says why
        }
        if (!m_walk.key(key, buttons))
            return false;
        statusBar()->showMessage(m_walk.describe(m_doc));
        box->Refresh();
        return true;
    };
}

void TForm1::buildTvParts()
{
    m_tvMenus = new TvMenus(menuBar(), m_menus->helpMenu(), m_doc, previewBox(), this);
    m_tvMenus->guarded = [this](const std::function<void()>& change) { guarded(change); };
    m_tvMenus->onAspectChanged = [this] { UpdatePreviewBounds(); };
    m_tvMenus->loadSettings();
}

void TForm1::selectWarningField(const LegibilityWarning& warning)
{
    QLineEdit* field = m_mainPage->fieldFor(warning.field);
    if (!warning.hasField)
        field = m_mainPage->backgroundField(); // the picture as a whole: its background
    else if (warning.field == MenuField::Caption)
        if (QLineEdit* caption = m_itemsPage->captionField(warning.item))
            field = caption;
    for (int page = 0; page < PageControl1->count(); ++page)
        if (PageControl1->widget(page)->isAncestorOf(field))
            PageControl1->setCurrentIndex(page);
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

void TForm1::connectDocument()
{
    m_doc.onRefresh = [this] {
        if (m_previewPane->aspectChanged())
            UpdatePreviewBounds(); // the box takes the new display shape
        documentChanged();
        previewBox()->Refresh();
        followDocument();
    };
    m_doc.onMenuStartChanged = [this](int menustart) { m_itemsPage->relabelRows(menustart); };
    m_doc.onVideoModeChanged = [this](int mode) {
        m_menus->presetAction(mode)->setChecked(true);
        UpdatePreviewBounds();
    };
    m_doc.onSyncPanel = [this] { SyncPanel(); };
    m_doc.onFileNameChanged = [this] { updateCaption(); };
}

void TForm1::FormCreate()
{
    m_helpFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/help");
    m_doc.titlesize = 10;
    m_doc.captionsize = 10;
    m_doc.RenderEnabled = false;
    BaseCaption = windowTitle();
    m_normalWidth = width();
    m_normalHeight = height();
    m_doc.setCurrentFileName(std::string());
    StartBlankMenu(m_doc);
    m_tvMenus->sync();
    LoadSettings();
    m_mainPage->fillFontList();
    m_doc.RenderEnabled = true;
    selectPreset(m_doc.VideoMode);
    m_history.reset(m_doc);
    rebuildRecentMenu();
    // Typing in one field is one step until the user moves to another.
    m_focusConnection =
        connect(qApp, &QApplication::focusChanged, this, [this] { m_history.closeStep(); });
    // A slider's drag is one step, whatever values it passes through.
    for (QSlider* slider : LeftPanel->findChildren<QSlider*>()) {
        connect(slider, &QSlider::sliderPressed, this, [this] { m_history.beginDrag(); });
        connect(slider, &QSlider::sliderReleased, this, [this] { m_history.closeStep(); });
    }
    // The window's Undo, Redo and other keys serve the text fields too.
    for (QLineEdit* edit : LeftPanel->findChildren<QLineEdit*>())
        edit->installEventFilter(this);
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        // Queued, so that the window is on screen before the project's messages appear.
        QTimer::singleShot(0, this, &TForm1::FormShow);
    }
}

void TForm1::FormShow()
{
    if (m_arguments.size() == 1)
        openProject(m_arguments.front());
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::FormResize()
{
    if (!isMaximized() && !isMinimized() && !isFullScreen()) {
        m_normalWidth = width();
        m_normalHeight = height();
    }
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // The window manager may report the new size before the new state; the normal
    // geometry is what the window returns to.
    if (event->type() == QEvent::WindowStateChange && isMaximized() && normalGeometry().isValid()) {
        m_normalWidth = normalGeometry().width();
        m_normalHeight = normalGeometry().height();
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    FormCloseQuery();
    QMainWindow::closeEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (handleDropEvent(watched, event))
        return true;
    if (event->type() == QEvent::ShortcutOverride && qobject_cast<QLineEdit*>(watched)) {
        // A text field would take Ctrl+Z for its own undo and Ctrl+E for the end of the
        // line; the window's commands come first.
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo))
            return true; // left unaccepted, so the window's shortcut fires
        for (const QAction* action : findChildren<QAction*>())
            if (action->isEnabled() && action->shortcut() == pressed)
                return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::UpdatePreviewBounds()
{
    m_previewPane->UpdatePreviewBounds();
}

void TForm1::updateCaption()
{
    const QString mark = isModified() ? QStringLiteral("*") : QString();
    const QString name = m_doc.CurrentFileName.empty()
                             ? QStringLiteral("Untitled")
                             : QFileInfo(QString::fromStdString(m_doc.CurrentFileName)).fileName();
    setWindowTitle(BaseCaption + QStringLiteral(" - ") + mark + name);
}

void TForm1::SyncPanel()
{
    if (m_tvMenus)
        m_tvMenus->sync();
    m_mainPage->sync();
    m_itemsPage->sync();
    updateCaption();
    followDocument();
}

void TForm1::followDocument()
{
    m_mainPage->follow();
    m_itemsPage->follow();
}

void TForm1::guarded(const std::function<void()>& command)
{
    RunGuarded(command, this);
}

void TForm1::BGColorBtnClick()
{
    m_mainPage->BGColorBtnClick();
}

void TForm1::TextColorBtnClick()
{
    m_mainPage->TextColorBtnClick();
}

void TForm1::openThumbnailDialog(int item)
{
    if (!m_clipForm || item < 1 || item > kItemCount)
        return;
    m_clipForm->CurrentItem = item;
    if (m_clipForm->exec() == QDialog::Accepted)
        guarded([&] { m_doc.refresh(); });
}

void TForm1::selectPreset(int mode)
{
    guarded([&] { m_doc.selectVideoMode(mode); });
}
