#include "displayorientation.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include <cmath>
#include <cstdint>

DisplayOrientation ReadDisplayOrientation(const AVStream* stream)
{
    DisplayOrientation o;
    if (!stream)
        return o;
    std::size_t size = 0;
    const std::uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!data || size < 9 * sizeof(std::int32_t))
        return o;
    std::int32_t matrix[9];
    for (int i = 0; i < 9; ++i)
        matrix[i] = reinterpret_cast<const std::int32_t*>(data)[i];
    // A negative determinant means a mirror; undo it on a copy to read the turn.
    const bool mirrored = static_cast<std::int64_t>(matrix[0]) * matrix[4] -
                              static_cast<std::int64_t>(matrix[1]) * matrix[3] <
                          0;
    if (mirrored)
        av_display_matrix_flip(matrix, 1, 0);
    double angle = av_display_rotation_get(matrix); // counter-clockwise degrees
    if (!std::isfinite(angle))
        return o;
    // The matrix mirrors the turned picture; mirroring first takes the opposite turn.
    if (mirrored)
        angle = -angle;
    const long turn = std::lround(-angle);
    if (std::abs(-angle - static_cast<double>(turn)) > 1.0 || turn % 90 != 0)
        return o; // only right angles are meaningful for a picture on a TV
    o.clockwise = static_cast<int>(((turn % 360) + 360) % 360);
    o.flipHorizontal = mirrored;
    return o;
}
