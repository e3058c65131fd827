#include "missingsource.h"

#include "base/atomicfile.h"
#include "base/fileio.h"
#include "imageio/picturereadreason.h"

std::string MissingSource(const MenuDocument& doc)
{
    if (!doc.bgimage.empty() && doc.BackgroundPicture.isEmpty())
        return PictureFailureMessage(doc.bgimage, doc.BackgroundFailure.empty()
                                                      ? "the file cannot be read"
                                                      : doc.BackgroundFailure);
    // A text list draws no thumbnails, and items past the count are not drawn at all.
    if (!doc.thumbs)
        return {};
    for (int n = 1; n <= doc.visibleItemCount(); ++n) {
        const ThumbnailSource& source = doc.item(n).source;
        if (source.menuclip.empty() || !source.ThumbnailImage.isEmpty())
            continue;
        const std::string item = " (item " + std::to_string(n) + ")";
        return IsRegularFile(source.menuclip) ? "Cannot read " + FileNameOf(source.menuclip) + item
                                              : source.menuclip + item + " not found";
    }
    return {};
}
