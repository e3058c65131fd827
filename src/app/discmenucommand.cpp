#include "discmenucommand.h"

#include "disc/discmenuexport.h"

#include <cstdio>
#include <exception>

namespace {

void say(const std::string& text)
{
    std::fprintf(stderr, "tavrel: %s\n", text.c_str());
}

} // namespace

int RunDiscMenuCommand(const MenuDocument& doc, const std::string& dir)
{
    DiscMenuResult result;
    try {
        result = ExportDiscMenu(doc, dir);
    } catch (const std::exception& e) {
        say(e.what());
        return 1;
    }
    for (const std::string& file : result.written)
        say(file + " saved");
    if (result.subpicture == SubpictureOutcome::Added ||
        result.subpicture == SubpictureOutcome::NotForVcd) {
        if (!result.note.empty())
            say(result.note);
        return 0;
    }
    say(result.note);
    return kExitSubpictureFailed;
}
