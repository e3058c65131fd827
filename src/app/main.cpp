#include "editor.h"
#include "headless.h"

int main(int argc, char** argv)
{
    // Only "--" options make a command; a single plain argument is a project for the editor.
    if (IsHeadlessInvocation(argc, argv))
        return RunHeadless(argc, argv);
    return RunEditor(argc, argv);
}
