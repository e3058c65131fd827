#include "pagewidgets.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

QPushButton* PickButton(const QString& name, const QString& hint)
{
    auto* button = new QPushButton(QStringLiteral("<"));
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setFixedWidth(26);
    return button;
}

QLineEdit* TextField(const QString& name, const QString& text)
{
    auto* edit = new QLineEdit(text);
    edit->setObjectName(name);
    edit->setMinimumWidth(40);
    return edit;
}

QCheckBox* CheckBox(const char* name, const QString& caption, bool checked)
{
    auto* box = new QCheckBox(caption);
    box->setObjectName(QLatin1String(name));
    box->setChecked(checked);
    return box;
}

QSlider* SizeSlider(const char* name)
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

QWidget* WithValue(QSlider* slider, QLabel*& value)
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

void ChainTabOrder(const std::vector<QWidget*>& widgets)
{
    for (std::size_t i = 1; i < widgets.size(); ++i)
        QWidget::setTabOrder(widgets[i - 1], widgets[i]);
}
