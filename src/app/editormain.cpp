#include "editor.h"

// Started by tavrel with the arguments it was given (none, or one project).
int main(int argc, char** argv)
{
    return RunEditor(argc, argv);
}
