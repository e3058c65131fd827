#include "savechanges.h"

#include "widgets/fixedframe.h"

#include <QMessageBox>

#include <utility>

namespace {

std::function<SaveChangesAnswer()>& answerer()
{
    static std::function<SaveChangesAnswer()> a;
    return a;
}

} // namespace

void SetSaveChangesAnswerer(std::function<SaveChangesAnswer()> answer)
{
    answerer() = std::move(answer);
}

SaveChangesAnswer AskSaveChanges(QWidget* parent)
{
    if (answerer())
        return answerer()();
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tavrel Lite"),
                    QStringLiteral("Save changes?"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    UseFixedDialogFrame(&box);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveChangesAnswer::Save;
    case QMessageBox::Discard:
        return SaveChangesAnswer::Discard;
    default:
        return SaveChangesAnswer::Cancel;
    }
}
