#include "gifencoder.h"

#include "colormapoptimizer.h"
#include "fastcolorlookup.h"
#include "lzwencoder.h"

const std::array<GifRgb, 20> kSystemColors = {{
    {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
    {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
    {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
    {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
}};

namespace {

constexpr int kMaxGifSide = 65535;
constexpr int kQuantizedColors = 236;

void put16(std::vector<std::uint8_t>& out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

} // namespace

std::array<GifRgb, 256> BuildGifPalette(const ImageView& image)
{
    TColorQuantizer quantizer(kQuantizedColors);
    quantizer.addImage(image);
    const std::vector<GifRgb> colors = quantizer.palette();

    std::array<GifRgb, 256> palette{}; // black where the octree gives fewer colours
    for (int i = 0; i < 10; ++i)
        palette[i] = kSystemColors[i];
    for (std::size_t i = 0; i < colors.size() && i < kQuantizedColors; ++i)
        palette[10 + i] = colors[i];
    for (int i = 10; i < 20; ++i)
        palette[236 + i] = kSystemColors[i];
    return palette;
}

GifIndexedImage QuantizeForGif(const ImageView& image)
{
    CheckImageView(image, kMaxGifSide, "GIF");
    const std::array<GifRgb, 256> palette = BuildGifPalette(image);
    TFastColorLookup lookup(palette);
    GifIndexedImage result;
    result.width = image.width;
    result.height = image.height;
    result.indices = lookup.mapImage(image);
    result.colors = TColorMapOptimizer::optimize(palette, result.indices).colors;
    return result;
}

std::vector<std::uint8_t> WriteGif(const GifIndexedImage& image)
{
    if (image.width <= 0 || image.height <= 0 || image.width > kMaxGifSide ||
        image.height > kMaxGifSide)
        throw CodecError("Bad GIF image size");
    const std::size_t count =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    if (image.indices.size() != count)
        throw CodecError("Pixel data does not match the image size");
    const int f = static_cast<int>(image.colors.size());
    if (f < 1 || f > 256)
        throw CodecError("Bad colour table size");
    int bits = 1;
    while ((1 << bits) < f)
        ++bits;

    std::vector<std::uint8_t> out;
    out.reserve(800 + count / 2);
    for (char c : {'G', 'I', 'F', '8', '7', 'a'})
        out.push_back(static_cast<std::uint8_t>(c));
    put16(out, image.width);
    put16(out, image.height);
    // Global table present, colour resolution, sorted table, table size.
    out.push_back(static_cast<std::uint8_t>(0x80 | ((bits - 1) << 4) | 0x08 | (bits - 1)));
    out.push_back(0); // background colour index
    out.push_back(0); // pixel aspect ratio
    for (int i = 0; i < (1 << bits); ++i) {
        const GifRgb c = i < f ? image.colors[i] : GifRgb{};
        out.push_back(c.r);
        out.push_back(c.g);
        out.push_back(c.b);
    }
    out.push_back(0x2C);
    put16(out, 0);
    put16(out, 0);
    put16(out, image.width);
    put16(out, image.height);
    out.push_back(0); // no local table, not interlaced
    TLZWEncoder::encode(image.indices, bits, out);
    out.push_back(0x3B);
    return out;
}

std::vector<std::uint8_t> EncodeGif(const ImageView& image)
{
    return WriteGif(QuantizeForGif(image));
}
