#include "mainpage.h"

#include "colorswatch.h"
#include "imageio/picturereadreason.h"
#include "pagewidgets.h"
#include "render/fontfamilies.h"
#include "widgets/busycursor.h"
#include "widgets/messages.h"
#include "widgets/picturedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <optional>
#include <utility>

namespace {

constexpr qint64 kLargePictureBytes = 2 << 20;

const QString kDefaultFaceEntry = QStringLiteral("(Default face)");

// The list's entry of a face; the first entry stands for none.
int fontIndex(const QComboBox* list, const std::string& face)
{
    if (face.empty())
        return 0;
    const int index = list->findText(QString::fromStdString(face), Qt::MatchFixedString);
    return index > 0 ? index : 0;
}

} // namespace

MainPage::MainPage(MenuDocument& doc, ColorChooser chooseColor, QString& lastClipDir,
                   QWidget* parent)
    : QWidget(parent), m_doc(doc), m_chooseColor(std::move(chooseColor)), m_lastClipDir(lastClipDir)
{
    setObjectName(QStringLiteral("MainPage"));
    build();
    connectHandlers();
}

void MainPage::build()
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(5);
    grid->setColumnStretch(1, 1);
    int row = 0;

    grid->addWidget(new QLabel(QStringLiteral("Background image")), row++, 0, 1, 3);
    BGImage = TextField(QStringLiteral("BGImage"));
    BGImageBtn = PickButton(QStringLiteral("BGImageBtn"));
    grid->addWidget(BGImage, row, 0, 1, 2);
    grid->addWidget(BGImageBtn, row++, 2);

    BGColorPanel = new ColorSwatch(QStringLiteral("Background colour"), kWhite);
    BGColorPanel->setObjectName(QStringLiteral("BGColorPanel"));
    BGColorBtn =
        PickButton(QStringLiteral("BGColorBtn"), QStringLiteral("Change background colour"));
    grid->addWidget(BGColorPanel, row, 0, 1, 2);
    grid->addWidget(BGColorBtn, row++, 2);

    TextColorPanel = new ColorSwatch(QStringLiteral("Text colour"), kBlack);
    TextColorPanel->setObjectName(QStringLiteral("TextColorPanel"));
    TextColorBtn = PickButton(QStringLiteral("TextColorBtn"), QStringLiteral("Change text colour"));
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

    BoldText = CheckBox("BoldText", QStringLiteral("Bold"), true);
    grid->addWidget(BoldText, row++, 0, 1, 3);
    Shadow = CheckBox("Shadow", QStringLiteral("Text shadow (requires background image)"), false);
    grid->addWidget(Shadow, row++, 0, 1, 3);

    const auto labelled = [&](const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row++, 1, 1, 2);
    };
    TitleEdit = TextField(QStringLiteral("TitleEdit"), QStringLiteral("Title"));
    labelled(QStringLiteral("Title"), TitleEdit);
    SubtitleEdit = TextField(QStringLiteral("SubtitleEdit"), QStringLiteral("Subtitle"));
    labelled(QStringLiteral("Subtitle"), SubtitleEdit);
    FootnoteEdit = TextField(QStringLiteral("FootnoteEdit"), QStringLiteral("Footnote"));
    labelled(QStringLiteral("Footnote"), FootnoteEdit);
    TitleSize = SizeSlider("TitleSize");
    labelled(QStringLiteral("Title size"), WithValue(TitleSize, TitleSizeValue));
    CaptionSize = SizeSlider("CaptionSize");
    labelled(QStringLiteral("Caption size"), WithValue(CaptionSize, CaptionSizeValue));

    ShowThumbs = CheckBox("ShowThumbs", QStringLiteral("Show thumbnails"), true);
    grid->addWidget(ShowThumbs, row++, 0, 1, 3);
    ShowNumbers = CheckBox("ShowNumbers", QStringLiteral("Show numbers"), true);
    grid->addWidget(ShowNumbers, row++, 0, 1, 3);
    DiscPanel1 = new DiscPanel(
        m_doc, [this](Color from, Color& to) { return m_chooseColor(from, to, QString()); });
    grid->addWidget(DiscPanel1, row++, 0, 1, 3);
    grid->setRowStretch(row, 1);

    ChainTabOrder({BGImage, BGImageBtn, BGColorBtn, TextColorBtn, TextFontCB, BoldText, Shadow,
                   TitleEdit, SubtitleEdit, FootnoteEdit, TitleSize, CaptionSize, ShowThumbs,
                   ShowNumbers});
}

void MainPage::connectHandlers()
{
    connect(DiscPanel1, &DiscPanel::previewChanged, this, &MainPage::buttonPreviewChanged);
    connect(BGImage, &QLineEdit::textChanged, this, &MainPage::BGImageChange);
    connect(BGImageBtn, &QPushButton::clicked, this, &MainPage::BGImageBtnClick);
    connect(BGColorBtn, &QPushButton::clicked, this, &MainPage::BGColorBtnClick);
    connect(TextColorBtn, &QPushButton::clicked, this, &MainPage::TextColorBtnClick);
    connect(BGColorPanel, &ColorSwatch::clicked, this, &MainPage::BGColorBtnClick);
    connect(TextColorPanel, &ColorSwatch::clicked, this, &MainPage::TextColorBtnClick);
    connect(TextFontCB, &QComboBox::currentIndexChanged, this, &MainPage::TextFontCBChange);
    connect(BoldText, &QCheckBox::toggled, this, &MainPage::BoldTextClick);
    connect(Shadow, &QCheckBox::toggled, this, &MainPage::ShadowClick);
    connect(TitleEdit, &QLineEdit::textChanged, this, &MainPage::TitleEditChange);
    connect(SubtitleEdit, &QLineEdit::textChanged, this, &MainPage::SubtitleEditChange);
    connect(FootnoteEdit, &QLineEdit::textChanged, this, &MainPage::FootnoteEditChange);
    connect(TitleSize, &QSlider::valueChanged, this, &MainPage::TitleSizeChange);
    connect(CaptionSize, &QSlider::valueChanged, this, &MainPage::CaptionSizeChange);
    connect(ShowThumbs, &QCheckBox::toggled, this, &MainPage::ShowThumbsClick);
    connect(ShowNumbers, &QCheckBox::toggled, this, &MainPage::ShowNumbersClick);
}

void MainPage::fillFontList()
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

void MainPage::sync()
{
    const auto set = [](auto* widget, const auto& apply) {
        const QSignalBlocker block(widget);
        apply(widget);
    };
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
    DiscPanel1->sync();
}

void MainPage::follow()
{
    TitleSizeValue->setNum(TitleSize->value());
    CaptionSizeValue->setNum(CaptionSize->value());
    markBackground();
}

void MainPage::markBackground()
{
    const std::string& failure = m_doc.bgimage.empty() ? std::string() : m_doc.BackgroundFailure;
    if (failure == m_markedBackground && BGImage->property("marked").isValid())
        return;
    m_markedBackground = failure;
    BGImage->setProperty("marked", !failure.empty());
    if (failure.empty()) {
        BGImage->setStyleSheet(QString());
        BGImage->setToolTip(QString());
    } else {
        BGImage->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid #d00000; }"));
        BGImage->setToolTip(QString::fromStdString(PictureFailureMessage(m_doc.bgimage, failure)));
    }
}

QLineEdit* MainPage::fieldFor(MenuField field) const
{
    switch (field) {
    case MenuField::Title:
        return TitleEdit;
    case MenuField::Subtitle:
        return SubtitleEdit;
    case MenuField::Footnote:
        return FootnoteEdit;
    case MenuField::Caption:
        break;
    }
    return BGImage;
}

void MainPage::setBackground(const QString& path)
{
    BGImage->setText(path);
}

ButtonPreview MainPage::buttonPreview() const
{
    return DiscPanel1->preview();
}

int MainPage::captionWidth() const
{
    // The tab pages' margins and frames come on top of the longest caption's own width.
    return Shadow->sizeHint().width() + 48;
}

void MainPage::run(const std::function<void()>& change)
{
    RunGuarded(change, window());
}

void MainPage::BGImageBtnClick()
{
    if (!m_pictureDialog) {
        m_pictureDialog = new PictureFileDialog(window());
        m_pictureDialog->setWindowTitle(QStringLiteral("Select Image"));
        m_pictureDialog->setNameFilters(
            {QStringLiteral("Image files (*.jpg *.jpeg *.bmp *.gif *.png)"),
             QStringLiteral("All files (*)")});
    }
    if (!m_lastClipDir.isEmpty())
        m_pictureDialog->setDirectory(m_lastClipDir);
    if (m_pictureDialog->exec() != QDialog::Accepted || m_pictureDialog->selectedFiles().isEmpty())
        return;
    const QString path = m_pictureDialog->selectedFiles().front();
    BGImage->setText(path);
    m_lastClipDir = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

void MainPage::BGColorBtnClick()
{
    chooseColor(m_doc.bgcolor, BGColorPanel, &MenuDocument::setBgcolor,
                QStringLiteral("Background colour"));
}

void MainPage::TextColorBtnClick()
{
    chooseColor(m_doc.textcolor, TextColorPanel, &MenuDocument::setTextcolor,
                QStringLiteral("Text colour"));
}

void MainPage::chooseColor(Color current, ColorSwatch* swatch, void (MenuDocument::*set)(Color),
                           const QString& title)
{
    run([&] {
        Color color = current;
        if (!m_chooseColor(current, color, title))
            return;
        swatch->setColor(color);
        (m_doc.*set)(color);
    });
}

// Change handlers: each writes its field; the document composes the preview again.

void MainPage::BGImageChange()
{
    // A large picture takes a moment to decode.
    const QFileInfo file(BGImage->text());
    std::optional<BusyCursor> busy;
    if (file.isFile() && file.size() > kLargePictureBytes)
        busy.emplace();
    run([&] { m_doc.setBgimage(BGImage->text().toStdString()); });
}

void MainPage::TextFontCBChange()
{
    run([&] {
        m_doc.setTextfont(TextFontCB->currentIndex() <= 0
                              ? std::string()
                              : TextFontCB->currentText().toStdString());
    });
}

void MainPage::BoldTextClick()
{
    run([&] { m_doc.setBoldtext(BoldText->isChecked()); });
}

void MainPage::ShadowClick()
{
    run([&] { m_doc.setShadowtext(Shadow->isChecked()); });
}

void MainPage::TitleEditChange()
{
    run([&] { m_doc.setTitle(TitleEdit->text().toStdString()); });
}

void MainPage::SubtitleEditChange()
{
    run([&] { m_doc.setSubtitle(SubtitleEdit->text().toStdString()); });
}

void MainPage::FootnoteEditChange()
{
    run([&] { m_doc.setFootnote(FootnoteEdit->text().toStdString()); });
}

void MainPage::TitleSizeChange()
{
    run([&] { m_doc.setTitlesize(TitleSize->value()); });
}

void MainPage::CaptionSizeChange()
{
    run([&] { m_doc.setCaptionsize(CaptionSize->value()); });
}

void MainPage::ShowThumbsClick()
{
    run([&] { m_doc.setThumbs(ShowThumbs->isChecked()); });
}

void MainPage::ShowNumbersClick()
{
    run([&] { m_doc.setNumbers(ShowNumbers->isChecked()); });
}
