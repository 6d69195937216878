#include "export/XmlCharacterFilter.h"

#include "testkit/TestHelpers.h"

#include <gtest/gtest.h>

TEST(XmlCharacterFilter, KeepsWhatXml10AllowsAndDropsTheRest) {
    const QChar highSurrogate(0xD83D);
    const QChar lowSurrogate(0xDE00);
    const struct {
        QString input;
        QString expected;
    } cases[] = {
        {QString(), QString()},
        {u"plain"_s, u"plain"_s},
        {u"tab\tline\ncr\r"_s, u"tab\tline\ncr\r"_s},
        {u"a\u0001b\u001Fc\u007Fd"_s, u"abc\u007Fd"_s},
        {QString(QLatin1String("x") + QChar(0) + QLatin1String("y")), u"xy"_s},
        {u"\uFFFE\uFFFF\uFFFD"_s, u"\uFFFD"_s},
        {u"\uD7FF\uE000"_s, u"\uD7FF\uE000"_s},
        // A character outside the basic plane stays whole; a surrogate without its partner goes.
        {u"a\U0001F600"_s, u"a\U0001F600"_s},
        {QString(QLatin1String("a")) + highSurrogate + QLatin1String("b"), u"ab"_s},
        {QString(QLatin1String("a")) + lowSurrogate, u"a"_s},
        {QString(highSurrogate), QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(XmlCharacterFilter::cleaned(c.input), c.expected) << c.input.toStdString();
}
