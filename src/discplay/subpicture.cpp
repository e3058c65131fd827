#include "subpicture.h"

#include <algorithm>

namespace {

unsigned Be16(const std::uint8_t* p)
{
    return unsigned(p[0]) << 8 | p[1];
}

// Larger than any DVD frame; a bound on what a damaged unit can make us allocate.
constexpr int kMaxSide = 1024;

// What the control sequences of a unit set: the display area and where each field's
// run-length data starts.
struct Control {
    int x1 = -1, x2 = -1, y1 = -1, y2 = -1;
    unsigned fieldOffset[2] = {0, 0};
};

std::optional<Control> ReadControl(std::span<const std::uint8_t> unit)
{
    Control control;
    unsigned offset = Be16(&unit[2]);
    // Each sequence names the next; the last names itself. A loop cannot outrun the unit.
    for (int sequences = 0; sequences < 256; ++sequences) {
        if (offset + 4 > unit.size())
            return std::nullopt;
        const unsigned next = Be16(&unit[offset + 2]);
        std::size_t pos = offset + 4;
        for (bool end = false; !end;) {
            if (pos >= unit.size())
                return std::nullopt;
            const std::uint8_t command = unit[pos++];
            std::size_t arguments = 0;
            switch (command) {
            case 0x00: // forced start, start, stop
            case 0x01:
            case 0x02:
                break;
            case 0x03: // colours, contrasts
            case 0x04:
                arguments = 2;
                break;
            case 0x05: // display area: four 12-bit values
                arguments = 6;
                if (pos + 6 <= unit.size()) {
                    const std::uint8_t* a = &unit[pos];
                    control.x1 = a[0] << 4 | a[1] >> 4;
                    control.x2 = (a[1] & 15) << 8 | a[2];
                    control.y1 = a[3] << 4 | a[4] >> 4;
                    control.y2 = (a[4] & 15) << 8 | a[5];
                }
                break;
            case 0x06: // run-length data of the top and bottom fields
                arguments = 4;
                if (pos + 4 <= unit.size()) {
                    control.fieldOffset[0] = Be16(&unit[pos]);
                    control.fieldOffset[1] = Be16(&unit[pos + 2]);
                }
                break;
            case 0x07: // colour changes inside the area: skipped by their own length
                if (pos + 2 > unit.size())
                    return std::nullopt;
                arguments = Be16(&unit[pos]);
                break;
            case 0xff:
                end = true;
                break;
            default:
                return std::nullopt;
            }
            if (pos + arguments > unit.size())
                return std::nullopt;
            pos += arguments;
        }
        if (next == offset)
            return control;
        offset = next;
    }
    return std::nullopt;
}

// Nibbles of one field's run-length data, refusing to read past its end.
class NibbleReader {
public:
    NibbleReader(std::span<const std::uint8_t> data, std::size_t start)
        : m_data(data), m_nibble(start * 2)
    {
    }
    bool next(unsigned& value)
    {
        if (m_nibble / 2 >= m_data.size())
            return false;
        const std::uint8_t byte = m_data[m_nibble / 2];
        value = m_nibble % 2 ? byte & 15 : byte >> 4;
        ++m_nibble;
        return true;
    }
    void alignToByte() { m_nibble += m_nibble % 2; }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_nibble;
};

// One line: codes of 4, 8, 12 or 16 bits, each a run length and a value; length 0 runs
// to the end of the line.
bool DecodeLine(NibbleReader& reader, std::uint8_t* line, int width)
{
    for (int x = 0; x < width;) {
        unsigned code = 0;
        unsigned nibble = 0;
        for (unsigned limit : {0x4u, 0x10u, 0x40u, 0x0u}) {
            if (!reader.next(nibble))
                return false;
            code = code << 4 | nibble;
            if (code >= limit)
                break;
        }
        const int run = static_cast<int>(code >> 2);
        const int end = run == 0 ? width : std::min(width, x + run);
        for (; x < end; ++x)
            line[x] = static_cast<std::uint8_t>(code & 3);
    }
    reader.alignToByte();
    return true;
}

} // namespace

int SubpictureMask::at(int x, int y) const
{
    x -= left;
    y -= top;
    if (x < 0 || y < 0 || x >= width || y >= height)
        return -1;
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
}

std::optional<SubpictureMask> DecodeSubpicture(std::span<const std::uint8_t> unit)
{
    if (unit.size() < 4 || Be16(&unit[0]) != unit.size())
        return std::nullopt;
    const std::optional<Control> control = ReadControl(unit);
    if (!control || control->x1 < 0 || control->x2 < control->x1 || control->y2 < control->y1 ||
        control->x2 >= kMaxSide || control->y2 >= kMaxSide)
        return std::nullopt;
    SubpictureMask mask;
    mask.left = control->x1;
    mask.top = control->y1;
    mask.width = control->x2 - control->x1 + 1;
    mask.height = control->y2 - control->y1 + 1;
    mask.pixels.assign(static_cast<std::size_t>(mask.width) * mask.height, 0);
    // Interlaced: even lines come from the top field's data, odd from the bottom's.
    for (int field = 0; field < 2; ++field) {
        NibbleReader reader(unit, control->fieldOffset[field]);
        for (int y = field; y < mask.height; y += 2)
            if (!DecodeLine(reader, &mask.pixels[static_cast<std::size_t>(y) * mask.width],
                            mask.width))
                return std::nullopt;
    }
    return mask;
}

void SubpictureCollector::feed(std::span<const std::uint8_t> pack)
{
    // An MPEG-2 pack header, 14 bytes and its stuffing, then PES packets to the end.
    if (pack.size() < 14 || Be16(&pack[0]) != 0 || pack[2] != 1 || pack[3] != 0xba)
        return;
    std::size_t pos = 14 + (pack[13] & 7);
    while (pos + 6 <= pack.size()) {
        const std::uint8_t* p = &pack[pos];
        if (p[0] != 0 || p[1] != 0 || p[2] != 1)
            return;
        const std::size_t end = pos + 6 + Be16(&p[4]);
        if (end > pack.size())
            return;
        if (p[3] == 0xbd && pos + 9 <= end) {
            const std::size_t payload = pos + 9 + p[8];
            const bool hasTime = (p[7] & 0x80) != 0;
            if (payload < end && (pack[payload] & 0xe0) == 0x20)
                append(pack[payload] & 0x1f, pack.subspan(payload + 1, end - payload - 1), hasTime);
        }
        pos = end;
    }
}

// A unit starts in a packet with a time stamp and says its own size in its first bytes.
void SubpictureCollector::append(int stream, std::span<const std::uint8_t> data, bool starts)
{
    std::vector<std::uint8_t>& partial = m_partial[static_cast<std::size_t>(stream)];
    if (starts)
        partial.clear();
    else if (partial.empty())
        return;
    partial.insert(partial.end(), data.begin(), data.end());
    if (partial.size() < 2)
        return;
    const std::size_t size = Be16(partial.data());
    if (partial.size() >= size) {
        partial.resize(size);
        m_complete[static_cast<std::size_t>(stream)] = std::move(partial);
        partial.clear();
    }
}

std::span<const std::uint8_t> SubpictureCollector::unit(int stream) const
{
    if (stream < 0 || stream >= 32)
        return {};
    return m_complete[static_cast<std::size_t>(stream)];
}

void SubpictureCollector::clear()
{
    for (auto& v : m_partial)
        v.clear();
    for (auto& v : m_complete)
        v.clear();
}
