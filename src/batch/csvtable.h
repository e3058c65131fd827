#pragma once

#include "base/failure.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A comma-separated table as RFC 4180 writes it: fields separated by commas, records by
// CR LF (a lone LF or CR is taken as well), a field in double quotes may hold commas,
// line breaks and doubled quotes. Standard library only.

// Bounds against hostile or mistaken input; a table over any of them is refused.
struct CsvLimits {
    std::uint64_t maxBytes = 64ULL * 1024 * 1024;
    std::size_t maxRecords = 100'000; // data rows, the header not counted
    std::size_t maxFields = 1024;     // fields in one record
    std::size_t maxCells = 2'000'000; // fields in the whole table: each costs a string
    std::size_t maxFieldBytes = 1024 * 1024;
};

struct CsvRecord {
    std::size_t line = 0; // 1-based line of the file where the record starts
    std::vector<std::string> fields;
};

struct CsvTable {
    std::vector<std::string> header;
    std::vector<CsvRecord> rows; // data rows; blank lines are left out
};

// A table that cannot be read; the message names the line.
class CsvError : public Failure {
public:
    explicit CsvError(const std::string& text) : Failure(text) {}
};

// Parses the whole text. A leading UTF-8 byte-order mark is dropped; bytes are kept as
// they are otherwise. The first record is the header; rows may have any number of fields
// (the caller decides what a short or long row means). A quote inside an unquoted field
// is taken literally. Throws CsvError for an unclosed quote, text after a closing quote,
// an empty table or a limit exceeded.
CsvTable ParseCsv(std::string_view text, const CsvLimits& limits = {});
