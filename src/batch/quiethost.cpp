#include "quiethost.h"

#include "base/failure.h"
#include "imageio/picturereadreason.h"
#include "mediamodule/mediamodule.h"

bool RetakeWithoutDialog(MenuDocument& doc, int n, std::string& failure)
{
    ThumbnailSource& source = doc.item(n).source;
    if (source.menuframe < 0) {
        // The thumbnail dialog reads every negative frame as a picture source.
        source.menuframe = -1;
        std::string reason;
        if (!doc.loadPicture(source.menuclip, PictureUse::Thumbnail, source.ThumbnailImage,
                             reason)) {
            source.ThumbnailImage.clear();
            failure = PictureFailureMessage(source.menuclip, reason);
            return false;
        }
        return true;
    }
    std::int32_t frame = source.menuframe;
    Picture picture;
    std::string error;
    bool taken = false;
    try {
        taken = Media().takeMovieFrame(source.menuclip, frame, picture, error, &failure);
    } catch (const Failure& e) { // no movie support at all
        failure = e.what();
    }
    if (taken)
        source.ThumbnailImage = std::move(picture);
    source.menuframe = frame;
    return taken;
}

void QuietLoadHost::reportLoad(const LoadReport& report)
{
    for (const LoadReport::Source& s : report.relinked)
        notes.push_back(s.stored + " (" + s.what + ") not found; using " + s.found);
    for (const LoadReport::Source& s : report.notFound)
        errors.push_back(s.stored + " (" + s.what + ") not found");
    for (const std::string& failure : report.failures)
        errors.push_back(failure);
}
