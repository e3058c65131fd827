#include "customcolors.h"

#include <QStringList>

#include <stdexcept>

namespace {

// Lines as the text splits at CR, LF or CR LF; a final break gives no empty line.
QStringList splitLines(const QString& text)
{
    QStringList lines;
    QString current;
    bool pending = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            lines << current;
            current.clear();
            pending = false;
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            current += c;
            pending = true;
        }
    }
    if (pending)
        lines << current;
    return lines;
}

qsizetype findKey(const QStringList& lines, const QString& key)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype eq = lines[i].indexOf(u'=');
        if (eq >= 0 && QStringView(lines[i]).left(eq).compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// A 32-bit integer from hex digits, as a "$" literal converts: FFFFFFFF is -1.
std::int32_t parseHex(const QString& hex)
{
    const auto fail = [&] {
        throw std::runtime_error(("'$" + hex + "' is not a valid integer value").toStdString());
    };
    if (hex.isEmpty() || hex.size() > 8)
        fail();
    std::uint32_t v = 0;
    for (const QChar c : hex) {
        int d = -1;
        if (c >= u'0' && c <= u'9')
            d = c.unicode() - u'0';
        else if (c >= u'a' && c <= u'f')
            d = c.unicode() - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            d = c.unicode() - u'A' + 10;
        if (d < 0)
            fail();
        v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    return static_cast<std::int32_t>(v);
}

QString formatHex(std::int32_t value)
{
    return QStringLiteral("%1")
        .arg(static_cast<std::uint32_t>(value), 6, 16, QLatin1Char('0'))
        .toUpper();
}

} // namespace

CustomColorList::Slots CustomColorList::values() const
{
    const QStringList lines = splitLines(m_text);
    Slots result{};
    for (int i = 0; i < kSlots; ++i) {
        const qsizetype at = findKey(lines, slotKey(i));
        result[static_cast<std::size_t>(i)] =
            at < 0 ? -1 : parseHex(lines[at].mid(lines[at].indexOf(u'=') + 1));
    }
    return result;
}

void CustomColorList::store(const Slots& values)
{
    QStringList lines = splitLines(m_text);
    for (int i = 0; i < kSlots; ++i) {
        const QString line = slotKey(i) + u'=' + formatHex(values[static_cast<std::size_t>(i)]);
        const qsizetype at = findKey(lines, slotKey(i));
        if (at < 0)
            lines << line;
        else
            lines[at] = line;
    }
    m_text.clear();
    for (const QString& line : lines)
        m_text += line + QStringLiteral("\r\n");
}
