#pragma once

#include <QString>

#include <array>
#include <cstdint>

// The colour chooser's 16 custom colours, kept as the text stored in the settings:
// lines "ColorA=HEX" .. "ColorP=HEX", each ended by CR LF. A slot value is the colour
// integer (BBGGRR) or -1 for an empty slot (written FFFFFFFF).
class CustomColorList {
public:
    static constexpr int kSlots = 16;
    using Slots = std::array<std::int32_t, kSlots>;

    explicit CustomColorList(QString text = {}) : m_text(std::move(text)) {}

    // Exactly as read or last stored.
    const QString& text() const { return m_text; }

    // The slot values; a key is matched without regard to case, the first line wins,
    // a missing one gives -1. Throws std::runtime_error("'$" + hex + "' is not a valid
    // integer value") for a malformed hex part.
    Slots values() const;

    // Writes all 16 slots back: each replaces the value of the line with its key or is
    // appended; other lines stay.
    void store(const Slots& values);

    static QString slotKey(int slot) { return QStringLiteral("Color") + QChar(u'A' + slot); }

private:
    QString m_text;
};
