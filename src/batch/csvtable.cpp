#include "csvtable.h"

namespace {

class Parser {
public:
    Parser(std::string_view text, const CsvLimits& limits) : m_text(text), m_limits(limits) {}

    // Reads one record into `fields`; false at the end of the text.
    bool next(std::vector<std::string>& fields, std::size_t& startLine)
    {
        fields.clear();
        if (m_pos >= m_text.size())
            return false;
        startLine = m_line;
        for (;;) {
            if (fields.size() >= m_limits.maxFields)
                fail("more than " + std::to_string(m_limits.maxFields) + " fields in a row");
            if (++m_cells > m_limits.maxCells)
                fail("more than " + std::to_string(m_limits.maxCells) + " fields in the table");
            fields.emplace_back();
            std::string& field = fields.back();
            if (m_pos < m_text.size() && m_text[m_pos] == '"')
                quoted(field);
            else
                plain(field);
            if (m_pos >= m_text.size())
                return true;
            const char c = m_text[m_pos];
            if (c == ',') {
                ++m_pos;
                continue;
            }
            lineBreak(); // plain() and quoted() stop only at a comma or a line break
            return true;
        }
    }

    std::size_t line() const { return m_line; }

    [[noreturn]] void fail(const std::string& what) const
    {
        throw CsvError("line " + std::to_string(m_line) + ": " + what);
    }

private:
    void lineBreak()
    {
        if (m_text[m_pos] == '\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n')
            ++m_pos;
        ++m_pos;
        ++m_line;
    }

    void append(std::string& field, std::string_view part)
    {
        if (part.size() > m_limits.maxFieldBytes - field.size())
            fail("a field longer than " + std::to_string(m_limits.maxFieldBytes) + " bytes");
        field.append(part);
    }

    void plain(std::string& field)
    {
        const std::size_t end = m_text.find_first_of(",\r\n", m_pos);
        const std::size_t stop = end == std::string_view::npos ? m_text.size() : end;
        append(field, m_text.substr(m_pos, stop - m_pos));
        m_pos = stop;
    }

    void quoted(std::string& field)
    {
        const std::size_t openLine = m_line;
        ++m_pos; // the opening quote
        for (;;) {
            const std::size_t quote = m_text.find('"', m_pos);
            if (quote == std::string_view::npos)
                throw CsvError("line " + std::to_string(openLine) +
                               ": a quoted field is not closed");
            const std::string_view part = m_text.substr(m_pos, quote - m_pos);
            for (std::size_t i = 0; i < part.size(); ++i)
                if (part[i] == '\n' ||
                    (part[i] == '\r' && (i + 1 == part.size() || part[i + 1] != '\n')))
                    ++m_line;
            append(field, part);
            m_pos = quote + 1;
            if (m_pos < m_text.size() && m_text[m_pos] == '"') {
                append(field, "\"");
                ++m_pos;
                continue;
            }
            break;
        }
        if (m_pos < m_text.size() && m_text[m_pos] != ',' && m_text[m_pos] != '\r' &&
            m_text[m_pos] != '\n')
            fail("text after the closing quote of a field");
    }

    std::string_view m_text;
    const CsvLimits& m_limits;
    std::size_t m_pos = 0;
    std::size_t m_line = 1;
    std::size_t m_cells = 0;
};

bool blank(const std::vector<std::string>& fields)
{
    return fields.size() == 1 && fields.front().empty();
}

} // namespace

CsvTable ParseCsv(std::string_view text, const CsvLimits& limits)
{
    if (text.size() > limits.maxBytes)
        throw CsvError("the table is larger than " + std::to_string(limits.maxBytes) + " bytes");
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);

    Parser parser(text, limits);
    CsvTable table;
    std::vector<std::string> fields;
    std::size_t line = 0;
    bool haveHeader = false;
    while (parser.next(fields, line)) {
        // A blank line is no record: hand-written tables often end with one or two.
        if (blank(fields))
            continue;
        if (!haveHeader) {
            table.header = std::move(fields);
            haveHeader = true;
            continue;
        }
        if (table.rows.size() >= limits.maxRecords)
            throw CsvError("line " + std::to_string(line) + ": more than " +
                           std::to_string(limits.maxRecords) + " rows");
        table.rows.push_back(CsvRecord{line, std::move(fields)});
        fields = {};
    }
    if (!haveHeader)
        throw CsvError("the table is empty: the first line must name the columns");
    return table;
}
