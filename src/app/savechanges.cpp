#include "savechanges.h"

#include "widgets/fixedframe.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

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

SaveChangesAnswer AskSaveChanges(QWidget* parent, const QString& path)
{
    if (answerer())
        return answerer()();
    const QString name = path.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(path).fileName();
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tavrel Lite"),
                    QStringLiteral("Save changes to %1?").arg(name),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    UseFixedDialogFrame(&box);
    // The platform's captions carry no mnemonics.
    box.button(QMessageBox::Save)->setText(QStringLiteral("&Save"));
    box.button(QMessageBox::Discard)->setText(QStringLiteral("&Discard"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("&Cancel"));
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
