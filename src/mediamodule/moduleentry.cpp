#include "mediamodule.h"

// The one name the command program looks up in libtavrel-media.so.
extern "C" __attribute__((visibility("default"))) const MediaFunctions* tavrel_media_functions()
{
    return &LinkedMediaFunctions();
}
