#include "legibilitypanel.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>

LegibilityPanel::LegibilityPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("LegibilityPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    WarningCount = new QLabel;
    WarningCount->setObjectName(QStringLiteral("WarningCount"));
    layout->addWidget(WarningCount);
    WarningList = new QListWidget;
    WarningList->setObjectName(QStringLiteral("WarningList"));
    WarningList->setWordWrap(true);
    WarningList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Room for about four warnings; the preview keeps the rest of the height.
    WarningList->setMaximumHeight(WarningList->fontMetrics().height() * 4 + 8);
    WarningList->hide();
    layout->addWidget(WarningList);
    connect(WarningList, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const int row = WarningList->row(item);
        if (onSelect && row >= 0 && row < count())
            onSelect(m_warnings[static_cast<std::size_t>(row)]);
    });
    connect(WarningList, &QListWidget::itemClicked, WarningList, &QListWidget::itemActivated);
    showWarnings({});
    WarningCount->setText(QString()); // nothing composed yet
}

void LegibilityPanel::showWarnings(const std::vector<LegibilityWarning>& warnings)
{
    const auto same = [](const LegibilityWarning& a, const LegibilityWarning& b) {
        return a.message == b.message;
    };
    if (!WarningCount->text().isEmpty() &&
        std::equal(warnings.begin(), warnings.end(), m_warnings.begin(), m_warnings.end(), same))
        return;
    m_warnings = warnings;
    if (warnings.empty())
        WarningCount->setText(tr("No TV warnings"));
    else if (warnings.size() == 1)
        WarningCount->setText(tr("1 TV warning:"));
    else
        WarningCount->setText(tr("%1 TV warnings:").arg(warnings.size()));
    WarningList->clear();
    for (const LegibilityWarning& w : warnings) {
        auto* item = new QListWidgetItem(QString::fromStdString(w.message), WarningList);
        item->setToolTip(w.hasField ? tr("Click to go to the field") : QString());
    }
    WarningList->setVisible(!warnings.empty());
}
