#include "feed/NVSCSVUtilities.h"

#include "testkit/TestHelpers.h"

#include <gtest/gtest.h>

namespace {

using Rows = QList<QStringList>;

QString text(const char16_t* utf16) {
    return QString::fromUtf16(utf16);
}

TEST(CsvRows, SplitAsTheRulesSay) {
    const QString A = u"a"_s, B = u"b"_s, C = u"c"_s;
    const struct {
        const char* name;
        QString input;
        Rows expected;
    } cases[] = {{"EmptyText", QString(), Rows{}},
                 {"OnlyLineBreaks", u"\n\r\n\n"_s, Rows{}},
                 {"TwoLinesOfThreeWords", u"one,two,three\nfour,five,six"_s,
                  Rows{{u"one"_s, u"two"_s, u"three"_s}, {u"four"_s, u"five"_s, u"six"_s}}},
                 {"TrailingCommaDropsTheEmptyLastField", u"a,b,\nc"_s, Rows{{A, B}, {C}}},
                 {"EmptyFieldsBetweenCommasStay", u"a,,b"_s, Rows{{A, QString(), B}}},
                 {"LoneCommaIsOneEmptyField", u","_s, Rows{{QString()}}},
                 {"SpacesAfterACommaAreDropped", u"a,  b"_s, Rows{{A, B}}},
                 {"TabsAndNoBreakSpacesAfterACommaAreDropped", text(u"a,\t\u00A0\u3000b"), Rows{{A, B}}},
                 {"WhitespaceBeforeACommaAndAtTheStartStays", u"  a ,b"_s, Rows{{u"  a "_s, B}}},
                 {"WhitespaceAfterACommaInsideQuotesStays", u"\"a,  b\""_s, Rows{{u"a,  b"_s}}},
                 {"QuotedCommaBreakAndDoubledQuote", u"\"x,\ny\"\"z\",w"_s, Rows{{u"x,\ny\"z"_s, u"w"_s}}},
                 {"QuotedCarriageReturnLineFeedStays", u"\"a\r\nb\",c\r\n"_s, Rows{{u"a\r\nb"_s, C}}},
                 {"BlankLinesBetweenDataLinesGiveNoRows", u"a\n\n\n\r\n\nb"_s, Rows{{A}, {B}}},
                 {"CarriageReturnLineFeedIsOneBreak", u"a,b\r\nc\r\n"_s, Rows{{A, B}, {C}}},
                 {"QuotedFieldJoinsFollowingCharacters", u"\"ab\"cd,e"_s, Rows{{u"abcd"_s, u"e"_s}}},
                 {"QuotesSwitchOnAndOffWithinAField", u"x\"y,z\"w\"\"v"_s, Rows{{u"xy,zwv"_s}}},
                 {"UnclosedQuoteRunsToTheEnd", u"a,\"b\nc,d\n"_s, Rows{{A, u"b\nc,d\n"_s}}},
                 {"QuotedEmptyLastFieldIsDropped", u"a,\"\""_s, Rows{{A}}},
                 {"DoubledQuoteAtTheEndOfTheText", u"\"a\"\""_s, Rows{{u"a\""_s}}},
                 {"UnicodeLineBreaksEndRows", text(u"a\u0085b\u2028c\u2029\u000Bd\u000Ce"),
                  Rows{{A}, {B}, {C}, {u"d"_s}, {u"e"_s}}},
                 {"LineBreaksAreNotSkippedAfterACommaAsWhitespace", u"a,\nb"_s, Rows{{A}, {B}}},
                 {"OtherCharactersPassThrough", text(u"\u00E9t\u00E9,\U0001F600,\u200B"),
                  Rows{{text(u"\u00E9t\u00E9"), text(u"\U0001F600"), text(u"\u200B")}}}};
    for (const auto& c : cases)
        EXPECT_EQ(NVSCSVUtilities::CSVRowsWithString(c.input), c.expected) << c.name;
}

} // namespace
