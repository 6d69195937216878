#include "appbase/NVSAlertUtilities.h"
#include "appbase/NorvaneApplication.h"
#include "appbase/NorvaneVersion.h"
#include "platform/UserDefaults.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/RecordingNotificationCenter.h"
#include "testkit/TestHelpers.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testing_support::LoopbackHttpServer;

namespace {

using testing_support::RecordingNotificationCenter;

/// An application with its own defaults, product code and version, on private services.
class TestApplication : public NorvaneApplication {
  public:
    TestApplication(Environment environment, std::uint32_t code)
        : NorvaneApplication(std::move(environment)), m_code(code) {}
    std::uint32_t applicationOSType() const override { return m_code; }

  private:
    std::uint32_t m_code;
};

struct Fixture {
    QTemporaryDir dir;
    platform::UserDefaults defaults{dir.filePath(u"defaults.conf"_s)};
    std::shared_ptr<RecordingNotificationCenter> center = std::make_shared<RecordingNotificationCenter>();
    QList<QUrl> opened;

    std::unique_ptr<TestApplication> make(const QString& version, std::uint32_t code = 0x474C4E4B,
                                          const QString& downloadURL = QString(),
                                          std::function<int()> fullDiskAccessProbe = {}) {
        NorvaneApplication::Environment environment;
        environment.fullDiskAccessProbe = std::move(fullDiskAccessProbe);
        environment.defaults = &defaults;
        environment.notifications = center;
        environment.infoDictionary = {{u"CFBundleName"_s, u"Graflink"_s},
                                      {u"CFBundleShortVersionString"_s, version},
                                      {u"applicationDownloadURL"_s, downloadURL}};
        environment.openURL = [this](const QUrl& url) {
            opened.append(url);
            return true;
        };
        return std::make_unique<TestApplication>(std::move(environment), code);
    }
};

TEST(ApplicationNames, FollowTheInstanceNumberRules) {
    struct Case {
        const char* identifier;
        const char* withoutFirstInstance;
        int instanceIndex;
    };
    for (const Case& c : {Case{"com.norvanemedia.App1", "com.norvanemedia.App", 0},
                          Case{"com.norvanemedia.App11", "com.norvanemedia.App11", 0},
                          Case{"com.norvanemedia.App2", "com.norvanemedia.App2", 1},
                          Case{"com.norvanemedia.App0", "com.norvanemedia.App0", 0},
                          Case{"com.norvanemedia.App", "com.norvanemedia.App", 0}, Case{"x1", "x1", 0}}) {
        const QString identifier = QString::fromLatin1(c.identifier);
        EXPECT_EQ(NorvaneApplication::identifierIgnoringFirstInstanceNumber(identifier),
                  QString::fromLatin1(c.withoutFirstInstance))
            << c.identifier;
        EXPECT_EQ(NorvaneApplication::instanceIndexOfIdentifier(identifier), c.instanceIndex) << c.identifier;
    }
    struct NameCase {
        const char* name;
        const char* withoutFirst;
        const char* withoutAny;
    };
    for (const NameCase& c :
         {NameCase{"Graflink 1", "Graflink", "Graflink"}, NameCase{"Graflink 2", "Graflink 2", "Graflink"},
          NameCase{"Graflink 12", "Graflink 12", "Graflink"}, NameCase{"Graflink", "Graflink", "Graflink"}}) {
        EXPECT_EQ(NorvaneApplication::nameIgnoringFirstInstanceNumber(QString::fromLatin1(c.name)),
                  QString::fromLatin1(c.withoutFirst));
        EXPECT_EQ(NorvaneApplication::nameIgnoringInstanceNumber(QString::fromLatin1(c.name)),
                  QString::fromLatin1(c.withoutAny));
    }
    EXPECT_EQ(NorvaneApplication::stringFromFourCharCode(0x474C4E4B), u"GLNK"_s);
}

TEST(Versions, ParseAndCompareAsTheMakerNumbersThem) {
    const NorvaneVersion beta = NorvaneVersion::parse(u"2.2b3"_s);
    EXPECT_EQ(std::tuple(beta.major, beta.minor, beta.patch, beta.isBeta, beta.betaNumber),
              std::tuple(2, 2, 0, true, 3));
    const NorvaneVersion patchBeta = NorvaneVersion::parse(u"2.1.4b1"_s);
    EXPECT_EQ(std::tuple(patchBeta.minor, patchBeta.patch, patchBeta.betaNumber), std::tuple(1, 4, 1));
    EXPECT_EQ(NorvaneVersion::parse(u"3"_s).minor, 0);

    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    for (const Case& c : {Case{"2.1.1", "2.1.0", 1}, Case{"2.2", "2.1.9", 1}, Case{"3.0", "2.9.9", 1},
                          Case{"2.2", "2.2b3", 1}, Case{"2.2b4", "2.2b3", 1}, Case{"2.2.0", "2.2", 0},
                          Case{"2.2b3", "2.2b3", 0}, Case{"2.1.9", "2.2b1", -1}}) {
        const int sign = NorvaneVersion::compare(NorvaneVersion::parse(QString::fromLatin1(c.a)),
                                                 NorvaneVersion::parse(QString::fromLatin1(c.b)));
        EXPECT_EQ((sign > 0) - (sign < 0), c.sign) << c.a << " vs " << c.b;
    }
}

// The request names the product; only a newer version that suits the running one (releases for a
// release, betas too for a beta) and the system is announced, a major one as such. Without a
// product code nobody is asked.
TEST(VersionCheck, AnnouncesOnlyANewerSuitableVersion) {
    const QByteArray both = R"({"results":[{"version":"2.1.1","min_os_version":""},{"version":"2.2b3"}]})";
    const struct {
        const char* running;
        int status;
        QByteArray answer;
        QString title; // empty: nothing must be posted
        bool majorUpgrade = false;
        std::uint32_t code = 0x474C4E4B;
    } cases[] = {
        {"2.1.0", 200, both, u"Version 2.1.1 is now available!"_s},
        {"2.1b2", 200, both, u"Version 2.2b3 is now available!"_s},
        {"3.0", 200, R"({"results":[{"version":"4.0"}]})", u"Version 4.0 is now available!"_s, true},
        {"2.1.0", 200, R"({"results":[{"version":"2.3","min_os_version":" 11.0 "}]})",
         u"Version 2.3 is now available!"_s},
        {"2.1.0", 200, R"({"results":[{"version":"2.3","min_os_version":"16.0"}]})", {}},
        {"2.1.1", 200, R"({"results":[{"version":"2.1.1"},{"version":"2.1b9"}]})", {}},
        {"2.1.0", 404, both, {}},
        {"2.1.0", 200, "<html>", {}},
        {"2.1.0", 200, R"({"results":[]})", {}},
        {"2.1.0", 200, both, {}, false, 0},
        {"2.1.0", 200, both, {}, false, 0x3F3F3F3F},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.running) + " " + c.answer.toStdString());
        LoopbackHttpServer server;
        server.serve("/release-notes",
                     LoopbackHttpServer::Reply::text(c.answer, "application/json", c.status));
        Fixture fixture;
        fixture.defaults.setValue(NorvaneApplication::ReleaseNotesURLKey, server.url(u"/release-notes"_s));
        auto application = fixture.make(QString::fromLatin1(c.running), c.code);
        QSignalSpy checked(application.get(), &NorvaneApplication::latestVersionChecked);
        application->finishLaunching();
        ASSERT_TRUE(checked.wait(10000));
        application->waitForNotifications();

        ASSERT_EQ(server.requestCount(), c.code == 0x474C4E4B ? 1 : 0);
        if (server.requestCount() == 0)
            continue;
        const LoopbackHttpServer::Request request = server.requests().first();
        EXPECT_EQ(request.query, QByteArray("product=glnk"));
        EXPECT_EQ(request.header("Content-Type"), QByteArray("application/json; charset=utf-8"));

        const QList<platform::UserNotificationRequest> posted = fixture.center->postedRequests();
        ASSERT_EQ(posted.size(), c.title.isEmpty() ? 0 : 1);
        if (posted.isEmpty())
            continue;
        EXPECT_EQ(posted.first().title, c.title);
        EXPECT_EQ(posted.first().categoryIdentifier, u"UpgradeNotification"_s);
        EXPECT_EQ(posted.first().body.startsWith(u"It's a major version upgrade."_s), c.majorUpgrade);
    }
}

// Fault guarded: posting waited for the notification settings on the caller's thread, so a call
// from the thread that delivers the answer never returned.
TEST(UserNotifications, PostingNeverWaitsOnTheCallersThread) {
    Fixture fixture;
    fixture.center->answerOnMainThread = true;
    auto application = fixture.make(u"1.0"_s);
    application->displayNotificationWithTitle(u"Feed lost"_s, u"Scores"_s,
                                              NorvaneApplication::WarningNotificationCategory);
    ASSERT_TRUE(testing_support::waitUntil([&] { return !fixture.center->postedRequests().isEmpty(); }));
    const platform::UserNotificationRequest posted = fixture.center->postedRequests().first();
    EXPECT_EQ(posted.title, u"Feed lost"_s);
    EXPECT_EQ(posted.identifier.size(), 36);
    EXPECT_FALSE(posted.sound);

    // Refused: nothing is posted; not yet asked: the user is asked, and nothing is posted this time.
    fixture.center->answerOnMainThread = false;
    for (const auto status : {platform::NotificationAuthorizationStatus::Denied,
                              platform::NotificationAuthorizationStatus::NotDetermined}) {
        fixture.center->status = status;
        application->displayNotificationWithTitle(u"t"_s, u"m"_s);
        application->waitForNotifications();
    }
    EXPECT_EQ(fixture.center->postedRequests().size(), 1);
    EXPECT_EQ(fixture.center->authorizationRequests, 1);
}

TEST(UserNotifications, TheUpgradeButtonOpensTheDownloadPage) {
    for (const auto& [configured, expected] :
         {std::pair{u"https://example.org/get"_s, u"https://example.org/get"_s},
          std::pair{u"short"_s, NorvaneApplication::DefaultDownloadsURL}}) {
        Fixture fixture;
        auto application = fixture.make(u"1.0"_s, 0, configured);
        application->registerNotificationCategories();
        ASSERT_EQ(fixture.center->categories.size(), 2);
        EXPECT_EQ(fixture.center->categories.first().actions.first().identifier,
                  NorvaneApplication::UpgradeNotificationAction);
        fixture.center->respond({u"dismissed"_s});
        fixture.center->respond({NorvaneApplication::UpgradeNotificationAction});
        ASSERT_TRUE(testing_support::waitUntil([&] { return !fixture.opened.isEmpty(); }));
        testing_support::spinFor(std::chrono::milliseconds(50));
        EXPECT_EQ(fixture.opened, QList<QUrl>{QUrl(expected)});
    }
}

TEST(ApplicationStart, RemembersTheVersionOfThePreviousLaunch) {
    Fixture fixture;
    EXPECT_FALSE(fixture.make(u"1.0"_s)->previousLaunchApplicationVersionString());
    EXPECT_EQ(fixture.make(u"1.1"_s)->previousLaunchApplicationVersionString(), u"1.0"_s);
    EXPECT_EQ(fixture.defaults.stringForKey(NorvaneApplication::LastOpenedVersionKey), u"1.1"_s);
}

/// A presenter that answers with a chosen button and counts the alerts.
class AnsweringPresenter : public AlertPresenter {
  public:
    explicit AnsweringPresenter(int answer) : m_answer(answer) {}
    int runModal(Style, const QString&, const QString&, const QStringList&) override {
        ++alerts;
        return m_answer;
    }
    int alerts = 0;

  private:
    int m_answer;
};

TEST(FullDiskAccess, AsksUntilAnsweredOKOrNo) {
    struct Case {
        int probe;
        int answer;
        bool expectAlert;
        bool expectRecorded;
        bool expectDialog;
    };
    for (const Case& c : {Case{1, 1000, false, false, false}, Case{2, 1000, true, true, true},
                          Case{2, 1001, true, true, false}, Case{2, 1002, true, false, false}}) {
        Fixture fixture;
        const auto application = fixture.make(u"1.0"_s, 0, {}, [&c] { return c.probe; });
        bool dialogShown = false;
        application->setFullDiskAccessDialog([&] { dialogShown = true; });
        auto presenter = std::make_shared<AnsweringPresenter>(c.answer);
        NVSAlertUtilities::setPresenter(presenter);
        application->checkForFullDiskAccessStatus();
        NVSAlertUtilities::setPresenter(nullptr);

        EXPECT_EQ(presenter->alerts, c.expectAlert ? 1 : 0) << c.probe << "/" << c.answer;
        EXPECT_EQ(fixture.defaults.boolForKey(NorvaneApplication::AskedForFullDiskAccessKey),
                  c.expectRecorded);
        EXPECT_EQ(dialogShown, c.expectDialog);
    }
}

} // namespace
