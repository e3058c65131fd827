#pragma once

// Small builders shared by the editor's pages.
#include <QString>

#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QWidget;

QPushButton* PickButton(const QString& name, const QString& hint = QString());
QLineEdit* TextField(const QString& name, const QString& text = QString());
QCheckBox* CheckBox(const char* name, const QString& caption, bool checked);
// A slider over the caption sizes 5..15, at 10.
QSlider* SizeSlider(const char* name);
// The slider with its value beside it; `value` receives the label.
QWidget* WithValue(QSlider* slider, QLabel*& value);
void ChainTabOrder(const std::vector<QWidget*>& widgets);
