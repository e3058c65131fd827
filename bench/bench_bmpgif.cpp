// Decode time of the BMP and GIF readers at two picture sizes (time per pixel should
// stay flat). Target: a 1920x1080 picture of any kind in well under 20 ms.
#include "codecs/bmpreader.h"
#include "codecs/gifreader.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::uint32_t v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}

void put32(Bytes& b, std::uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// Palette indices of a picture with smooth areas, edges and some grain, like a menu.
std::uint8_t indexAt(int x, int y)
{
    const std::uint32_t grain = (std::uint32_t(x) * 2654435761u ^ std::uint32_t(y) * 40503u) >> 29;
    const int band = ((x / 24) + (y / 40)) & 1;
    return std::uint8_t(((x + y) / 9 + band * 64 + (grain == 0 ? 3 : 0)) & 0xFF);
}

Bytes bmpFile(int width, int height, int bits, std::uint32_t compression, const Bytes& pixels)
{
    const std::uint32_t paletteSize = bits == 8 ? 1024 : 0;
    const std::uint32_t offset = 54 + paletteSize;
    Bytes b = {'B', 'M'};
    put32(b, offset + std::uint32_t(pixels.size()));
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, std::uint32_t(width));
    put32(b, std::uint32_t(height));
    put16(b, 1);
    put16(b, std::uint32_t(bits));
    put32(b, compression);
    put32(b, std::uint32_t(pixels.size()));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, 0);
    put32(b, 0);
    for (std::uint32_t i = 0; i < paletteSize / 4; ++i)
        put32(b, i << 16 | (255 - i) << 8 | ((i * 3) & 0xFF)); // red = index
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes bmp24(int width, int height)
{
    Bytes pixels;
    const std::size_t row = (std::size_t(width) * 3 + 3) / 4 * 4;
    pixels.reserve(row * std::size_t(height));
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t v = indexAt(x, y);
            pixels.insert(pixels.end(), {v, std::uint8_t(v ^ 0x55), std::uint8_t(x)});
        }
        pixels.resize(pixels.size() + (row - std::size_t(width) * 3), 0);
    }
    return bmpFile(width, height, 24, 0, pixels);
}

// RLE8 with runs where the picture repeats and absolute runs where it does not.
Bytes bmpRle8(int width, int height)
{
    Bytes data;
    for (int y = height - 1; y >= 0; --y) {
        int x = 0;
        while (x < width) {
            int run = 1;
            while (x + run < width && run < 255 && indexAt(x + run, y) == indexAt(x, y))
                ++run;
            if (run >= 3) {
                data.insert(data.end(), {std::uint8_t(run), indexAt(x, y)});
                x += run;
                continue;
            }
            int literal = 0;
            while (x + literal < width && literal < 255 &&
                   (x + literal + 2 >= width ||
                    indexAt(x + literal, y) != indexAt(x + literal + 2, y)))
                ++literal;
            if (literal < 3) {
                data.insert(data.end(), {1, indexAt(x, y)});
                ++x;
                continue;
            }
            data.insert(data.end(), {0, std::uint8_t(literal)});
            for (int i = 0; i < literal; ++i)
                data.push_back(indexAt(x + i, y));
            if (literal & 1)
                data.push_back(0);
            x += literal;
        }
        data.insert(data.end(), {0, 0});
    }
    data.insert(data.end(), {0, 1});
    return bmpFile(width, height, 8, 1, data);
}

Bytes gifFile(int width, int height)
{
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    put16(b, std::uint32_t(width));
    put16(b, std::uint32_t(height));
    b.insert(b.end(), {0xF7, 0, 0}); // red = index
    for (int i = 0; i < 256; ++i)
        b.insert(b.end(), {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 3)});
    b.push_back(0x2C);
    put32(b, 0);
    put16(b, std::uint32_t(width));
    put16(b, std::uint32_t(height));
    b.push_back(0);

    // LZW, clearing when the dictionary is full.
    Bytes codes;
    std::vector<std::int16_t> child(4096 * 256, -1);
    int bits = 9, next = 258, count = 0;
    std::uint32_t acc = 0;
    auto emit = [&](int code) {
        acc |= std::uint32_t(code) << count;
        for (count += bits; count >= 8; count -= 8, acc >>= 8)
            codes.push_back(std::uint8_t(acc));
    };
    emit(256);
    int prefix = indexAt(0, 0);
    for (std::size_t i = 1; i < std::size_t(width) * std::size_t(height); ++i) {
        const std::uint8_t c = indexAt(int(i % std::size_t(width)), int(i / std::size_t(width)));
        std::int16_t& slot = child[std::size_t(prefix) * 256 + c];
        if (slot >= 0) {
            prefix = slot;
            continue;
        }
        emit(prefix);
        if (next < 4096) {
            slot = std::int16_t(next++);
            if (next > (1 << bits) && bits < 12)
                ++bits;
        } else {
            emit(256);
            std::fill(child.begin(), child.end(), -1);
            bits = 9;
            next = 258;
        }
        prefix = c;
    }
    emit(prefix);
    emit(257);
    if (count > 0)
        codes.push_back(std::uint8_t(acc));
    b.push_back(8);
    for (std::size_t i = 0; i < codes.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, codes.size() - i);
        b.push_back(std::uint8_t(n));
        b.insert(b.end(), codes.begin() + std::ptrdiff_t(i), codes.begin() + std::ptrdiff_t(i + n));
    }
    b.insert(b.end(), {0, 0x3B});
    return b;
}

template <typename Decode>
void run(benchmark::State& state, const Bytes& file, Decode decode, std::uint8_t lastRed)
{
    // A file that stopped decoding early would time too little.
    const RgbaImage check = decode(file);
    if (check.pixels.empty() || check.pixels.back() != 255 ||
        check.pixels[check.pixels.size() - 4] != lastRed) {
        state.SkipWithError("test file does not decode completely");
        return;
    }
    for (auto _ : state) {
        RgbaImage image = decode(file);
        benchmark::DoNotOptimize(image.pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
    state.counters["file_kB"] = double(file.size()) / 1024;
}

std::uint8_t lastIndex(const benchmark::State& state)
{
    return indexAt(int(state.range(0)) - 1, int(state.range(1)) - 1);
}

void BM_Bmp24(benchmark::State& state)
{
    run(
        state, bmp24(int(state.range(0)), int(state.range(1))),
        [](const Bytes& f) { return DecodeBmp(f); }, std::uint8_t(state.range(0) - 1));
}

void BM_BmpRle8(benchmark::State& state)
{
    run(
        state, bmpRle8(int(state.range(0)), int(state.range(1))),
        [](const Bytes& f) { return DecodeBmp(f); }, lastIndex(state));
}

void BM_Gif(benchmark::State& state)
{
    run(
        state, gifFile(int(state.range(0)), int(state.range(1))),
        [](const Bytes& f) { return DecodeGif(f); }, lastIndex(state));
}

} // namespace

BENCHMARK(BM_Bmp24)->Args({960, 540})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpRle8)->Args({960, 540})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gif)->Args({960, 540})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
