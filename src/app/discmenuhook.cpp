#include "discmenuhook.h"

DiscMenuExport DiscMenuExporter()
{
    return {};
}

std::string DiscMenuUnavailableMessage()
{
    return "--disc-menu is not available yet in this build: export pictures and author the "
           "disc menu separately";
}
