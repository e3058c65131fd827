#pragma once

#include <QAbstractSpinBox>

// A whole-number field with up/down arrows that, unlike QSpinBox, lets the user type a
// value outside its range: the value is pulled into range only when the field loses
// focus. Typed characters are limited to digits, "+", "-" and the decimal separator;
// text that is not an integer reads as 0.
class NumberEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    NumberEdit(int minimum, int maximum, int value, QWidget* parent = nullptr);

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int value() const;
    // Shows `value` brought into range; a change of the text emits changed().
    void setValue(int value);

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    QSize sizeHint() const override;

signals:
    void changed();

protected:
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int m_minimum;
    int m_maximum;
};
