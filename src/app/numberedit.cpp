#include "numberedit.h"

#include <QLineEdit>
#include <QLocale>

#include <algorithm>

NumberEdit::NumberEdit(int minimum, int maximum, int value, QWidget* parent)
    : QAbstractSpinBox(parent), m_minimum(minimum), m_maximum(maximum)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setAccelerated(true);
    lineEdit()->setText(QString::number(std::clamp(value, minimum, maximum)));
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
        update(); // the arrows' enabled state follows the value
        emit changed();
    });
}

int NumberEdit::value() const
{
    bool ok = false;
    const int v = text().toInt(&ok, 10);
    return ok ? v : 0;
}

void NumberEdit::setValue(int value)
{
    const QString text = QString::number(std::clamp(value, m_minimum, m_maximum));
    if (text != lineEdit()->text())
        lineEdit()->setText(text);
}

void NumberEdit::stepBy(int steps)
{
    const long long target = static_cast<long long>(value()) + steps;
    setValue(static_cast<int>(std::clamp<long long>(target, m_minimum, m_maximum)));
    selectAll();
}

QValidator::State NumberEdit::validate(QString& input, int&) const
{
    const QString decimal = QLocale().decimalPoint();
    for (const QChar c : input) {
        if (!(c.isDigit() && c.unicode() < 128) && c != u'+' && c != u'-' && !decimal.contains(c))
            return QValidator::Invalid;
    }
    return QValidator::Acceptable;
}

QSize NumberEdit::sizeHint() const
{
    QSize size = QAbstractSpinBox::sizeHint();
    size.setWidth(
        std::max(size.width(), fontMetrics().horizontalAdvance(QStringLiteral("99999")) + 40));
    return size;
}

QAbstractSpinBox::StepEnabled NumberEdit::stepEnabled() const
{
    StepEnabled flags = StepNone;
    const int v = value();
    if (v < m_maximum)
        flags |= StepUpEnabled;
    if (v > m_minimum)
        flags |= StepDownEnabled;
    return flags;
}

void NumberEdit::focusOutEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusOutEvent(event);
    const int v = value();
    if (v < m_minimum || v > m_maximum)
        setValue(v);
}
