#include "discpanel.h"

#include "colorswatch.h"
#include "disc/discmasks.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>

#include <exception>

namespace {

constexpr ButtonStyle kStyles[] = {ButtonStyle::Underline, ButtonStyle::Frame, ButtonStyle::Text,
                                   ButtonStyle::None};

// A colour button shows its colour as a filled square with a thin outline.
void showColor(QToolButton* button, Color color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(ToQColor(color));
    QPainter painter(&pixmap);
    painter.setPen(Qt::darkGray);
    painter.drawRect(0, 0, 15, 15);
    painter.end();
    button->setIcon(QIcon(pixmap));
}

} // namespace

DiscPanel::DiscPanel(MenuDocument& doc, std::function<bool(Color, Color&)> chooseColor,
                     QWidget* parent)
    : QWidget(parent), m_doc(doc), m_chooseColor(std::move(chooseColor))
{
    setObjectName(QStringLiteral("DiscPanel"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(5);
    grid->setColumnStretch(1, 1);

    m_style = new QComboBox;
    m_style->setObjectName(QStringLiteral("ButtonStyleCB"));
    m_style->addItems({QStringLiteral("Underline"), QStringLiteral("Frame"),
                       QStringLiteral("Text colour"), QStringLiteral("None")});
    m_style->setToolTip(QStringLiteral("How the disc menu shows the button under the cursor"));
    auto* styleLabel = new QLabel(QStringLiteral("Disc buttons"));
    styleLabel->setBuddy(m_style);
    grid->addWidget(styleLabel, 0, 0);
    grid->addWidget(m_style, 0, 1);

    const auto colorButton = [&](int column, const QString& caption, const char* name,
                                 QToolButton*& button, Color MenuDocument::*field,
                                 void (MenuDocument::*setter)(Color)) {
        button = new QToolButton;
        button->setObjectName(QLatin1String(name));
        button->setToolTip(caption);
        button->setAccessibleName(caption);
        grid->addWidget(button, 0, column);
        connect(button, &QToolButton::clicked, this, [this, button, field, setter] {
            Color color = m_doc.*field;
            if (!m_chooseColor || !m_chooseColor(color, color))
                return;
            (m_doc.*setter)(color);
            showColor(button, color);
        });
    };
    colorButton(2, QStringLiteral("Highlight colour"), "HighlightColorBtn", m_highlight,
                &MenuDocument::highlightcolor, &MenuDocument::setHighlightcolor);
    colorButton(3, QStringLiteral("Select colour"), "SelectColorBtn", m_select,
                &MenuDocument::selectcolor, &MenuDocument::setSelectcolor);

    m_preview = new QComboBox;
    m_preview->setObjectName(QStringLiteral("ButtonPreviewCB"));
    m_preview->addItems({QStringLiteral("Preview without buttons"),
                         QStringLiteral("Preview highlighted buttons"),
                         QStringLiteral("Preview selected buttons")});
    m_preview->setToolTip(QStringLiteral("Show every button over the preview as the player "
                                         "shows the one under the cursor, or a pressed one"));
    grid->addWidget(m_preview, 1, 0, 1, 4);

    connect(m_style, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && index < 4)
            m_doc.setButtonstyle(kStyles[index]);
    });
    connect(m_preview, &QComboBox::currentIndexChanged, this, &DiscPanel::previewChanged);
    sync();
}

void DiscPanel::sync()
{
    const QSignalBlocker block(m_style);
    for (int i = 0; i < 4; ++i)
        if (kStyles[i] == m_doc.buttonstyle)
            m_style->setCurrentIndex(i);
    showColor(m_highlight, m_doc.highlightcolor);
    showColor(m_select, m_doc.selectcolor);
}

ButtonPreview DiscPanel::preview() const
{
    return static_cast<ButtonPreview>(m_preview->currentIndex());
}

void PaintButtonPreview(const MenuDocument& doc, const MenuGeometry& geometry, Picture& picture,
                        ButtonPreview preview)
{
    if (preview == ButtonPreview::Off || geometry.items.empty())
        return;
    try {
        const std::vector<DiscButton> buttons = LayoutDiscButtons(geometry);
        const DiscMask mask = DrawDiscMask(doc, geometry, buttons);
        PaintMask(picture, mask,
                  preview == ButtonPreview::Select ? doc.selectcolor : doc.highlightcolor);
    } catch (const std::exception&) {
        // A preview too small for buttons of their own shows the menu alone.
    }
}
