#include "gifreader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& why)
{
    throw CodecError("GIF image is not valid: " + why);
}

std::string sizeText(std::uint64_t width, std::uint64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr int kMaxCodeBits = 12;
constexpr int kDictionarySize = 1 << kMaxCodeBits;

class Input {
public:
    explicit Input(std::span<const std::uint8_t> data) : m_data(data) {}

    std::size_t left() const { return m_data.size() - m_pos; }
    std::uint8_t u8()
    {
        if (left() < 1)
            fail("the file ends early");
        return m_data[m_pos++];
    }
    std::uint16_t u16()
    {
        if (left() < 2)
            fail("the file ends early");
        const std::uint16_t v = static_cast<std::uint16_t>(m_data[m_pos] | m_data[m_pos + 1] << 8);
        m_pos += 2;
        return v;
    }
    const std::uint8_t* take(std::size_t count)
    {
        if (left() < count)
            fail("the file ends early");
        const std::uint8_t* p = m_data.data() + m_pos;
        m_pos += count;
        return p;
    }
    // Skips a chain of data sub-blocks up to and including its zero-length terminator.
    void skipSubBlocks()
    {
        for (std::uint8_t size = u8(); size != 0; size = u8())
            take(size);
    }
    std::span<const std::uint8_t> rest() const { return m_data.subspan(m_pos); }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
};

using Rgb = std::array<std::uint8_t, 3>;

struct ColorTable {
    std::array<Rgb, 256> entries{};
    int count = 0;
};

void readColorTable(Input& in, std::uint8_t packed, ColorTable& table)
{
    table.count = 2 << (packed & 7);
    const std::uint8_t* p = in.take(std::size_t(table.count) * 3);
    for (int i = 0; i < table.count; ++i)
        table.entries[std::size_t(i)] = Rgb{p[i * 3], p[i * 3 + 1], p[i * 3 + 2]};
}

// Reads the LZW codes, least significant bit first, across the image's data sub-blocks.
// The end of the chain, or of the file, ends the codes.
class CodeReader {
public:
    explicit CodeReader(std::span<const std::uint8_t> data) : m_data(data) {}

    // Returns -1 at the end of the data.
    int next(int bits)
    {
        while (m_count < bits) {
            if (m_blockLeft == 0) {
                if (m_ended || m_pos >= m_data.size() || m_data[m_pos] == 0) {
                    m_ended = true;
                    return -1;
                }
                m_blockLeft = m_data[m_pos++];
            }
            if (m_pos >= m_data.size()) {
                m_ended = true;
                return -1;
            }
            m_buffer |= std::uint32_t(m_data[m_pos++]) << m_count;
            m_count += 8;
            --m_blockLeft;
        }
        const int code = static_cast<int>(m_buffer & ((1u << bits) - 1));
        m_buffer >>= bits;
        m_count -= bits;
        return code;
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    std::size_t m_blockLeft = 0;
    std::uint32_t m_buffer = 0;
    int m_count = 0;
    bool m_ended = false;
};

// Places the frame's pixels, in stream order, onto the screen: row order by the interlace
// passes, pixels outside the screen dropped.
class PixelSink {
public:
    PixelSink(RgbaImage& image, int left, int top, int width, int height, bool interlaced,
              const ColorTable& colors, int transparent)
        : m_image(image), m_left(left), m_top(top), m_width(width), m_height(height),
          m_interlaced(interlaced), m_transparent(transparent)
    {
        // An index past the colour table reads as opaque black.
        for (int i = 0; i < 256; ++i) {
            auto& c = m_palette[std::size_t(i)];
            if (i < colors.count)
                std::memcpy(c.data(), colors.entries[std::size_t(i)].data(), 3);
            c[3] = 255;
        }
        m_visibleWidth = std::clamp(image.width - left, 0, width);
        m_remaining = std::uint64_t(width) * std::uint64_t(height);
        startRow();
    }

    bool full() const { return m_remaining == 0; }

    void put(std::uint8_t index)
    {
        if (m_row && m_x < m_visibleWidth && index != m_transparent)
            std::memcpy(m_row + std::size_t(m_x) * 4, m_palette[index].data(), 4);
        --m_remaining;
        if (++m_x == m_width) {
            m_x = 0;
            nextRow();
        }
    }

private:
    void nextRow()
    {
        if (!m_interlaced) {
            // The rest of the frame lies below the screen: nothing more to draw.
            if (std::int64_t(m_top) + ++m_y >= m_image.height)
                m_remaining = 0;
        } else {
            static constexpr int kStart[4] = {0, 4, 2, 1};
            static constexpr int kStep[4] = {8, 8, 4, 2};
            m_y += kStep[m_pass];
            while (m_y >= m_height && m_pass < 3) {
                ++m_pass;
                m_y = kStart[m_pass];
            }
        }
        startRow();
    }

    void startRow()
    {
        const std::int64_t screenY = std::int64_t(m_top) + m_y;
        m_row =
            m_y < m_height && screenY < m_image.height
                ? m_image.pixels.data() +
                      (std::size_t(screenY) * std::size_t(m_image.width) + std::size_t(m_left)) * 4
                : nullptr;
        if (m_visibleWidth == 0)
            m_row = nullptr;
    }

    RgbaImage& m_image;
    int m_left, m_top, m_width, m_height;
    bool m_interlaced;
    int m_transparent;
    std::array<std::array<std::uint8_t, 4>, 256> m_palette{};
    int m_visibleWidth = 0;
    std::uint64_t m_remaining = 0;
    int m_x = 0;
    int m_y = 0;
    int m_pass = 0;
    std::uint8_t* m_row = nullptr;
};

// Decodes LZW codes into the sink until the frame is full, an end code, or the data
// ends. A code that cannot be valid also ends the frame: what was decoded stays.
void decodeLzw(CodeReader& codes, int minCodeSize, PixelSink& sink)
{
    std::array<std::uint16_t, kDictionarySize> prefix;
    std::array<std::uint8_t, kDictionarySize> suffix;
    std::array<std::uint8_t, kDictionarySize> first;
    std::array<std::uint8_t, kDictionarySize> stack;

    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    for (int i = 0; i < clearCode; ++i) {
        suffix[std::size_t(i)] = static_cast<std::uint8_t>(i);
        first[std::size_t(i)] = static_cast<std::uint8_t>(i);
    }
    int bits = minCodeSize + 1;
    int nextCode = endCode + 1;
    int previous = -1;

    while (!sink.full()) {
        const int code = codes.next(bits);
        if (code < 0 || code == endCode)
            return;
        if (code == clearCode) {
            bits = minCodeSize + 1;
            nextCode = endCode + 1;
            previous = -1;
            continue;
        }
        if (previous < 0) {
            if (code >= clearCode)
                return;
            sink.put(static_cast<std::uint8_t>(code));
            previous = code;
            // Only a minimum code size of 1 reaches the next width here, as its coders do.
            if (nextCode >= (1 << bits) && bits < kMaxCodeBits)
                ++bits;
            continue;
        }
        if (code > nextCode || (code == nextCode && nextCode >= kDictionarySize))
            return;

        // The string of `code` (for code == nextCode: previous + its own first byte) is
        // unwound onto the stack from its last byte.
        const std::uint8_t head = first[std::size_t(code == nextCode ? previous : code)];
        std::size_t depth = 0;
        if (code == nextCode)
            stack[depth++] = head;
        for (int c = code == nextCode ? previous : code; c >= clearCode; c = prefix[std::size_t(c)])
            stack[depth++] = suffix[std::size_t(c)];
        stack[depth++] = head;

        // Once the dictionary is full it stays as it is until a clear code (a deferred clear).
        if (nextCode < kDictionarySize) {
            prefix[std::size_t(nextCode)] = static_cast<std::uint16_t>(previous);
            suffix[std::size_t(nextCode)] = head;
            first[std::size_t(nextCode)] = first[std::size_t(previous)];
            ++nextCode;
            if (nextCode >= (1 << bits) && bits < kMaxCodeBits)
                ++bits;
        }
        previous = code;
        while (depth > 0 && !sink.full())
            sink.put(stack[--depth]);
    }
}

struct Screen {
    int width = 0;
    int height = 0;
    ColorTable colors;
};

struct Frame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    int transparent = -1;
    int minCodeSize = 0;
    ColorTable localColors;
    bool hasLocalColors = false;
};

Screen readScreen(Input& in)
{
    const std::uint8_t* signature = in.take(6);
    if (std::memcmp(signature, "GIF87a", 6) != 0 && std::memcmp(signature, "GIF89a", 6) != 0)
        fail("it does not start with GIF87a or GIF89a");
    Screen screen;
    screen.width = in.u16();
    screen.height = in.u16();
    const std::uint8_t flags = in.u8();
    in.take(2); // background colour index, pixel aspect ratio
    if (flags & 0x80)
        readColorTable(in, flags, screen.colors);
    return screen;
}

// Blocks up to the first image: extensions are skipped, a Graphic Control Extension
// gives the transparent index of the image that follows.
int skipToImage(Input& in)
{
    int transparent = -1;
    for (;;) {
        const std::uint8_t block = in.u8();
        if (block == kImageSeparator)
            return transparent;
        if (block == 0x3B)
            fail("the file has no image");
        if (block != kExtensionIntroducer)
            fail("block " + std::to_string(block) + " is not an image or an extension");
        const std::uint8_t label = in.u8();
        if (label == kGraphicControlLabel) {
            const std::uint8_t size = in.u8();
            if (size >= 4) {
                const std::uint8_t* gce = in.take(size);
                transparent = (gce[0] & 1) ? gce[3] : -1;
            } else if (size > 0) {
                in.take(size);
            }
            if (size != 0)
                in.skipSubBlocks();
        } else {
            in.skipSubBlocks();
        }
    }
}

Frame readFrame(Input& in)
{
    Frame frame;
    frame.transparent = skipToImage(in);
    frame.left = in.u16();
    frame.top = in.u16();
    frame.width = in.u16();
    frame.height = in.u16();
    const std::uint8_t flags = in.u8();
    frame.interlaced = flags & 0x40;
    frame.hasLocalColors = flags & 0x80;
    if (frame.hasLocalColors)
        readColorTable(in, flags, frame.localColors);
    frame.minCodeSize = in.u8();
    // Codes are at most 12 bits wide, and the pixels must fit a byte.
    if (frame.minCodeSize < 1 || frame.minCodeSize > 8)
        fail("LZW code size " + std::to_string(frame.minCodeSize) + " is not between 1 and 8");
    return frame;
}

// Everything that sizes the allocation, each with its own reason, before any of it.
void checkSize(const Screen& screen, const Frame& frame, std::uint64_t dataBytes,
               const DecodeLimits& limits)
{
    if (screen.width == 0)
        fail("width is 0");
    if (screen.height == 0)
        fail("height is 0");
    const std::string limit = " (the limit is " + std::to_string(limits.maxSide) + ")";
    if (screen.width > limits.maxSide)
        fail("width " + std::to_string(screen.width) + " is too large" + limit);
    if (screen.height > limits.maxSide)
        fail("height " + std::to_string(screen.height) + " is too large" + limit);
    const std::uint64_t screenPixels = std::uint64_t(screen.width) * std::uint64_t(screen.height);
    const std::string pixelLimit = " (the limit is " + std::to_string(limits.maxPixels) + ")";
    if (screenPixels > limits.maxPixels)
        fail(sizeText(screen.width, screen.height) + " is too many pixels" + pixelLimit);
    // Pixels outside the screen still cost decoding work: bound that as well.
    const std::uint64_t framePixels = std::uint64_t(frame.width) * std::uint64_t(frame.height);
    if (framePixels > limits.maxPixels)
        fail("a frame of " + sizeText(frame.width, frame.height) + " is too many pixels" +
             pixelLimit);
    // The screen is allocated whole, the frame only paints what its data holds: a tiny
    // frame on a vast screen is a decompression bomb, not a picture.
    const std::uint64_t painted = std::min(framePixels, LzwMaxPixels(dataBytes));
    if (!limits.plausible(screenPixels, painted * 4))
        fail(sizeText(screen.width, screen.height) + " is too large for its " +
             std::to_string(dataBytes) + " bytes of image data");
}

} // namespace

RgbaImage DecodeGif(std::span<const std::uint8_t> data, const DecodeLimits& limits)
{
    Input in(data);
    Screen screen = readScreen(in);
    const Frame frame = readFrame(in);
    // A screen of zero width or height takes the frame's extent, as a writer that grows the
    // screen around each frame would have recorded it.
    if (screen.width == 0)
        screen.width = frame.left + frame.width;
    if (screen.height == 0)
        screen.height = frame.top + frame.height;
    checkSize(screen, frame, in.rest().size(), limits);

    RgbaImage image;
    image.width = screen.width;
    image.height = screen.height;
    image.pixels.assign(std::size_t(screen.width) * std::size_t(screen.height) * 4, 0);
    if (frame.left < screen.width && frame.top < screen.height) {
        CodeReader codes(in.rest());
        PixelSink sink(image, frame.left, frame.top, frame.width, frame.height, frame.interlaced,
                       frame.hasLocalColors ? frame.localColors : screen.colors, frame.transparent);
        decodeLzw(codes, frame.minCodeSize, sink);
    }
    return image;
}
