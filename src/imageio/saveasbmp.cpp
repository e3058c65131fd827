#include "bmpencoder.h"
#include "imageunit.h"
#include "pictureview.h"

bool SaveAsBMP(const std::string& fileName, const Picture& image)
{
    return saveEncoded(fileName, image, EncodeBmp);
}
