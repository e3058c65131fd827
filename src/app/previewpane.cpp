#include "previewpane.h"

#include "legibilitypanel.h"
#include "previewbox.h"
#include "render/displayaspect.h"
#include "render/previewbounds.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

PreviewPane::PreviewPane(MenuDocument& doc, Picture& scratch, QWidget* parent)
    : QWidget(parent), m_doc(doc)
{
    setObjectName(QStringLiteral("RightPanel"));
    setMinimumWidth(200);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    ISizePanel = new QLabel;
    ISizePanel->setObjectName(QStringLiteral("ISizePanel"));
    ISizePanel->setFixedHeight(20);
    ISizePanel->setAlignment(Qt::AlignCenter);
    column->addWidget(ISizePanel);
    PaintPanel = new QFrame;
    PaintPanel->setObjectName(QStringLiteral("PaintPanel"));
    PaintPanel->setFrameShape(QFrame::Panel);
    PaintPanel->setFrameShadow(QFrame::Sunken);
    PaintPanel->setMinimumSize(1, 1);
    PaintPanel->installEventFilter(this);
    column->addWidget(PaintPanel, 1);
    PaintBox1 = new PreviewBox(m_doc, scratch, PaintPanel);
    PaintBox1->setObjectName(QStringLiteral("PaintBox1"));

    LegibilityPanel1 = new LegibilityPanel;
    column->addWidget(LegibilityPanel1);
    PaintBox1->onWarnings = [this](const std::vector<LegibilityWarning>& warnings) {
        LegibilityPanel1->showWarnings(warnings);
    };
    LegibilityPanel1->onSelect = [this](const LegibilityWarning& w) { emit warningChosen(w); };
}

bool PreviewPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == PaintPanel && event->type() == QEvent::Resize)
        UpdatePreviewBounds();
    return QWidget::eventFilter(watched, event);
}

void PreviewPane::UpdatePreviewBounds()
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
