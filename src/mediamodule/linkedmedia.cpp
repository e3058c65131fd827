#include "mediamodule.h"

#include "disc/menustream.h"
#include "base/failure.h"
#include "thumbs/autoframe.h"
#include "thumbs/mediaframe.h"
#include "thumbs/moviefailure.h"
#include "titles/encodetitles.h"
#include "titles/titleinfo.h"

#include <new>

namespace {

// The commands show this failure as it stands, so it says in words which movie failed
// and why, never FFmpeg's code.
AutoFrame chooseMovieFrame(const std::string& path)
{
    try {
        return ChooseMovieFrame(path);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        throw Failure(MovieFailureMessage(path, e));
    }
}

} // namespace

const MediaFunctions& LinkedMediaFunctions()
{
    static const MediaFunctions table{
        kMediaFunctionsVersion, TakeMovieFrame, chooseMovieFrame, EncodeMenuStream,
        CheckMenuStream,        ProbeTitle,     EncodeTitles};
    return table;
}
