// The table reader on arbitrary bytes: it either refuses the text or gives a table
// that, written out again with every field quoted, reads back the same.
#include "batch/csvtable.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void writeRecord(std::string& out, const std::vector<std::string>& fields)
{
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        out += '"';
        for (char c : fields[i]) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    out += "\r\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CsvLimits limits;
    limits.maxBytes = 1 << 20;
    limits.maxRecords = 2000;
    limits.maxFields = 64;
    limits.maxFieldBytes = 4096;
    limits.maxCells = 20000;
    CsvTable table;
    try {
        table = ParseCsv(std::string_view(reinterpret_cast<const char*>(data), size), limits);
    } catch (const CsvError&) {
        return 0;
    }
    std::size_t bytes = 0;
    std::size_t cells = table.header.size();
    std::size_t lastLine = 0;
    for (const CsvRecord& row : table.rows) {
        check(row.line > lastLine);
        lastLine = row.line;
        cells += row.fields.size();
        check(!row.fields.empty() && row.fields.size() <= limits.maxFields);
        for (const std::string& field : row.fields) {
            check(field.size() <= limits.maxFieldBytes);
            bytes += field.size();
        }
    }
    check(bytes <= size && cells <= limits.maxCells);

    std::string again;
    writeRecord(again, table.header);
    for (const CsvRecord& row : table.rows)
        writeRecord(again, row.fields);
    CsvLimits roomy = limits;
    roomy.maxBytes = again.size();
    const CsvTable back = ParseCsv(again, roomy);
    check(back.header == table.header);
    check(back.rows.size() == table.rows.size());
    for (std::size_t r = 0; r < back.rows.size(); ++r)
        check(back.rows[r].fields == table.rows[r].fields);
    return 0;
}
