#pragma once

// Runs the editor window until it closes; exactly one argument opens that project.
int RunEditor(int argc, char** argv);
