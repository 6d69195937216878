#include "platform/UserDefaults.h"

#include "testkit/TestHelpers.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using platform::UserDefaults;

class UserDefaultsTest : public ::testing::Test {
  protected:
    QString path() const { return temp.path() + QStringLiteral("/Norvane/Graflink.conf"); }
    QTemporaryDir temp;
};

TEST_F(UserDefaultsTest, SearchesArgumentsThenStoredValuesThenRegisteredDefaults) {
    UserDefaults defaults(path());
    defaults.registerDefaults({{QStringLiteral("CGServerPortNumber"), 2001},
                               {QStringLiteral("CGServerIPAddress"), QStringLiteral("127.0.0.1")}});
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("CGServerPortNumber")), 2001);

    defaults.setValue(QStringLiteral("CGServerPortNumber"), 2002);
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("CGServerPortNumber")), 2002);

    defaults.setArgumentValue(QStringLiteral("CGServerPortNumber"), 2003);
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("CGServerPortNumber")), 2003);

    defaults.removeObject(QStringLiteral("CGServerPortNumber"));
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("CGServerPortNumber")), 2003) << "arguments stay above";

    EXPECT_FALSE(defaults.stringForKey(QStringLiteral("missing")).has_value());
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("CGServerIPAddress")), QStringLiteral("127.0.0.1"));
}

TEST_F(UserDefaultsTest, StoresValuesAcrossInstancesButNeverArgumentsOrRegistrations) {
    {
        UserDefaults defaults(path());
        defaults.registerDefaults({{QStringLiteral("technicalLogLevel"), 2}});
        defaults.setArgumentValue(QStringLiteral("Volatile"), QStringLiteral("yes"));
        defaults.setValue(QStringLiteral("technicalLogLevel"), 3);
        defaults.setValue(QStringLiteral("LastOpenedDocumentPaths"),
                          QStringList{QStringLiteral("/a b/x.graflink"), QStringLiteral("/ü/y.cgds")});
        defaults.setValue(QStringLiteral("ignoreWebSocketsPingPongErrors"), true);
        ASSERT_TRUE(defaults.synchronize());
    }
    ASSERT_TRUE(QFile::exists(path()));
    UserDefaults reopened(path());
    EXPECT_EQ(reopened.integerForKey(QStringLiteral("technicalLogLevel")), 3);
    EXPECT_EQ(reopened.stringArrayForKey(QStringLiteral("LastOpenedDocumentPaths")),
              QStringList({QStringLiteral("/a b/x.graflink"), QStringLiteral("/ü/y.cgds")}));
    EXPECT_TRUE(reopened.boolForKey(QStringLiteral("ignoreWebSocketsPingPongErrors")));
    EXPECT_FALSE(reopened.contains(QStringLiteral("Volatile")));
}

TEST_F(UserDefaultsTest, ReadsNumbersAndBooleansStoredAsText) {
    UserDefaults defaults(path());
    defaults.setValue(QStringLiteral("level"), QStringLiteral("3"));
    defaults.setValue(QStringLiteral("real"), QStringLiteral("2.7"));
    defaults.setValue(QStringLiteral("yes"), QStringLiteral("YES"));
    defaults.setValue(QStringLiteral("no"), QStringLiteral("no"));
    defaults.setValue(QStringLiteral("one"), QStringLiteral("1"));
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("level")), 3);
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("real")), 2);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey(QStringLiteral("real")), 2.7);
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("yes")));
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("no")));
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("one")));
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("absent")), 0);
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("absent")));
}

TEST_F(UserDefaultsTest, SignalsOnlyRealChangesOfTheEffectiveValue) {
    UserDefaults defaults(path());
    QSignalSpy spy(&defaults, &UserDefaults::valueChanged);
    QList<QVariant> observed;
    QObject context;
    defaults.observe(QStringLiteral("technicalLogLevel"), &context,
                     [&](const QVariant& value) { observed.append(value); });

    defaults.registerDefaults({{QStringLiteral("technicalLogLevel"), 2}});
    defaults.setValue(QStringLiteral("technicalLogLevel"), 2); // same effective value
    defaults.setValue(QStringLiteral("technicalLogLevel"), 3);
    defaults.setValue(QStringLiteral("technicalLogFolderPath"), QStringLiteral("/tmp/logs"));
    defaults.removeObject(QStringLiteral("technicalLogLevel")); // back to the registered 2

    EXPECT_EQ(observed, (QList<QVariant>{2, 3, 2}));
    EXPECT_EQ(spy.count(), 4);
}

} // namespace
