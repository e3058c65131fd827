#pragma once

#include "base/picture.h"
#include "displayorientation.h"

// The size a picture of `width` x `height` coded pixels has once turned upright.
void UprightSize(const DisplayOrientation& o, int width, int height, int& uprightWidth,
                 int& uprightHeight);

// Writes `coded` into `out` as it stands upright: mirrored first where the orientation
// says so, then turned clockwise. `out` is resized to the upright size; it must not be
// `coded` itself.
void OrientPicture(const Picture& coded, Picture& out, const DisplayOrientation& o);
