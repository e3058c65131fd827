#include "imageunit.h"
#include "pictureview.h"
#include "codecs/pngencoder.h"

bool SaveAsPNG(const std::string& fileName, const Picture& image)
{
    return saveEncoded(fileName, image, EncodePng);
}
