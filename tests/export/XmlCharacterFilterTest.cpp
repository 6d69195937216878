#include "export/XmlCharacterFilter.h"

#include "export/ElectionRace.h"
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

// The durations per candidate count are checked on exported playlists (PlaylistDocument tests).
TEST(ElectionRaceRules, ActionParametersAreUpperCasedWithoutTheLocale) {
    ElectionRace race;
    race.displayName = QString::fromUtf8("Straße governor");
    race.precinctsPercentage = u"45% in"_s;
    race.candidates.push_back({u"ilse"_s, QString::fromUtf8("öz"), u"1,204"_s, u"51.5"_s, u"w"_s});
    // Locale-independent upper-casing: ß becomes SS, and i is I whatever the user's language.
    EXPECT_EQ(race.actionParameters(),
              QString::fromUtf8("STRASSE GOVERNOR##45% IN##ILSE##ÖZ##1,204##51.5##W"));
}
