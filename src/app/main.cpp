#include "discplay/checkapart.h"
#include "headless.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// The editor is its own program beside this one, so that a command never loads the
// widgets; it takes the same arguments.
int startEditor(char** argv)
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string editor = "tavrel-editor";
    if (length > 0) {
        const std::string path(self, static_cast<std::size_t>(length));
        editor = path.substr(0, path.rfind('/') + 1) + editor;
    }
    ::execv(editor.c_str(), argv);
    std::fprintf(stderr, "tavrel: cannot start the editor %s: %s\n", editor.c_str(),
                 std::strerror(errno));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> checked = RunDiscCheckMode(argc, argv))
        return *checked;
    // Only "--" options make a command; a single plain argument is a project for the editor.
    if (IsHeadlessInvocation(argc, argv))
        return RunHeadless(argc, argv);
    return startEditor(argv);
}
