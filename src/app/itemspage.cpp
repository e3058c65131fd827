#include "itemspage.h"

#include "numberedit.h"
#include "pagewidgets.h"
#include "widgets/messages.h"

#include <QButtonGroup>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

// A small copy of the thumbnail for the row, its shape kept, made at the screen's device
// pixels so that it stays sharp on a scaled screen.
QPixmap smallThumbnail(const Picture& picture, QSize box, qreal deviceRatio)
{
    const QImage image(picture.data(), picture.width(), picture.height(),
                       static_cast<qsizetype>(picture.stride()), QImage::Format_RGB888);
    QPixmap small = QPixmap::fromImage(
        image.scaled(box * deviceRatio, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    small.setDevicePixelRatio(deviceRatio);
    return small;
}

} // namespace

ItemsPage::ItemsPage(MenuDocument& doc, QWidget* parent) : QWidget(parent), m_doc(doc)
{
    setObjectName(QStringLiteral("ItemsPage"));
    auto* column = new QVBoxLayout(this);
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
    std::vector<QWidget*> order{FirstItem, TotalItems};
    buildRows(grid, order);
    column->addWidget(buildPreviewMode(order));
    column->addStretch(1);
    ChainTabOrder(order);

    connect(FirstItem, &NumberEdit::changed, this, &ItemsPage::FirstItemChange);
    connect(TotalItems, &NumberEdit::changed, this, &ItemsPage::TotalItemsChange);
    connect(PreviewModeGroup, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            PreviewModeClick();
    });
}

void ItemsPage::buildRows(QGridLayout* grid, std::vector<QWidget*>& order)
{
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Captions")), row, 1);
    grid->addWidget(new QLabel(QStringLiteral("Thumb")), row++, 2, 1, 2);
    for (int k = 1; k <= kItemCount; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        CN[i] = new QLabel(QString::number(k));
        CN[i]->setObjectName(QStringLiteral("CN%1").arg(k));
        CN[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        Edit[i] = TextField(QStringLiteral("Edit%1").arg(k));
        tnbtn[i] =
            PickButton(QStringLiteral("tn%1btn").arg(k), QStringLiteral("Set thumbnail image"));
        ItemState[i] = new QLabel;
        ItemState[i]->setObjectName(QStringLiteral("ItemState%1").arg(k));
        ItemState[i]->setFixedSize(60, 24);
        QFont small = ItemState[i]->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        ItemState[i]->setFont(small);
        ItemState[i]->setAlignment(Qt::AlignCenter);
        for (QWidget* part : {static_cast<QWidget*>(CN[i]), static_cast<QWidget*>(Edit[i]),
                              static_cast<QWidget*>(ItemState[i]), static_cast<QWidget*>(tnbtn[i])})
            part->setProperty("tag", k);
        grid->addWidget(CN[i], row, 0);
        grid->addWidget(ItemState[i], row, 2); // before the field: tab goes field, button
        grid->addWidget(Edit[i], row, 1);
        grid->addWidget(tnbtn[i], row++, 3);
        order.push_back(Edit[i]);
        order.push_back(tnbtn[i]);
        connect(Edit[i], &QLineEdit::textChanged, this, &ItemsPage::Edit1Change);
        connect(tnbtn[i], &QPushButton::clicked, this, &ItemsPage::tn1btnClick);
    }
}

QWidget* ItemsPage::buildPreviewMode(std::vector<QWidget*>& order)
{
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
    order.push_back(speed);
    return PreviewMode;
}

void ItemsPage::sync()
{
    const auto set = [](auto* widget, const auto& apply) {
        const QSignalBlocker block(widget);
        apply(widget);
    };
    set(FirstItem, [&](NumberEdit* w) { w->setValue(m_doc.menustart); });
    set(TotalItems, [&](NumberEdit* w) { w->setValue(m_doc.menucount); });
    relabelRows(m_doc.menustart);
    for (int k = 1; k <= kItemCount; ++k) {
        set(Edit[static_cast<std::size_t>(k - 1)],
            [&](QLineEdit* w) { w->setText(QString::fromStdString(m_doc.item(k).menucaption)); });
    }
    set(PreviewModeGroup,
        [&](QButtonGroup* g) { g->button(m_doc.quality ? 1 : 0)->setChecked(true); });
}

void ItemsPage::relabelRows(int menustart)
{
    for (int k = 1; k <= kItemCount; ++k)
        CN[static_cast<std::size_t>(k - 1)]->setText(QString::number(menustart + k - 1));
}

QLineEdit* ItemsPage::captionField(int item) const
{
    if (item < 1 || item > kItemCount)
        return nullptr;
    return Edit[static_cast<std::size_t>(item - 1)];
}

std::vector<QWidget*> ItemsPage::dropTargets() const
{
    std::vector<QWidget*> targets;
    for (std::size_t i = 0; i < kItemCount; ++i)
        targets.insert(targets.end(), {CN[i], Edit[i], ItemState[i], tnbtn[i]});
    return targets;
}

void ItemsPage::follow()
{
    const int shown = m_doc.visibleItemCount();
    for (int k = 1; k <= kItemCount; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        // Rows the menu does not show are grey, and still take captions and sources.
        const bool inMenu = k <= shown;
        CN[i]->setEnabled(inMenu);
        ItemState[i]->setEnabled(inMenu);
        if (Edit[i]->property("inMenu").toBool() != inMenu ||
            !Edit[i]->property("inMenu").isValid()) {
            Edit[i]->setProperty("inMenu", inMenu);
            QPalette palette = Edit[i]->parentWidget()->palette();
            if (!inMenu)
                palette.setColor(QPalette::Text, palette.color(QPalette::Disabled, QPalette::Text));
            Edit[i]->setPalette(palette);
        }
        showSource(k);
    }
}

void ItemsPage::showSource(int k)
{
    const auto i = static_cast<std::size_t>(k - 1);
    const ThumbnailSource& source = m_doc.item(k).source;
    const RowShown now{source.menuclip, source.ThumbnailImage.data(), source.ThumbnailImage.width(),
                       source.ThumbnailImage.height()};
    if (now == m_rowShown[i])
        return;
    m_rowShown[i] = now;
    QLabel* state = ItemState[i];
    if (source.menuclip.empty()) {
        state->clear();
        state->setToolTip(QString());
        return;
    }
    const QString path = QString::fromStdString(source.menuclip);
    if (source.hasThumbnail()) {
        state->setToolTip(path);
        state->setPixmap(smallThumbnail(source.ThumbnailImage, QSize(40, state->height()),
                                        state->devicePixelRatioF()));
    } else {
        // No picture to show (missing or unreadable): the name says which file it is.
        const QFileInfo file(path);
        state->setToolTip(path + (file.isFile() ? QStringLiteral("\nNo picture could be taken")
                                                : QStringLiteral("\nNot found")));
        state->setText(
            state->fontMetrics().elidedText(file.fileName(), Qt::ElideMiddle, state->width() - 2));
    }
}

void ItemsPage::run(const std::function<void()>& change)
{
    RunGuarded(change, window());
}

void ItemsPage::FirstItemChange()
{
    run([&] { m_doc.setMenustart(FirstItem->value()); });
}

// The count applies as it is typed, brought into range; the field shows the range once
// it is left.
void ItemsPage::TotalItemsChange()
{
    const int value = std::clamp(TotalItems->value(), TotalItems->minimum(), TotalItems->maximum());
    if (value != m_doc.menucount)
        run([&] { m_doc.setMenucount(value); });
}

void ItemsPage::Edit1Change()
{
    auto* edit = qobject_cast<QLineEdit*>(sender());
    if (!edit)
        return;
    const int k = edit->property("tag").toInt();
    run([&] { m_doc.setCaption(k, edit->text().toStdString()); });
}

void ItemsPage::tn1btnClick()
{
    if (sender())
        emit thumbnailRequested(sender()->property("tag").toInt());
}

void ItemsPage::PreviewModeClick()
{
    run([&] { m_doc.setQuality(PreviewModeGroup->checkedId() == 1); });
}
