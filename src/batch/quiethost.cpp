#include "quiethost.h"

#include "imageio/imageunit.h"
#include "thumbs/mediaframe.h"

void QuietLoadHost::retakeMovieFrame(MenuDocument& doc, int n)
{
    ThumbnailSource& source = doc.item(n).source;
    if (source.menuframe < 0) {
        // Every negative frame reads as a picture source.
        source.menuframe = -1;
        if (!doc.loadPicture(source.menuclip, source.ThumbnailImage)) {
            source.ThumbnailImage.clear();
            errors.push_back("Error loading " + source.menuclip);
        }
        return;
    }
    std::int32_t frame = source.menuframe;
    Picture picture;
    std::string error;
    if (TakeMovieFrame(source.menuclip, frame, picture, error))
        source.ThumbnailImage = std::move(picture);
    else
        errors.push_back(source.menuclip + ": " + error);
    source.menuframe = frame;
}
