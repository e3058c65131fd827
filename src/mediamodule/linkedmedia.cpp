#include "mediamodule.h"

#include "disc/menustream.h"
#include "motion/motionmenu.h"
#include "thumbs/autoframe.h"
#include "thumbs/mediaframe.h"
#include "titles/encodetitles.h"
#include "titles/titleinfo.h"

const MediaFunctions& LinkedMediaFunctions()
{
    static const MediaFunctions table{kMediaFunctionsVersion, TakeMovieFrame,  ChooseMovieFrame,
                                      EncodeMenuStream,       CheckMenuStream, ProbeTitle,
                                      EncodeTitles,           EncodeMotionMenu};
    return table;
}
