#pragma once

class SingleInstance;
class TForm1;

// Serves later starts of the program: each brings the window forward, and a project
// handed over is opened as if chosen with Open (asking to save changes first). While a
// dialog waits for the user, the project waits for it to close.
void ServeLaterStarts(SingleInstance& instance, TForm1& window);
