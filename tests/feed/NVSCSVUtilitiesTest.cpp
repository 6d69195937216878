#include "feed/NVSCSVUtilities.h"

#include "testkit/TestHelpers.h"

#include <gtest/gtest.h>

namespace {

using Rows = QList<QStringList>;

QString text(const char16_t* utf16) {
    return QString::fromUtf16(utf16);
}

struct CsvCase {
    const char* name;
    QString input;
    Rows expected;
};

std::ostream& operator<<(std::ostream& os, const CsvCase& c) {
    return os << c.name;
}

class CsvRows : public ::testing::TestWithParam<CsvCase> {};

TEST_P(CsvRows, SplitsAsTheRulesSay) {
    const CsvCase& c = GetParam();
    EXPECT_EQ(NVSCSVUtilities::CSVRowsWithString(c.input), c.expected);
}

const QString A = QStringLiteral("a"), B = QStringLiteral("b"), C = QStringLiteral("c");

INSTANTIATE_TEST_SUITE_P(
    Rules, CsvRows,
    ::testing::Values(
        CsvCase{"EmptyText", QString(), Rows{}},
        CsvCase{"OnlyLineBreaks", QStringLiteral("\n\r\n\n"), Rows{}},
        CsvCase{"TwoLinesOfThreeWords", QStringLiteral("one,two,three\nfour,five,six"),
                Rows{{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")},
                     {QStringLiteral("four"), QStringLiteral("five"), QStringLiteral("six")}}},
        CsvCase{"TrailingCommaDropsTheEmptyLastField", QStringLiteral("a,b,\nc"), Rows{{A, B}, {C}}},
        CsvCase{"EmptyFieldsBetweenCommasStay", QStringLiteral("a,,b"), Rows{{A, QString(), B}}},
        CsvCase{"LoneCommaIsOneEmptyField", QStringLiteral(","), Rows{{QString()}}},
        CsvCase{"SpacesAfterACommaAreDropped", QStringLiteral("a,  b"), Rows{{A, B}}},
        CsvCase{"TabsAndNoBreakSpacesAfterACommaAreDropped", text(u"a,\t\u00A0\u3000b"), Rows{{A, B}}},
        CsvCase{"WhitespaceBeforeACommaAndAtTheStartStays", QStringLiteral("  a ,b"),
                Rows{{QStringLiteral("  a "), B}}},
        CsvCase{"WhitespaceAfterACommaInsideQuotesStays", QStringLiteral("\"a,  b\""),
                Rows{{QStringLiteral("a,  b")}}},
        CsvCase{"QuotedCommaBreakAndDoubledQuote", QStringLiteral("\"x,\ny\"\"z\",w"),
                Rows{{QStringLiteral("x,\ny\"z"), QStringLiteral("w")}}},
        CsvCase{"BlankLinesBetweenDataLinesGiveNoRows", QStringLiteral("a\n\n\n\r\n\nb"), Rows{{A}, {B}}},
        CsvCase{"CarriageReturnLineFeedIsOneBreak", QStringLiteral("a,b\r\nc\r\n"), Rows{{A, B}, {C}}},
        CsvCase{"QuotedFieldJoinsFollowingCharacters", QStringLiteral("\"ab\"cd,e"),
                Rows{{QStringLiteral("abcd"), QStringLiteral("e")}}},
        CsvCase{"QuotesSwitchOnAndOffWithinAField", QStringLiteral("x\"y,z\"w\"\"v"),
                Rows{{QStringLiteral("xy,zwv")}}},
        CsvCase{"UnclosedQuoteRunsToTheEnd", QStringLiteral("a,\"b\nc,d\n"),
                Rows{{A, QStringLiteral("b\nc,d\n")}}},
        CsvCase{"QuotedEmptyLastFieldIsDropped", QStringLiteral("a,\"\""), Rows{{A}}},
        CsvCase{"DoubledQuoteAtTheEndOfTheText", QStringLiteral("\"a\"\""), Rows{{QStringLiteral("a\"")}}},
        CsvCase{"UnicodeLineBreaksEndRows", text(u"a\u0085b\u2028c\u2029\u000Bd\u000Ce"),
                Rows{{A}, {B}, {C}, {QStringLiteral("d")}, {QStringLiteral("e")}}},
        CsvCase{"LineBreaksAreNotSkippedAfterACommaAsWhitespace", QStringLiteral("a,\nb"), Rows{{A}, {B}}},
        CsvCase{"OtherCharactersPassThrough", text(u"\u00E9t\u00E9,\U0001F600,\u200B"),
                Rows{{text(u"\u00E9t\u00E9"), text(u"\U0001F600"), text(u"\u200B")}}}),
    [](const ::testing::TestParamInfo<CsvCase>& param) { return std::string(param.param.name); });

// A spreadsheet's export: CR LF line ends, quoted fields with commas, quotes and a line break,
// a header row, an empty cell and a row whose last cell is empty.
TEST(CsvSpreadsheetExport, ReadsQuotedFieldsAndCrLfLineEnds) {
    const QString exported =
        QStringLiteral("Race,Candidate,Party,Votes,Note\r\n"
                       "\"Governor, District 1\",\"Jane \"\"JJ\"\" Doe\",DEM,\"12,345\",\r\n"
                       "\"Governor, District 1\",John Roe,REP,9876,\"Recount requested\r\nby campaign\"\r\n"
                       "Mayor,Ann Lee,,4500,\r\n");
    const Rows rows = NVSCSVUtilities::CSVRowsWithString(exported);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0],
              (QStringList{QStringLiteral("Race"), QStringLiteral("Candidate"), QStringLiteral("Party"),
                           QStringLiteral("Votes"), QStringLiteral("Note")}));
    EXPECT_EQ(rows[1], (QStringList{QStringLiteral("Governor, District 1"), QStringLiteral("Jane \"JJ\" Doe"),
                                    QStringLiteral("DEM"), QStringLiteral("12,345")}));
    EXPECT_EQ(rows[2], (QStringList{QStringLiteral("Governor, District 1"), QStringLiteral("John Roe"),
                                    QStringLiteral("REP"), QStringLiteral("9876"),
                                    QStringLiteral("Recount requested\r\nby campaign")}));
    EXPECT_EQ(rows[3], (QStringList{QStringLiteral("Mayor"), QStringLiteral("Ann Lee"), QString(),
                                    QStringLiteral("4500")}));
}

} // namespace
