#include "discmenuhook.h"

#include "disc/discmenuexport.h"

#include <stdexcept>

std::string ExportRowDiscMenu(MenuDocument& doc, const std::string& folder)
{
    const DiscMenuResult result = ExportDiscMenu(doc, folder);
    switch (result.subpicture) {
    case SubpictureOutcome::Added:
    case SubpictureOutcome::NotForVcd:
        return result.note;
    case SubpictureOutcome::SpumuxMissing:
    case SubpictureOutcome::SpumuxFailed:
        break;
    }
    throw std::runtime_error(result.note);
}
