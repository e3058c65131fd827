#pragma once

#include <QString>

#include <functional>

class QWidget;

enum class MessageKind {
    Error,       // the tool's own "Error" box
    Information, // the tool's own "Information" box
    ErrorBox,    // the application-wide error box, titled "Tavrel Lite"
};

// Replaces every box below with a call of `sink` (tests); an empty sink restores the boxes.
using MessageSink = std::function<void(MessageKind kind, const QString& text)>;
void SetMessageSink(MessageSink sink);

// A modal box with one OK button; the text is shown as given.
void ShowMessage(MessageKind kind, const QString& text, QWidget* parent = nullptr);

// A warning that asks before something is replaced: true when the user chose the button
// captioned `goOn` ("&Replace"), false for Cancel (the default) and for closing the box.
bool AskToGoOn(const QString& text, const QString& goOn, QWidget* parent = nullptr);

// Replaces the questions above with `answer` (tests); empty restores the boxes.
using QuestionSink = std::function<bool(const QString& text)>;
void SetQuestionSink(QuestionSink answer);

// The error text as the error box shows it: "." appended when the last character sorts after ".".
QString ErrorBoxText(const QString& text);

// An error that ended a command; the program goes on afterwards.
void ShowErrorBox(const QString& text, QWidget* parent = nullptr);

// Runs one command, sending any exception it throws to the error box.
void RunGuarded(const std::function<void()>& command, QWidget* parent = nullptr);
