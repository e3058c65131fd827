#pragma once

class QApplication;
class QWidget;

// Keeps a top-level window inside its screen's available area: no larger than that (less
// the frame the window manager adds, guessed before the window was first shown) and
// moved so that its title bar and its lower edge can be reached. A window whose layout
// cannot be that small keeps its least size and its top-left corner on the screen.
void FitToScreen(QWidget* window);

// Fits every window of the program as it is shown, dialogs and message boxes included.
void KeepWindowsOnScreen(QApplication& application);
