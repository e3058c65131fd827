#include "imageunit.h"
#include "pictureview.h"
#include "codecs/gifencoder.h"

bool SaveAsGIF(const std::string& fileName, const Picture& image)
{
    return saveEncoded(fileName, image, EncodeGif);
}
