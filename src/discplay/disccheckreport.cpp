#include "disccheck.h"

#include <algorithm>

bool DiscCheckReport::passed() const
{
    return !rows.empty() &&
           std::all_of(rows.begin(), rows.end(), [](const DiscCheckRow& r) { return r.passed; });
}

const DiscCheckRow* DiscCheckReport::row(DiscCheck check) const
{
    for (const DiscCheckRow& r : rows)
        if (r.check == check)
            return &r;
    return nullptr;
}

std::string FormatDiscCheckTable(const DiscCheckReport& report)
{
    std::size_t width = 0;
    for (const DiscCheckRow& r : report.rows)
        width = std::max(width, r.what.size());
    std::string table;
    for (const DiscCheckRow& r : report.rows) {
        table += r.passed ? "ok      " : "FAILED  ";
        table += r.what;
        if (!r.detail.empty()) {
            table.append(width - r.what.size() + 2, ' ');
            table += r.detail;
        }
        table += '\n';
    }
    table += report.passed() ? "The disc plays as it should.\n"
                             : "The disc does not play as it should.\n";
    return table;
}
