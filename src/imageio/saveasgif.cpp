#include "codecs/gifencoder.h"
#include "imageunit.h"
#include "pictureview.h"

bool SaveAsGIF(const std::string& fileName, const Picture& image)
{
    return saveEncoded(fileName, image, EncodeGif);
}
