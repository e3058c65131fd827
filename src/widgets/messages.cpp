#include "messages.h"

#include "base/escapecontrols.h"
#include "fixedframe.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <exception>

namespace {

MessageSink& sink()
{
    static MessageSink s;
    return s;
}

QuestionSink& questionSink()
{
    static QuestionSink s;
    return s;
}

} // namespace

void SetQuestionSink(QuestionSink answer)
{
    questionSink() = std::move(answer);
}

bool AskToGoOn(const QString& rawText, const QString& goOn, QWidget* parent)
{
    const QString text =
        QString::fromStdString(EscapeControls(rawText.toStdString(), /*keepNewlines=*/true));
    if (questionSink())
        return questionSink()(text);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tavrel Lite"), text,
                    QMessageBox::NoButton, parent ? parent : QApplication::activeWindow());
    UseFixedDialogFrame(&box);
    QPushButton* go = box.addButton(goOn, QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("&Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == go;
}

void SetMessageSink(MessageSink s)
{
    sink() = std::move(s);
}

void ShowMessage(MessageKind kind, const QString& rawText, QWidget* parent)
{
    // A file name may hold anything; the box shows its control characters escaped.
    const QString text =
        QString::fromStdString(EscapeControls(rawText.toStdString(), /*keepNewlines=*/true));
    if (sink()) {
        sink()(kind, text);
        return;
    }
    QString title;
    QMessageBox::Icon icon = QMessageBox::Critical;
    switch (kind) {
    case MessageKind::Error:
        title = QStringLiteral("Error");
        break;
    case MessageKind::Information:
        title = QStringLiteral("Information");
        icon = QMessageBox::Information;
        break;
    case MessageKind::ErrorBox:
        title = QStringLiteral("Tavrel Lite");
        break;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok,
                    parent ? parent : QApplication::activeWindow());
    UseFixedDialogFrame(&box);
    box.exec();
}

QString ErrorBoxText(const QString& text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void ShowErrorBox(const QString& text, QWidget* parent)
{
    ShowMessage(MessageKind::ErrorBox, ErrorBoxText(text), parent);
}

void RunGuarded(const std::function<void()>& command, QWidget* parent)
{
    try {
        command();
    } catch (const std::exception& e) {
        ShowErrorBox(QString::fromUtf8(e.what()), parent);
    } catch (...) {
        ShowErrorBox(QStringLiteral("Unknown error"), parent);
    }
}
