#include "dialogcursor.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>

namespace {

const char* const kArrowPushed = "tavrelArrowPushed";

bool busyCursorShown()
{
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor && (cursor->shape() == Qt::WaitCursor || cursor->shape() == Qt::BusyCursor);
}

class DialogCursorFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::Show && type != QEvent::Hide)
            return false;
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (!dialog || !dialog->isWindow())
            return false;
        if (type == QEvent::Show) {
            if (dialog->isModal() && !dialog->property(kArrowPushed).toBool() &&
                busyCursorShown()) {
                QApplication::setOverrideCursor(Qt::ArrowCursor);
                dialog->setProperty(kArrowPushed, true);
            }
        } else if (dialog->property(kArrowPushed).toBool()) {
            dialog->setProperty(kArrowPushed, false);
            QApplication::restoreOverrideCursor();
        }
        return false;
    }
};

} // namespace

void KeepArrowOverDialogs()
{
    static QPointer<DialogCursorFilter> filter;
    if (filter || !qApp)
        return;
    filter = new DialogCursorFilter(qApp);
    qApp->installEventFilter(filter);
}
