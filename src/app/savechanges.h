#pragma once

#include <QString>

#include <functional>

class QWidget;

enum class SaveChangesAnswer { Save, Discard, Cancel };

// Asks "Save changes to <file name>?" ("Untitled" when `path` is empty) with Save, Discard
// and Cancel (Escape and closing the box cancel).
SaveChangesAnswer AskSaveChanges(QWidget* parent, const QString& path = QString());

// Answers every question below with `answer` instead of a box (tests); empty restores the box.
void SetSaveChangesAnswerer(std::function<SaveChangesAnswer()> answer);
