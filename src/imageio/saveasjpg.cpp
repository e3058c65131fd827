#include "imageunit.h"
#include "jpegencoder.h"
#include "pictureview.h"

bool SaveAsJPG(const std::string& fileName, const Picture& image)
{
    return saveEncoded(fileName, image, EncodeJpeg);
}
