#include "lzwencoder.h"

#include "codectypes.h"

#include <algorithm>
#include <array>

namespace {

constexpr int kMaxBits = 12;
constexpr int kLargestCode = 4094;

// Collects bytes into length-prefixed data sub-blocks of at most 255 bytes.
class TGIFWriter {
public:
    explicit TGIFWriter(std::vector<std::uint8_t>& out) : m_out(out) { startBlock(); }
    void put(std::uint8_t byte)
    {
        m_out.push_back(byte);
        if (++m_blockSize == 255)
            startBlock();
    }
    // Closes the last sub-block and writes the block terminator.
    void finish()
    {
        if (m_blockSize == 0)
            m_out.pop_back();
        else
            m_out[m_lengthAt] = static_cast<std::uint8_t>(m_blockSize);
        m_out.push_back(0);
    }

private:
    void startBlock()
    {
        if (m_blockSize > 0)
            m_out[m_lengthAt] = static_cast<std::uint8_t>(m_blockSize);
        m_lengthAt = m_out.size();
        m_out.push_back(0);
        m_blockSize = 0;
    }

    std::vector<std::uint8_t>& m_out;
    std::size_t m_lengthAt = 0;
    int m_blockSize = 0;
};

// Exact map (prefix code, pixel) -> code with open addressing; a clear is a 32 KB fill.
class Dictionary {
public:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

    void clear() { m_slots.fill(kEmpty); }
    // The slot for `key`: either holding it or the empty one where it belongs.
    std::uint32_t& slotFor(std::uint32_t key)
    {
        std::uint32_t i = (key * 2654435761u) >> (32 - kSlotBits);
        for (;;) {
            std::uint32_t& slot = m_slots[i];
            if (slot == kEmpty || (slot >> 12) == key)
                return slot;
            i = (i + 1) & (kSlots - 1);
        }
    }

private:
    static constexpr int kSlotBits = 13; // 8192 slots for at most 4094 - 4 entries
    static constexpr std::uint32_t kSlots = 1u << kSlotBits;
    std::array<std::uint32_t, kSlots> m_slots;
};

class CodeWriter {
public:
    CodeWriter(TGIFWriter& writer, int initialWidth)
        : m_writer(writer), m_initialWidth(initialWidth), m_width(initialWidth)
    {
    }
    // `freeCode` is the code the dictionary would give out next: it decides the
    // width of the following codes.
    void write(int code, bool isClear, int freeCode)
    {
        m_bits |= static_cast<std::uint64_t>(code) << m_bitCount;
        m_bitCount += m_width;
        while (m_bitCount >= 8) {
            m_writer.put(static_cast<std::uint8_t>(m_bits));
            m_bits >>= 8;
            m_bitCount -= 8;
        }
        if (isClear)
            m_width = m_initialWidth;
        else if (freeCode > (1 << m_width) - 1 && m_width < kMaxBits)
            ++m_width;
    }
    void flush()
    {
        if (m_bitCount > 0)
            m_writer.put(static_cast<std::uint8_t>(m_bits));
        m_bits = 0;
        m_bitCount = 0;
    }

private:
    TGIFWriter& m_writer;
    int m_initialWidth;
    int m_width;
    std::uint64_t m_bits = 0;
    int m_bitCount = 0;
};

} // namespace

void TLZWEncoder::encode(std::span<const std::uint8_t> pixels, int colorBits,
                         std::vector<std::uint8_t>& out)
{
    if (colorBits < 1 || colorBits > 8)
        throw CodecError("Bad colour table size");
    if (pixels.empty())
        throw CodecError("Empty image");
    const int limit = 1 << colorBits;
    if (colorBits < 8 &&
        std::any_of(pixels.begin(), pixels.end(), [limit](std::uint8_t p) { return p >= limit; }))
        throw CodecError("Color not in color table");

    const int codeSize = std::max(2, colorBits);
    const int clearCode = 1 << codeSize;
    const int endCode = clearCode + 1;
    out.push_back(static_cast<std::uint8_t>(codeSize));

    TGIFWriter writer(out);
    CodeWriter codes(writer, codeSize + 1);
    Dictionary dictionary;
    dictionary.clear();
    int freeCode = clearCode + 2;
    codes.write(clearCode, true, freeCode);

    std::uint32_t prefix = pixels[0];
    for (std::size_t i = 1; i < pixels.size(); ++i) {
        const std::uint8_t p = pixels[i];
        const std::uint32_t key = (prefix << 8) | p;
        std::uint32_t& slot = dictionary.slotFor(key);
        if (slot != Dictionary::kEmpty) {
            prefix = slot & 0xFFFu;
            continue;
        }
        codes.write(static_cast<int>(prefix), false, freeCode);
        prefix = p;
        if (freeCode > kLargestCode) {
            codes.write(clearCode, true, freeCode);
            dictionary.clear();
            freeCode = clearCode + 2;
        } else {
            slot = (key << 12) | static_cast<std::uint32_t>(freeCode);
            ++freeCode;
        }
    }
    codes.write(static_cast<int>(prefix), false, freeCode);
    codes.write(endCode, false, freeCode);
    codes.flush();
    writer.finish();
}
