#include "imageunit.h"
#include "pictureview.h"
#include "bmpencoder.h"

bool SaveAsBMP(const std::string& fileName, const Picture& image)
{
    return saveEncoded(fileName, image, EncodeBmp);
}
