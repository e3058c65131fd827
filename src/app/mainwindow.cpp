#include "mainwindow.h"

#include "appicon.h"
#include "busycursor.h"
#include "colorswatch.h"
#include "discexportcommand.h"
#include "discpanel.h"
#include "headless.h"
#include "messages.h"
#include "numberedit.h"
#include "pagecontrol.h"
#include "previewbox.h"
#include "render/displayaspect.h"
#include "render/previewbounds.h"
#include "thumbs/clipform.h"
#include "tvmenus.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

constexpr int kDefaultWidth = 800;
constexpr int kDefaultHeight = 570;
constexpr int kLeftPanelWidth = 265;
constexpr qint64 kLargePictureBytes = 2 << 20;

QPushButton* pickButton(const char* name, const QString& hint = QString())
{
    auto* button = new QPushButton(QStringLiteral("<"));
    button->setObjectName(QLatin1String(name));
    button->setToolTip(hint);
    button->setFixedWidth(26);
    return button;
}

QLineEdit* textField(const char* name, const QString& text = QString())
{
    auto* edit = new QLineEdit(text);
    edit->setObjectName(QLatin1String(name));
    edit->setMinimumWidth(40);
    return edit;
}

QCheckBox* checkBox(const char* name, const QString& caption, bool checked)
{
    auto* box = new QCheckBox(caption);
    box->setObjectName(QLatin1String(name));
    box->setChecked(checked);
    return box;
}

QSlider* sizeSlider(const char* name)
{
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(QLatin1String(name));
    slider->setRange(5, 15);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(1);
    slider->setValue(10);
    return slider;
}

// The slider with its value beside it.
QWidget* withValue(QSlider* slider, QLabel*& value)
{
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    value = new QLabel(QString::number(slider->value()));
    value->setObjectName(slider->objectName() + QStringLiteral("Value"));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("88")) + 2);
    row->addWidget(slider, 1);
    row->addWidget(value);
    box->setFocusProxy(slider);
    QObject::connect(slider, &QSlider::valueChanged, value, [value](int v) { value->setNum(v); });
    return box;
}

const QString kDefaultFaceEntry = QStringLiteral("(Default face)");

// The list's entry of a face; the first entry stands for none.
int fontIndex(const QComboBox* list, const std::string& face)
{
    if (face.empty())
        return 0;
    const int index = list->findText(QString::fromStdString(face), Qt::MatchFixedString);
    return index > 0 ? index : 0;
}

void chainTabOrder(const std::vector<QWidget*>& widgets)
{
    for (std::size_t i = 1; i < widgets.size(); ++i)
        QWidget::setTabOrder(widgets[i - 1], widgets[i]);
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
    connectDocument();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::attachDialogs(TClipForm* clipForm, TAboutForm* aboutForm)
{
    m_clipForm = clipForm;
    m_aboutForm = aboutForm;
}

void TForm1::buildMenus()
{
    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    const auto addAction = [](QMenu* menu, const char* name, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    New1 = addAction(File1, "New1", QStringLiteral("&New"));
    New1->setShortcut(QKeySequence::New);
    Open1 = addAction(File1, "Open1", QStringLiteral("&Open..."));
    Open1->setShortcut(QKeySequence::Open);
    Recent1 = File1->addMenu(QStringLiteral("&Recent"));
    Recent1->setObjectName(QStringLiteral("Recent1"));
    connect(Recent1, &QMenu::aboutToShow, this, &TForm1::rebuildRecentMenu);
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
        QAction* action =
            addAction(Imagesize1, presetNames[mode],
                      QString::fromLatin1(kVideoModes[static_cast<std::size_t>(mode)].caption));
        action->setCheckable(true);
        presetGroup->addAction(action);
        presetActions[static_cast<std::size_t>(mode)] = action;
        connect(action, &QAction::triggered, this, [this, mode] { selectPreset(mode); });
    }
    ImageSave = addAction(File1, "ImageSave", QStringLiteral("&Export to image file..."));
    ImageSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    DiscMenuSave = addAction(File1, "DiscMenuSave", QStringLiteral("Export &disc menu..."));
    File1->addSeparator();
    Exit1 = addAction(File1, "Exit1", QStringLiteral("E&xit"));
    Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    EditMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    Undo1 = addAction(EditMenu, "Undo1", QStringLiteral("&Undo"));
    Undo1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    Redo1 = addAction(EditMenu, "Redo1", QStringLiteral("&Redo"));
    Redo1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    Undo1->setEnabled(false);
    Redo1->setEnabled(false);

    Help1 = menuBar()->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Contents1 = addAction(Help1, "Contents1", QStringLiteral("&Contents..."));
    Contents1->setShortcut(QKeySequence(Qt::Key_F1));
    About1 = addAction(Help1, "About1", QStringLiteral("&About..."));

    // F1 on an open menu asks for the menus' own topic instead of the contents.
    for (QMenu* menu : {File1, Recent1, EditMenu, Imagesize1, Help1})
        menu->installEventFilter(this);

    connect(New1, &QAction::triggered, this, &TForm1::New1Click);
    connect(Open1, &QAction::triggered, this, &TForm1::Open1Click);
    connect(Save1, &QAction::triggered, this, &TForm1::Save1Click);
    connect(SaveAs1, &QAction::triggered, this, &TForm1::SaveAs1Click);
    connect(Undo1, &QAction::triggered, this, &TForm1::Undo1Click);
    connect(Redo1, &QAction::triggered, this, &TForm1::Redo1Click);
    connect(ImageSave, &QAction::triggered, this, &TForm1::ImageSaveClick);
    connect(DiscMenuSave, &QAction::triggered, this, [this] {
        if (LastDiscMenuDir.isEmpty())
            LastDiscMenuDir = LastSaveImageDir;
        DiscMenuExportClick(this, m_doc, LastDiscMenuDir);
    });
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(Contents1, &QAction::triggered, this, &TForm1::Contents1Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
}

QWidget* TForm1::buildMainPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("MainPage"));
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(5);
    grid->setColumnStretch(1, 1);
    int row = 0;

    grid->addWidget(new QLabel(QStringLiteral("Background image")), row++, 0, 1, 3);
    BGImage = textField("BGImage");
    BGImageBtn = pickButton("BGImageBtn");
    grid->addWidget(BGImage, row, 0, 1, 2);
    grid->addWidget(BGImageBtn, row++, 2);

    BGColorPanel = new ColorSwatch(QStringLiteral("Background color"), kWhite);
    BGColorPanel->setObjectName(QStringLiteral("BGColorPanel"));
    BGColorBtn = pickButton("BGColorBtn", QStringLiteral("Change background color"));
    grid->addWidget(BGColorPanel, row, 0, 1, 2);
    grid->addWidget(BGColorBtn, row++, 2);

    TextColorPanel = new ColorSwatch(QStringLiteral("Text color"), kBlack);
    TextColorPanel->setObjectName(QStringLiteral("TextColorPanel"));
    TextColorBtn = pickButton("TextColorBtn", QStringLiteral("Change text color"));
    grid->addWidget(TextColorPanel, row, 0, 1, 2);
    grid->addWidget(TextColorBtn, row++, 2);

    grid->addWidget(new QLabel(QStringLiteral("Text font")), row++, 0, 1, 3);
    TextFontCB = new QComboBox;
    TextFontCB->setObjectName(QStringLiteral("TextFontCB"));
    TextFontCB->setEditable(false);
    TextFontCB->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    TextFontCB->setMinimumContentsLength(8);
    TextFontCB->setMaxVisibleItems(20);
    grid->addWidget(TextFontCB, row++, 0, 1, 3);

    BoldText = checkBox("BoldText", QStringLiteral("Bold"), true);
    grid->addWidget(BoldText, row++, 0, 1, 3);
    Shadow = checkBox("Shadow", QStringLiteral("Text shadow (requires background image)"), false);
    grid->addWidget(Shadow, row++, 0, 1, 3);

    const auto labelled = [&](const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row++, 1, 1, 2);
    };
    TitleEdit = textField("TitleEdit", QStringLiteral("Title"));
    labelled(QStringLiteral("Title"), TitleEdit);
    SubtitleEdit = textField("SubtitleEdit", QStringLiteral("Subtitle"));
    labelled(QStringLiteral("Subtitle"), SubtitleEdit);
    FootnoteEdit = textField("FootnoteEdit", QStringLiteral("Footnote"));
    labelled(QStringLiteral("Footnote"), FootnoteEdit);
    TitleSize = sizeSlider("TitleSize");
    labelled(QStringLiteral("Title size"), withValue(TitleSize, TitleSizeValue));
    CaptionSize = sizeSlider("CaptionSize");
    labelled(QStringLiteral("Caption size"), withValue(CaptionSize, CaptionSizeValue));

    ShowThumbs = checkBox("ShowThumbs", QStringLiteral("Show thumbnails"), true);
    grid->addWidget(ShowThumbs, row++, 0, 1, 3);
    ShowNumbers = checkBox("ShowNumbers", QStringLiteral("Show numbers"), true);
    grid->addWidget(ShowNumbers, row++, 0, 1, 3);
    DiscPanel1 =
        new DiscPanel(m_doc, [this](Color from, Color& to) { return chooseColor(from, to); });
    grid->addWidget(DiscPanel1, row++, 0, 1, 3);
    connect(DiscPanel1, &DiscPanel::previewChanged, this, [this] { PaintBox1->Refresh(); });
    grid->setRowStretch(row, 1);

    chainTabOrder({BGImage, BGImageBtn, BGColorBtn, TextColorBtn, TextFontCB, BoldText, Shadow,
                   TitleEdit, SubtitleEdit, FootnoteEdit, TitleSize, CaptionSize, ShowThumbs,
                   ShowNumbers});

    connect(BGImage, &QLineEdit::textChanged, this, &TForm1::BGImageChange);
    connect(BGImageBtn, &QPushButton::clicked, this, &TForm1::BGImageBtnClick);
    connect(BGColorBtn, &QPushButton::clicked, this, &TForm1::BGColorBtnClick);
    connect(TextColorBtn, &QPushButton::clicked, this, &TForm1::TextColorBtnClick);
    connect(BGColorPanel, &ColorSwatch::clicked, this, &TForm1::BGColorBtnClick);
    connect(TextColorPanel, &ColorSwatch::clicked, this, &TForm1::TextColorBtnClick);
    connect(TextFontCB, &QComboBox::currentIndexChanged, this, &TForm1::TextFontCBChange);
    connect(BoldText, &QCheckBox::toggled, this, &TForm1::BoldTextClick);
    connect(Shadow, &QCheckBox::toggled, this, &TForm1::ShadowClick);
    connect(TitleEdit, &QLineEdit::textChanged, this, &TForm1::TitleEditChange);
    connect(SubtitleEdit, &QLineEdit::textChanged, this, &TForm1::SubtitleEditChange);
    connect(FootnoteEdit, &QLineEdit::textChanged, this, &TForm1::FootnoteEditChange);
    connect(TitleSize, &QSlider::valueChanged, this, &TForm1::TitleSizeChange);
    connect(CaptionSize, &QSlider::valueChanged, this, &TForm1::CaptionSizeChange);
    connect(ShowThumbs, &QCheckBox::toggled, this, &TForm1::ShowThumbsClick);
    connect(ShowNumbers, &QCheckBox::toggled, this, &TForm1::ShowNumbersClick);
    return page;
}

QWidget* TForm1::buildItemsPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("ItemsPage"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(8);

    FirstItem = new NumberEdit(0, 990, 1);
    FirstItem->setObjectName(QStringLiteral("FirstItem"));
    TotalItems = new NumberEdit(0, 10, 10);
    TotalItems->setObjectName(QStringLiteral("TotalItems"));
    auto* numbers = new QGridLayout;
    numbers->setHorizontalSpacing(6);
    numbers->setColumnStretch(2, 1);
    int numberRow = 0;
    for (auto [caption, field] : {std::pair{QStringLiteral("First item:"), FirstItem},
                                  std::pair{QStringLiteral("Total items:"), TotalItems}}) {
        auto* label = new QLabel(caption);
        label->setBuddy(field);
        numbers->addWidget(label, numberRow, 0);
        numbers->addWidget(field, numberRow++, 1);
    }
    column->addLayout(numbers);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->setColumnStretch(1, 1);
    column->addLayout(grid);
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Captions")), row, 1);
    grid->addWidget(new QLabel(QStringLiteral("Thumb")), row++, 2, 1, 2);

    std::vector<QWidget*> order{FirstItem, TotalItems};
    for (int k = 1; k <= kItemCount; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        CN[i] = new QLabel(QString::number(k));
        CN[i]->setObjectName(QStringLiteral("CN%1").arg(k));
        CN[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        Edit[i] = textField("");
        Edit[i]->setObjectName(QStringLiteral("Edit%1").arg(k));
        Edit[i]->setProperty("tag", k);
        tnbtn[i] = pickButton("", QStringLiteral("Set thumbnail image"));
        tnbtn[i]->setObjectName(QStringLiteral("tn%1btn").arg(k));
        tnbtn[i]->setProperty("tag", k);
        ItemState[i] = new QLabel;
        ItemState[i]->setObjectName(QStringLiteral("ItemState%1").arg(k));
        ItemState[i]->setProperty("tag", k);
        ItemState[i]->setFixedSize(60, 24);
        QFont small = ItemState[i]->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        ItemState[i]->setFont(small);
        ItemState[i]->setAlignment(Qt::AlignCenter);
        CN[i]->setProperty("tag", k);
        grid->addWidget(CN[i], row, 0);
        grid->addWidget(ItemState[i], row, 2); // before the field: tab goes field, button
        grid->addWidget(Edit[i], row, 1);
        grid->addWidget(tnbtn[i], row++, 3);
        for (QWidget* part : {static_cast<QWidget*>(CN[i]), static_cast<QWidget*>(Edit[i]),
                              static_cast<QWidget*>(ItemState[i]), static_cast<QWidget*>(tnbtn[i])})
            acceptDropsOn(part);
        order.push_back(Edit[i]);
        order.push_back(tnbtn[i]);
        connect(Edit[i], &QLineEdit::textChanged, this, &TForm1::Edit1Change);
        connect(tnbtn[i], &QPushButton::clicked, this, &TForm1::tn1btnClick);
    }
    PreviewMode = new QGroupBox(QStringLiteral("Preview mode"));
    PreviewMode->setObjectName(QStringLiteral("PreviewMode"));
    auto* modes = new QGridLayout(PreviewMode);
    PreviewModeGroup = new QButtonGroup(this);
    auto* speed = new QRadioButton(QStringLiteral("Better speed"));
    speed->setObjectName(QStringLiteral("BetterSpeed"));
    speed->setChecked(true);
    auto* quality = new QRadioButton(QStringLiteral("Better quality"));
    quality->setObjectName(QStringLiteral("BetterQuality"));
    PreviewModeGroup->addButton(speed, 0);
    PreviewModeGroup->addButton(quality, 1);
    modes->addWidget(speed, 0, 0);
    modes->addWidget(quality, 0, 1);
    column->addWidget(PreviewMode);
    column->addStretch(1);
    order.push_back(speed);
    chainTabOrder(order);

    connect(FirstItem, &NumberEdit::changed, this, &TForm1::FirstItemChange);
    connect(TotalItems, &NumberEdit::changed, this, &TForm1::TotalItemsChange);
    connect(PreviewModeGroup, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            PreviewModeClick();
    });
    return page;
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
    PageControl1 = new PageControl;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setMinimumWidth(200);
    PageControl1->addTab(buildMainPage(), QStringLiteral("Main"));
    PageControl1->addTab(buildItemsPage(), QStringLiteral("Items"));
    left->addWidget(PageControl1, 1);
    auto* strip = new QWidget;
    strip->setObjectName(QStringLiteral("ButtonPanel"));
    strip->setFixedHeight(43);
    auto* stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(8, 0, 8, 0);
    SaveImageBtn = new QPushButton(QStringLiteral("Export to Image File"));
    SaveImageBtn->setObjectName(QStringLiteral("SaveImageBtn"));
    stripLayout->addStretch(1);
    stripLayout->addWidget(SaveImageBtn);
    stripLayout->addStretch(1);
    left->addWidget(strip);

    RightPanel = new QWidget;
    RightPanel->setObjectName(QStringLiteral("RightPanel"));
    RightPanel->setMinimumWidth(200);
    auto* right = new QVBoxLayout(RightPanel);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    ISizePanel = new QLabel;
    ISizePanel->setObjectName(QStringLiteral("ISizePanel"));
    ISizePanel->setFixedHeight(20);
    ISizePanel->setAlignment(Qt::AlignCenter);
    right->addWidget(ISizePanel);
    PaintPanel = new QFrame;
    PaintPanel->setObjectName(QStringLiteral("PaintPanel"));
    PaintPanel->setFrameShape(QFrame::Panel);
    PaintPanel->setFrameShadow(QFrame::Sunken);
    PaintPanel->setMinimumSize(1, 1);
    PaintPanel->installEventFilter(this);
    right->addWidget(PaintPanel, 1);
    PaintBox1 = new PreviewBox(m_doc, ScratchImage, PaintPanel);
    PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
    acceptDropsOn(PaintBox1);
    acceptDropsOn(BGImage);
    setAcceptDrops(true); // a project dropped anywhere else
    PaintBox1->decorate = [this](Picture& picture, const MenuGeometry& geometry) {
        PaintButtonPreview(m_doc, geometry, picture, DiscPanel1->preview());
    };
    PaintBox1->onPaintError = [this](const QString& text) {
        if (m_paintErrorPending)
            return;
        m_paintErrorPending = true;
        QTimer::singleShot(0, this, [this, text] {
            ShowErrorBox(text, this);
            m_paintErrorPending = false;
        });
    };

    Splitter1->addWidget(LeftPanel);
    Splitter1->addWidget(RightPanel);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    // 265 pixels, or what the panel's captions need in a wider system font.
    // The tab pages' margins and frames come on top of the longest caption's own width.
    const int leftWidth =
        std::max({kLeftPanelWidth, LeftPanel->sizeHint().width(), Shadow->sizeHint().width() + 48});
    // Narrower, the shadow switch's caption would be cut.
    LeftPanel->setMinimumWidth(
        std::max(LeftPanel->minimumWidth(), Shadow->sizeHint().width() + 48));
    Splitter1->setSizes({leftWidth, kDefaultWidth - leftWidth - 5});
    setCentralWidget(Splitter1);
    // There from the start, so that the first confirmation does not shift the panels.
    statusBar()->setObjectName(QStringLiteral("StatusBar"));

    connect(SaveImageBtn, &QPushButton::clicked, ImageSave, &QAction::trigger);
}

void TForm1::connectDocument()
{
    m_doc.onRefresh = [this] {
        if (m_doc.aspect != m_previewAspect)
            UpdatePreviewBounds(); // the box takes the new display shape
        documentChanged();
        PaintBox1->Refresh();
        followDocument();
    };
    m_doc.onMenuStartChanged = [this](int menustart) { relabelRows(menustart); };
    m_doc.onVideoModeChanged = [this](int mode) {
        presetActions[static_cast<std::size_t>(mode)]->setChecked(true);
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
    LoadSettings();
    fillFontList();
    m_doc.RenderEnabled = true;
    selectPreset(m_doc.VideoMode);
    m_history.reset(m_doc);
    rebuildRecentMenu();
    // Typing in one field is one step until the user moves to another.
    connect(qApp, &QApplication::focusChanged, this, [this] { m_history.closeStep(); });
    // The window's Undo, Redo and other keys serve the text fields too.
    for (QLineEdit* edit : LeftPanel->findChildren<QLineEdit*>())
        edit->installEventFilter(this);
}

void TForm1::fillFontList()
{
    m_doc.installedFonts = InstalledFontFamilies();
    m_doc.textfont = m_doc.findInstalledFont("Arial");
    QStringList families;
    families.reserve(static_cast<qsizetype>(m_doc.installedFonts.size()));
    for (const std::string& family : m_doc.installedFonts)
        families.push_back(QString::fromStdString(family));
    const QSignalBlocker block(TextFontCB);
    TextFontCB->clear();
    // The way back to the face a menu has when it names none.
    TextFontCB->addItem(kDefaultFaceEntry);
    TextFontCB->addItems(families);
    TextFontCB->setCurrentIndex(fontIndex(TextFontCB, m_doc.textfont));
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
    if (watched == PaintPanel && event->type() == QEvent::Resize) {
        UpdatePreviewBounds(); // PaintPanelResize
    } else if (event->type() == QEvent::ShortcutOverride && qobject_cast<QLineEdit*>(watched)) {
        // A text field would take Ctrl+Z for its own undo and Ctrl+E for the end of the
        // line; the window's commands come first.
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo))
            return true; // left unaccepted, so the window's shortcut fires
        for (const QAction* action : findChildren<QAction*>())
            if (action->isEnabled() && action->shortcut() == pressed)
                return true;
    } else if (qobject_cast<QMenu*>(watched) &&
               (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
            event->accept(); // keeps the contents shortcut from firing
            if (event->type() == QEvent::KeyPress) {
                for (QMenu* menu : {Imagesize1, Recent1, File1, EditMenu, Help1})
                    menu->hide();
                ShowHelpContext(300);
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::UpdatePreviewBounds()
{
    // In 4:3 and 16:9 the box has the shape the TV shows, the display canvas's.
    m_previewAspect = m_doc.aspect;
    const int shownWidth = DisplayWidth(m_doc.ImageWidth, m_doc.ImageHeight, m_doc.aspect);
    const PreviewBounds b = ComputePreviewBounds(PaintPanel->width(), PaintPanel->height(),
                                                 shownWidth, m_doc.ImageHeight);
    PaintBox1->setGeometry(b.left, b.top, b.width, b.height);
    PaintBox1->setVisible(b.visible());
    QString strip =
        QString::fromStdString(PreviewScaleText(m_doc.ImageWidth, m_doc.ImageHeight, b));
    if (m_doc.aspect != MenuAspect::Pixels)
        strip.replace(QStringLiteral(" at "), QStringLiteral(" as ") +
                                                  QLatin1String(MenuAspectName(m_doc.aspect)) +
                                                  QStringLiteral(" at "));
    ISizePanel->setText(strip);
}

void TForm1::relabelRows(int menustart)
{
    for (int k = 1; k <= kItemCount; ++k)
        CN[static_cast<std::size_t>(k - 1)]->setText(QString::number(menustart + k - 1));
}

void TForm1::updateCaption()
{
    const QString mark = isModified() ? QStringLiteral("*") : QString();
    if (m_doc.CurrentFileName.empty())
        setWindowTitle(mark.isEmpty() ? BaseCaption : BaseCaption + QStringLiteral(" - *Untitled"));
    else
        setWindowTitle(BaseCaption + QStringLiteral(" - ") + mark +
                       QFileInfo(QString::fromStdString(m_doc.CurrentFileName)).fileName());
}

void TForm1::SyncPanel()
{
    const auto set = [](auto* widget, const auto& apply) {
        const QSignalBlocker block(widget);
        apply(widget);
    };
    if (tvMenus)
        tvMenus->sync();
    set(BGImage, [&](QLineEdit* w) { w->setText(QString::fromStdString(m_doc.bgimage)); });
    BGColorPanel->setColor(m_doc.bgcolor);
    TextColorPanel->setColor(m_doc.textcolor);
    set(TextFontCB, [&](QComboBox* w) { w->setCurrentIndex(fontIndex(w, m_doc.textfont)); });
    set(BoldText, [&](QCheckBox* w) { w->setChecked(m_doc.boldtext); });
    set(Shadow, [&](QCheckBox* w) { w->setChecked(m_doc.shadowtext); });
    set(TitleEdit, [&](QLineEdit* w) { w->setText(QString::fromStdString(m_doc.title)); });
    set(SubtitleEdit, [&](QLineEdit* w) { w->setText(QString::fromStdString(m_doc.subtitle)); });
    set(FootnoteEdit, [&](QLineEdit* w) { w->setText(QString::fromStdString(m_doc.footnote)); });
    set(TitleSize, [&](QSlider* w) { w->setValue(m_doc.titlesize); });
    set(CaptionSize, [&](QSlider* w) { w->setValue(m_doc.captionsize); });
    set(ShowThumbs, [&](QCheckBox* w) { w->setChecked(m_doc.thumbs); });
    set(ShowNumbers, [&](QCheckBox* w) { w->setChecked(m_doc.numbers); });
    set(FirstItem, [&](NumberEdit* w) { w->setValue(m_doc.menustart); });
    set(TotalItems, [&](NumberEdit* w) { w->setValue(m_doc.menucount); });
    relabelRows(m_doc.menustart);
    DiscPanel1->sync();
    for (int k = 1; k <= kItemCount; ++k) {
        set(Edit[static_cast<std::size_t>(k - 1)],
            [&](QLineEdit* w) { w->setText(QString::fromStdString(m_doc.item(k).menucaption)); });
    }
    set(PreviewModeGroup,
        [&](QButtonGroup* g) { g->button(m_doc.quality ? 1 : 0)->setChecked(true); });
    updateCaption();
    followDocument();
}

void TForm1::guarded(const std::function<void()>& command)
{
    RunGuarded(command, this);
}

// Change handlers: each writes its field; the document composes the preview again.

void TForm1::BGImageChange()
{
    // A large picture takes a moment to decode.
    const QFileInfo file(BGImage->text());
    std::optional<BusyCursor> busy;
    if (file.isFile() && file.size() > kLargePictureBytes)
        busy.emplace();
    guarded([&] { m_doc.setBgimage(BGImage->text().toStdString()); });
}

void TForm1::TextFontCBChange()
{
    guarded([&] {
        m_doc.setTextfont(TextFontCB->currentIndex() <= 0
                              ? std::string()
                              : TextFontCB->currentText().toStdString());
    });
}

void TForm1::BoldTextClick()
{
    guarded([&] { m_doc.setBoldtext(BoldText->isChecked()); });
}

void TForm1::ShadowClick()
{
    guarded([&] { m_doc.setShadowtext(Shadow->isChecked()); });
}

void TForm1::TitleEditChange()
{
    guarded([&] { m_doc.setTitle(TitleEdit->text().toStdString()); });
}

void TForm1::SubtitleEditChange()
{
    guarded([&] { m_doc.setSubtitle(SubtitleEdit->text().toStdString()); });
}

void TForm1::FootnoteEditChange()
{
    guarded([&] { m_doc.setFootnote(FootnoteEdit->text().toStdString()); });
}

void TForm1::TitleSizeChange()
{
    guarded([&] { m_doc.setTitlesize(TitleSize->value()); });
}

void TForm1::CaptionSizeChange()
{
    guarded([&] { m_doc.setCaptionsize(CaptionSize->value()); });
}

void TForm1::ShowThumbsClick()
{
    guarded([&] { m_doc.setThumbs(ShowThumbs->isChecked()); });
}

void TForm1::ShowNumbersClick()
{
    guarded([&] { m_doc.setNumbers(ShowNumbers->isChecked()); });
}

void TForm1::FirstItemChange()
{
    guarded([&] { m_doc.setMenustart(FirstItem->value()); });
}

// The count applies as it is typed, brought into range; the field shows the range once
// it is left.
void TForm1::TotalItemsChange()
{
    const int value = std::clamp(TotalItems->value(), TotalItems->minimum(), TotalItems->maximum());
    if (value != m_doc.menucount)
        guarded([&] { m_doc.setMenucount(value); });
}

void TForm1::Edit1Change()
{
    auto* edit = qobject_cast<QLineEdit*>(sender());
    if (!edit)
        return;
    const int k = edit->property("tag").toInt();
    guarded([&] { m_doc.setCaption(k, edit->text().toStdString()); });
}

void TForm1::tn1btnClick()
{
    if (sender())
        openThumbnailDialog(sender()->property("tag").toInt());
}

void TForm1::openThumbnailDialog(int item)
{
    if (!m_clipForm || item < 1 || item > kItemCount)
        return;
    m_clipForm->CurrentItem = item;
    if (m_clipForm->exec() == QDialog::Accepted)
        guarded([&] { m_doc.refresh(); });
}

void TForm1::PreviewModeClick()
{
    guarded([&] { m_doc.setQuality(PreviewModeGroup->checkedId() == 1); });
}

void TForm1::selectPreset(int mode)
{
    guarded([&] { m_doc.selectVideoMode(mode); });
}
