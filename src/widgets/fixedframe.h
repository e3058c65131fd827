#pragma once

#include <QWidget>

// A dialog of fixed size: a title and a close button, no minimise or maximise.
inline void UseFixedDialogFrame(QWidget* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}
