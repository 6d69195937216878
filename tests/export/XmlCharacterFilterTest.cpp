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
        {QString::fromUtf8("a\x01"
                           "b\x1F"
                           "c\x7F"
                           "d"),
         QString::fromUtf8("abc\x7F"
                           "d")},
        {QString(QLatin1String("x") + QChar(0) + QLatin1String("y")), u"xy"_s},
        {QString(QChar(0xFFFE)) + QChar(0xFFFF) + QChar(0xFFFD), QString(QChar(0xFFFD))},
        {QString(QChar(0xD7FF)) + QChar(0xE000), QString(QChar(0xD7FF)) + QChar(0xE000)},
        // A character outside the basic plane stays whole; a surrogate without its partner goes.
        {QString(QLatin1String("a")) + highSurrogate + lowSurrogate,
         QString(QLatin1String("a")) + highSurrogate + lowSurrogate},
        {QString(QLatin1String("a")) + highSurrogate + QLatin1String("b"), u"ab"_s},
        {QString(QLatin1String("a")) + lowSurrogate, u"a"_s},
        {QString(highSurrogate), QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(XmlCharacterFilter::cleaned(c.input), c.expected) << c.input.toStdString();
}
