#pragma once

#include "dialogcursor.h"

#include <QApplication>

// The busy cursor for the lifetime of the object, or until restore(); restored also when
// an exception leaves. A dialog that opens meanwhile shows the normal arrow.
class BusyCursor {
public:
    BusyCursor()
    {
        KeepArrowOverDialogs();
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor() { restore(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    // Before a message box, which should not show the hourglass.
    void restore()
    {
        if (m_active) {
            QApplication::restoreOverrideCursor();
            m_active = false;
        }
    }

private:
    bool m_active = true;
};
