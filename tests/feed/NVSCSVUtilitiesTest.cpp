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

const QString A = u"a"_s, B = u"b"_s, C = u"c"_s;

INSTANTIATE_TEST_SUITE_P(
    Rules, CsvRows,
    ::testing::Values(
        CsvCase{"EmptyText", QString(), Rows{}}, CsvCase{"OnlyLineBreaks", u"\n\r\n\n"_s, Rows{}},
        CsvCase{"TwoLinesOfThreeWords", u"one,two,three\nfour,five,six"_s,
                Rows{{u"one"_s, u"two"_s, u"three"_s}, {u"four"_s, u"five"_s, u"six"_s}}},
        CsvCase{"TrailingCommaDropsTheEmptyLastField", u"a,b,\nc"_s, Rows{{A, B}, {C}}},
        CsvCase{"EmptyFieldsBetweenCommasStay", u"a,,b"_s, Rows{{A, QString(), B}}},
        CsvCase{"LoneCommaIsOneEmptyField", u","_s, Rows{{QString()}}},
        CsvCase{"SpacesAfterACommaAreDropped", u"a,  b"_s, Rows{{A, B}}},
        CsvCase{"TabsAndNoBreakSpacesAfterACommaAreDropped", text(u"a,\t\u00A0\u3000b"), Rows{{A, B}}},
        CsvCase{"WhitespaceBeforeACommaAndAtTheStartStays", u"  a ,b"_s, Rows{{u"  a "_s, B}}},
        CsvCase{"WhitespaceAfterACommaInsideQuotesStays", u"\"a,  b\""_s, Rows{{u"a,  b"_s}}},
        CsvCase{"QuotedCommaBreakAndDoubledQuote", u"\"x,\ny\"\"z\",w"_s, Rows{{u"x,\ny\"z"_s, u"w"_s}}},
        CsvCase{"QuotedCarriageReturnLineFeedStays", u"\"a\r\nb\",c\r\n"_s, Rows{{u"a\r\nb"_s, C}}},
        CsvCase{"BlankLinesBetweenDataLinesGiveNoRows", u"a\n\n\n\r\n\nb"_s, Rows{{A}, {B}}},
        CsvCase{"CarriageReturnLineFeedIsOneBreak", u"a,b\r\nc\r\n"_s, Rows{{A, B}, {C}}},
        CsvCase{"QuotedFieldJoinsFollowingCharacters", u"\"ab\"cd,e"_s, Rows{{u"abcd"_s, u"e"_s}}},
        CsvCase{"QuotesSwitchOnAndOffWithinAField", u"x\"y,z\"w\"\"v"_s, Rows{{u"xy,zwv"_s}}},
        CsvCase{"UnclosedQuoteRunsToTheEnd", u"a,\"b\nc,d\n"_s, Rows{{A, u"b\nc,d\n"_s}}},
        CsvCase{"QuotedEmptyLastFieldIsDropped", u"a,\"\""_s, Rows{{A}}},
        CsvCase{"DoubledQuoteAtTheEndOfTheText", u"\"a\"\""_s, Rows{{u"a\""_s}}},
        CsvCase{"UnicodeLineBreaksEndRows", text(u"a\u0085b\u2028c\u2029\u000Bd\u000Ce"),
                Rows{{A}, {B}, {C}, {u"d"_s}, {u"e"_s}}},
        CsvCase{"LineBreaksAreNotSkippedAfterACommaAsWhitespace", u"a,\nb"_s, Rows{{A}, {B}}},
        CsvCase{"OtherCharactersPassThrough", text(u"\u00E9t\u00E9,\U0001F600,\u200B"),
                Rows{{text(u"\u00E9t\u00E9"), text(u"\U0001F600"), text(u"\u200B")}}}),
    [](const ::testing::TestParamInfo<CsvCase>& param) { return std::string(param.param.name); });

} // namespace
