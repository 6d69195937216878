#include "platform/BackgroundRelease.h"
#include "platform/ConsoleLog.h"
#include "platform/DatePatternFormatter.h"
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
