#include "discplay/checkapart.h"
#include "editor.h"

// Started by tavrel with the arguments it was given (none, or one project).
int main(int argc, char** argv)
{
    // The disc check runs as this program in its hidden check mode.
    if (const std::optional<int> checked = RunDiscCheckMode(argc, argv))
        return *checked;
    return RunEditor(argc, argv);
}
