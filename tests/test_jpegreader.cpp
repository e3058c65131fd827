#include "imageio/jpegreader.h"
#include "jpegmaker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Mean and largest absolute difference between the picture and 3-sample source pixels.
struct Error {
    double mean = 0;
    int largest = 0;
};

Error compare(const Picture& picture, const Bytes& rgb)
{
    Error e;
    double sum = 0;
    std::size_t i = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width() * 3; ++x, ++i) {
            const int d = std::abs(int(picture.row(y)[x]) - int(rgb[i]));
            sum += d;
            e.largest = std::max(e.largest, d);
        }
    e.mean = sum / double(i);
    return e;
}

TEST(JpegReader, ColourMatchesLibjpegAndItsSource)
{
    const JpegSource source = MakeJpegSource(203, 117, 3);
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        const Bytes jpeg = EncodeJpeg(source, 95, progressive);
        const Picture picture = DecodeJpeg(jpeg);
        ASSERT_EQ(picture.width(), 203);
        ASSERT_EQ(picture.height(), 117);
        // Same settings as the library's defaults, so exactly the library's pixels.
        const Error vsLibrary = compare(picture, PlainJpegDecode(jpeg));
        EXPECT_EQ(vsLibrary.largest, 0);
        const Error vsSource = compare(picture, source.samples);
        EXPECT_LT(vsSource.mean, 1.5);
        EXPECT_LE(vsSource.largest, 12);
    }
}

TEST(JpegReader, GreyscaleComesOutGreyWithAtMost236Levels)
{
    // A full ramp, so that more than 236 levels would show if the quantiser were skipped.
    JpegSource source = MakeJpegSource(256, 64, 1);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x)
            source.samples[std::size_t(y) * 256 + std::size_t(x)] = static_cast<std::uint8_t>(x);
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        const Picture picture = DecodeJpeg(EncodeJpeg(source, 100, progressive));
        ASSERT_EQ(picture.width(), 256);
        std::set<int> levels;
        double error = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const std::uint8_t* p = picture.pixel(x, y);
                ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << "," << y;
                levels.insert(p[0]);
                error += std::abs(p[0] - x);
            }
        EXPECT_LE(levels.size(), 236u);
        EXPECT_GE(levels.size(), 200u);
        EXPECT_LT(error / (256.0 * 64.0), 1.5); // dithering keeps the average right
    }
}

TEST(JpegReader, AdobeCmykBecomesRgb)
{
    // Inverted CMYK: 255 means no ink, so (C, M, Y, K) = (R, G, B, 255) is the colour itself
    // and K = 128 halves it.
    const JpegSource rgb = MakeJpegSource(64, 48, 3);
    JpegSource cmyk;
    cmyk.width = 64;
    cmyk.height = 48;
    cmyk.components = 4;
    Bytes expected;
    for (std::size_t i = 0; i < rgb.samples.size(); i += 3) {
        const int k = (i / 3) % 64 < 32 ? 255 : 128;
        for (int c = 0; c < 3; ++c) {
            cmyk.samples.push_back(rgb.samples[i + c]);
            expected.push_back(static_cast<std::uint8_t>((rgb.samples[i + c] * k + 127) / 255));
        }
        cmyk.samples.push_back(static_cast<std::uint8_t>(k));
    }
    const Picture picture = DecodeJpeg(EncodeJpeg(cmyk, 100, false));
    ASSERT_EQ(picture.width(), 64);
    const Error e = compare(picture, expected);
    EXPECT_LT(e.mean, 1.5);
    EXPECT_LE(e.largest, 12);
}

TEST(JpegReader, DamagedDataFailsWithoutEndingTheProcess)
{
    const Bytes jpeg = EncodeJpeg(MakeJpegSource(96, 80, 3), 90, false);
    const Bytes progressive = EncodeJpeg(MakeJpegSource(96, 80, 3), 90, true);
    EXPECT_THROW(DecodeJpeg(Bytes{}), CodecError);
    EXPECT_THROW(DecodeJpeg(Bytes{0xFF, 0xD8}), CodecError);
    EXPECT_THROW(DecodeJpeg(Bytes(1000, 0x42)), CodecError);
    const Bytes pngStart = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                            0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    EXPECT_THROW(DecodeJpeg(pngStart), CodecError);

    // Cut short anywhere: refused (libjpeg alone would pad the picture with grey).
    for (const Bytes* file : {&jpeg, &progressive})
        for (std::size_t n = 0; n + 2 < file->size(); n += 37)
            EXPECT_THROW(DecodeJpeg(std::span(file->data(), n)), CodecError) << "length " << n;

    // A damaged byte anywhere gives either an error or a picture of the right size.
    for (std::size_t pos = 2; pos < jpeg.size(); pos += 7) {
        Bytes damaged = jpeg;
        damaged[pos] ^= 0x5A;
        try {
            const Picture picture = DecodeJpeg(damaged);
            EXPECT_GT(picture.width(), 0);
        } catch (const CodecError&) {
        }
    }
}

TEST(JpegReader, LimitsAreCheckedBeforeDecoding)
{
    const Bytes jpeg = EncodeJpeg(MakeJpegSource(120, 40, 3), 80, false);
    EXPECT_NO_THROW(DecodeJpeg(jpeg, DecodeLimits{120, 4800}));
    EXPECT_THROW(DecodeJpeg(jpeg, DecodeLimits{119, 1000000}), CodecError);
    EXPECT_THROW(DecodeJpeg(jpeg, DecodeLimits{1000, 4799}), CodecError);

    // A header claiming 20000 x 20000 in front of a few hundred bytes of data.
    Bytes huge = jpeg;
    for (std::size_t i = 2; i + 9 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0x4E;
            huge[i + 6] = huge[i + 8] = 0x20;
            break;
        }
    EXPECT_THROW(DecodeJpeg(huge), CodecError);
}

} // namespace
