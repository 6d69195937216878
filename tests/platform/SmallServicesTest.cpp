#include "platform/BackgroundRelease.h"
#include "platform/ConsoleLog.h"
#include "platform/DatePatternFormatter.h"
#include "platform/PlainDatePattern.h"
#include "platform/StandardPaths.h"
#include "platform/StringFormat.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

using platform::StringFormat;

TEST(StringFormat, FillsPlaceholdersAsThePlatformFormatDoes) {
    struct Case {
        QString format;
        QVariantList arguments;
        QString expected;
    };
    const std::vector<Case> cases{
        {u"Failed to export dataSource (%@)"_s, {u"Results"_s}, u"Failed to export dataSource (Results)"_s},
        {u"%@ (Document: %@)"_s, {u"Saved"_s, u"a.graflink"_s}, u"Saved (Document: a.graflink)"_s},
        {u"New Technical Log level %li"_s, {qint64(-3)}, u"New Technical Log level -3"_s},
        {u"repeated %lu time%s"_s, {2u, u"s"_s}, u"repeated 2 times"_s},
        {u"%0.3f|%.6f|%5.1f"_s, {1.0, 2.5, 3.14159}, u"1.000|2.500000|  3.1"_s},
        {u"%d%% of %@"_s, {50, u"rows"_s}, u"50% of rows"_s},
        {u"missing %@ and %d"_s, {u"one"_s}, u"missing one and "_s},
        {u"null %@"_s, {QVariant()}, u"null (null)"_s},
        {u"odd %k stays"_s, {1}, u"odd %k stays"_s},
        {u"trailing %"_s, {}, u"trailing %"_s},
        {u"%x"_s, {255}, u"ff"_s},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StringFormat::format(c.format, c.arguments), c.expected) << c.format.toStdString();
    EXPECT_EQ(StringFormat::format(u"%@ = %.2f"_s, "pi", 3.14159), u"pi = 3.14"_s);
}

TEST(DatePatternFormatter, FormatsInTheGivenLocaleAndZone) {
    const QDateTime instant = QDateTime(QDate(2026, 12, 5), QTime(14, 3, 9), Qt::UTC);
    platform::DatePatternFormatter log(u"y-MM-dd\tHH:mm:ss\tEEEE"_s, u"en_US"_s, u"UTC"_s);
    ASSERT_TRUE(log.isValid());
    EXPECT_EQ(log.format(instant), u"2026-12-05\t14:03:09\tSaturday"_s);
    platform::DatePatternFormatter german(u"EEEE"_s, u"de_DE"_s, u"UTC"_s);
    EXPECT_EQ(german.format(instant), u"Samstag"_s);
    platform::DatePatternFormatter tokyo(u"HH:mm"_s, u"en_US"_s, u"Asia/Tokyo"_s);
    EXPECT_EQ(tokyo.format(instant), u"23:03"_s);
}

// The technical log's patterns, formatted without ICU, read as ICU writes them in English, and
// only English locales take that way.
TEST(DatePatternFormatter, PlainPatternsInEnglishReadAsIcuWritesThem) {
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "America/New_York");
    tzset();
    const qint64 instants[] = {
        0, -1, 946702799999, 1772953199000, 1772953200000, 1793512799000, 1793512800000, 1796479389123};
    for (const QString& pattern : {u"y-MM-dd\tHH:mm:ss\tEEEE"_s, u"y-MM-dd"_s, u"yyyy/MM/dd HH.mm"_s}) {
        const std::optional<platform::PlainDatePattern> plain = platform::PlainDatePattern::parse(pattern);
        ASSERT_TRUE(plain) << pattern.toStdString();
        const platform::DatePatternFormatter icu(pattern, u"en_US_POSIX"_s, u"America/New_York"_s);
        for (const qint64 instant : instants)
            EXPECT_EQ(plain->format(instant), icu.format(instant)) << pattern.toStdString() << " " << instant;
    }
    zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
    tzset();
    for (const QString& other : {u"EEE"_s, u"MMM"_s, u"h:mm a"_s, u"'at' HH"_s, u"yy"_s, u"HH z"_s})
        EXPECT_FALSE(platform::PlainDatePattern::parse(other)) << other.toStdString();
    for (const char* english : {"C", "C.UTF-8", "POSIX", "en_US.UTF-8", "en_GB", "en"})
        EXPECT_TRUE(platform::PlainDatePattern::isEnglishLocale(english)) << english;
    for (const char* other : {"de_DE.UTF-8", "en_TH.UTF-8", "en_US@calendar=buddhist", "fa_IR", "english"})
        EXPECT_FALSE(platform::PlainDatePattern::isEnglishLocale(other)) << other;
}

// A parsed feed let go on the main thread must be freed elsewhere, once, in the order handed over.
TEST(BackgroundRelease, FreesWhatItsLastOwnerLetsGoOnItsOwnThreadInOrder) {
    struct Freed {
        std::mutex mutex;
        std::vector<std::pair<int, std::thread::id>> order;
    } freed;
    struct Probe {
        Freed* freed;
        int number;
        ~Probe() {
            std::lock_guard lock(freed->mutex);
            freed->order.emplace_back(number, std::this_thread::get_id());
        }
    };
    std::shared_ptr<Probe> first = platform::BackgroundRelease::share(std::make_unique<Probe>(&freed, 1));
    std::shared_ptr<Probe> second = platform::BackgroundRelease::share(std::make_unique<Probe>(&freed, 2));
    std::shared_ptr<Probe> firstAgain = first;
    first.reset();
    platform::BackgroundRelease::drain();
    EXPECT_TRUE(freed.order.empty()) << "still owned";
    firstAgain.reset();
    second.reset();
    platform::BackgroundRelease::drain();
    ASSERT_EQ(freed.order.size(), 2u);
    EXPECT_EQ(freed.order[0].first, 1);
    EXPECT_EQ(freed.order[1].first, 2);
    EXPECT_NE(freed.order[0].second, std::this_thread::get_id());
}

// An absolute folder from the environment is taken, a relative one ignored (the XDG rules).
TEST(SmallServices, StandardPathsFollowTheEnvironment) {
    EXPECT_TRUE(
        platform::StandardPaths::userLogsFolder().startsWith(qEnvironmentVariable("XDG_STATE_HOME") + u'/'));
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(platform::StandardPaths::preferencesFolder(), QDir::homePath() + u"/.config"_s);
    qputenv("XDG_CONFIG_HOME", saved);
}

TEST(SmallServices, ConsoleLinesCarryTimeProgramAndThread) {
    const QRegularExpression line(QStringLiteral(
        "^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} platform_tests\\[\\d+:\\d+\\] hello$"));
    EXPECT_TRUE(line.match(QString::fromUtf8(platform::ConsoleLog::format(u"hello"_s))).hasMatch());
}

} // namespace
