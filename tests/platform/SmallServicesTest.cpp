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
        {QStringLiteral("Failed to export dataSource (%@)"),
         {QStringLiteral("Results")},
         QStringLiteral("Failed to export dataSource (Results)")},
        {QStringLiteral("%@ (Document: %@)"),
         {QStringLiteral("Saved"), QStringLiteral("a.graflink")},
         QStringLiteral("Saved (Document: a.graflink)")},
        {QStringLiteral("New Technical Log level %li"),
         {qint64(-3)},
         QStringLiteral("New Technical Log level -3")},
        {QStringLiteral("repeated %lu time%s"),
         {2u, QStringLiteral("s")},
         QStringLiteral("repeated 2 times")},
        {QStringLiteral("%0.3f|%.6f|%5.1f"), {1.0, 2.5, 3.14159}, QStringLiteral("1.000|2.500000|  3.1")},
        {QStringLiteral("%d%% of %@"), {50, QStringLiteral("rows")}, QStringLiteral("50% of rows")},
        {QStringLiteral("missing %@ and %d"), {QStringLiteral("one")}, QStringLiteral("missing one and ")},
        {QStringLiteral("null %@"), {QVariant()}, QStringLiteral("null (null)")},
        {QStringLiteral("odd %k stays"), {1}, QStringLiteral("odd %k stays")},
        {QStringLiteral("trailing %"), {}, QStringLiteral("trailing %")},
        {QStringLiteral("%x"), {255}, QStringLiteral("ff")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StringFormat::format(c.format, c.arguments), c.expected) << c.format.toStdString();
    EXPECT_EQ(StringFormat::format(QStringLiteral("%@ = %.2f"), "pi", 3.14159), QStringLiteral("pi = 3.14"));
}

TEST(DatePatternFormatter, FormatsInTheGivenLocaleAndZone) {
    const QDateTime instant = QDateTime(QDate(2026, 12, 5), QTime(14, 3, 9), Qt::UTC);
    platform::DatePatternFormatter log(QStringLiteral("y-MM-dd\tHH:mm:ss\tEEEE"), QStringLiteral("en_US"),
                                       QStringLiteral("UTC"));
    ASSERT_TRUE(log.isValid());
    EXPECT_EQ(log.format(instant), QStringLiteral("2026-12-05\t14:03:09\tSaturday"));
    platform::DatePatternFormatter german(QStringLiteral("EEEE"), QStringLiteral("de_DE"),
                                          QStringLiteral("UTC"));
    EXPECT_EQ(german.format(instant), QStringLiteral("Samstag"));
    platform::DatePatternFormatter tokyo(QStringLiteral("HH:mm"), QStringLiteral("en_US"),
                                         QStringLiteral("Asia/Tokyo"));
    EXPECT_EQ(tokyo.format(instant), QStringLiteral("23:03"));
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

TEST(SmallServices, StandardPathsFollowTheEnvironment) {
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    EXPECT_EQ(platform::StandardPaths::userLogsFolder(), state + QStringLiteral("/Norvane/Logs"));
    EXPECT_EQ(platform::StandardPaths::userDiagnosticReportsFolder(),
              state + QStringLiteral("/Norvane/DiagnosticReports"));
    EXPECT_EQ(platform::StandardPaths::machineSupportFolder(),
              qEnvironmentVariable("GRAFLINK_MACHINE_SUPPORT_DIR"));
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(platform::StandardPaths::preferencesFolder(), QDir::homePath() + QStringLiteral("/.config"));
    qputenv("XDG_CONFIG_HOME", saved);
}

TEST(SmallServices, ConsoleLinesCarryTimeProgramAndThread) {
    const QRegularExpression line(QStringLiteral(
        "^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} platform_tests\\[\\d+:\\d+\\] hello$"));
    EXPECT_TRUE(
        line.match(QString::fromUtf8(platform::ConsoleLog::format(QStringLiteral("hello")))).hasMatch());
}

} // namespace
