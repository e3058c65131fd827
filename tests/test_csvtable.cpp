#include "batch/csvtable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

TEST(CsvTable, QuotedFieldsKeepCommasQuotesAndLineBreaks)
{
    const CsvTable table = ParseCsv("\xEF\xBB\xBFname,title,menucaption1\r\n"
                                    "a,\"Anna, Ben\",\"She said \"\"yes\"\"\"\r\n"
                                    "b,\"two\r\nlines\",\"\"\r\n"
                                    "c,\"x\ny\",last");
    EXPECT_EQ(table.header, (Fields{"name", "title", "menucaption1"})); // mark dropped
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[0].fields, (Fields{"a", "Anna, Ben", "She said \"yes\""}));
    EXPECT_EQ(table.rows[1].fields, (Fields{"b", "two\r\nlines", ""}));
    EXPECT_EQ(table.rows[2].fields, (Fields{"c", "x\ny", "last"}));
    // Lines count the breaks inside quoted fields.
    EXPECT_EQ(table.rows[0].line, 2u);
    EXPECT_EQ(table.rows[1].line, 3u);
    EXPECT_EQ(table.rows[2].line, 5u);
}

TEST(CsvTable, LineEndsBlankLinesAndEmptyFields)
{
    // LF, CR LF and a lone CR all end records; blank lines are no rows; a trailing comma
    // is an empty last field; a stray quote inside a plain field is kept.
    const CsvTable table = ParseCsv("a,b\n1,\n\n\r\n2,x\"y\r3,4\n,\n");
    ASSERT_EQ(table.rows.size(), 4u);
    EXPECT_EQ(table.rows[0].fields, (Fields{"1", ""}));
    EXPECT_EQ(table.rows[1].fields, (Fields{"2", "x\"y"}));
    EXPECT_EQ(table.rows[2].fields, (Fields{"3", "4"}));
    EXPECT_EQ(table.rows[3].fields, (Fields{"", ""}));
    EXPECT_EQ(table.rows[1].line, 5u);
    EXPECT_EQ(table.rows[2].line, 6u);

    const CsvTable headerOnly = ParseCsv("\xEF\xBB\xBFtitle");
    EXPECT_EQ(headerOnly.header, (Fields{"title"}));
    EXPECT_TRUE(headerOnly.rows.empty());
}

TEST(CsvTable, MalformedTablesNameTheLine)
{
    auto message = [](std::string_view text) -> std::string {
        try {
            ParseCsv(text);
        } catch (const CsvError& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(message("a,b\n1,\"open\n\n"), "line 2: a quoted field is not closed");
    EXPECT_EQ(message("a,b\n\n1,\"x\"y\n"), "line 3: text after the closing quote of a field");
    EXPECT_EQ(message(""), "the table is empty: the first line must name the columns");
    EXPECT_EQ(message("\xEF\xBB\xBF\r\n\n"),
              "the table is empty: the first line must name the columns");
}

TEST(CsvTable, LimitsBoundMemory)
{
    CsvLimits limits;
    limits.maxBytes = 64;
    limits.maxRecords = 2;
    limits.maxFields = 3;
    limits.maxFieldBytes = 8;
    EXPECT_NO_THROW(ParseCsv("a,b,c\n1,2,3\n4,5,6\n", limits));
    EXPECT_THROW(ParseCsv(std::string(65, 'a'), limits), CsvError);
    EXPECT_THROW(ParseCsv("a\n1\n2\n3\n", limits), CsvError);
    EXPECT_THROW(ParseCsv("a,b,c,d\n", limits), CsvError);
    // Rows within their own limits still add up: the whole table is bounded too.
    CsvLimits cells;
    cells.maxCells = 7;
    EXPECT_NO_THROW(ParseCsv("a\n1\n2\n3\n4\n5\n6\n", cells));
    EXPECT_THROW(ParseCsv("a,b\n1,2\n3,4\n5,6\n", cells), CsvError);
    EXPECT_THROW(ParseCsv("a\n123456789\n", limits), CsvError);
    // Doubled quotes count towards the field's size as they are taken.
    EXPECT_THROW(ParseCsv("a\n\"\"\"\"\"\"\"\"\"\"\"\"\"\"\"\"\"\"\"\"\"\"\n", limits), CsvError);
    EXPECT_NO_THROW(ParseCsv("a\n12345678\n", limits));
}

} // namespace
