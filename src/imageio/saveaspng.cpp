#include "codecs/pngencoder.h"
#include "imageunit.h"
#include "pictureview.h"

bool SaveAsPNG(const std::string& fileName, const Picture& image)
{
    return saveEncoded(fileName, image, EncodePng);
}
