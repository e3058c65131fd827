#include "mediamodule.h"

const MediaFunctions& Media()
{
    return LinkedMediaFunctions();
}
