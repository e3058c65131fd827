#pragma once

#include <functional>

class QWidget;

enum class SaveChangesAnswer { Save, Discard, Cancel };

// Asks "Save changes?" with Save, Discard and Cancel (Escape and closing the box cancel).
SaveChangesAnswer AskSaveChanges(QWidget* parent);

// Answers every question below with `answer` instead of a box (tests); empty restores the box.
void SetSaveChangesAnswerer(std::function<SaveChangesAnswer()> answer);
