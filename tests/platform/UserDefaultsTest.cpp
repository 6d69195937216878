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
    QString path() const { return temp.path() + u"/Norvane/Graflink.conf"_s; }
    QTemporaryDir temp;
};

TEST_F(UserDefaultsTest, SearchesArgumentsThenStoredValuesThenRegisteredDefaults) {
    UserDefaults defaults(path());
    defaults.registerDefaults({{u"CGServerPortNumber"_s, 2001}, {u"CGServerIPAddress"_s, u"127.0.0.1"_s}});
    EXPECT_EQ(defaults.integerForKey(u"CGServerPortNumber"_s), 2001);

    defaults.setValue(u"CGServerPortNumber"_s, 2002);
    EXPECT_EQ(defaults.integerForKey(u"CGServerPortNumber"_s), 2002);

    defaults.setArgumentValue(u"CGServerPortNumber"_s, 2003);
    EXPECT_EQ(defaults.integerForKey(u"CGServerPortNumber"_s), 2003);

    defaults.removeObject(u"CGServerPortNumber"_s);
    EXPECT_EQ(defaults.integerForKey(u"CGServerPortNumber"_s), 2003) << "arguments stay above";

    EXPECT_FALSE(defaults.stringForKey(u"missing"_s).has_value());
    EXPECT_EQ(defaults.stringForKey(u"CGServerIPAddress"_s), u"127.0.0.1"_s);
}

TEST_F(UserDefaultsTest, StoresValuesAcrossInstancesButNeverArgumentsOrRegistrations) {
    {
        UserDefaults defaults(path());
        defaults.registerDefaults({{u"technicalLogLevel"_s, 2}});
        defaults.setArgumentValue(u"Volatile"_s, u"yes"_s);
        defaults.setValue(u"technicalLogLevel"_s, 3);
        defaults.setValue(u"LastOpenedDocumentPaths"_s, QStringList{u"/a b/x.graflink"_s, u"/ü/y.cgds"_s});
        defaults.setValue(u"ignoreWebSocketsPingPongErrors"_s, true);
        ASSERT_TRUE(defaults.synchronize());
    }
    ASSERT_TRUE(QFile::exists(path()));
    UserDefaults reopened(path());
    EXPECT_EQ(reopened.integerForKey(u"technicalLogLevel"_s), 3);
    EXPECT_EQ(reopened.stringArrayForKey(u"LastOpenedDocumentPaths"_s),
              QStringList({u"/a b/x.graflink"_s, u"/ü/y.cgds"_s}));
    EXPECT_TRUE(reopened.boolForKey(u"ignoreWebSocketsPingPongErrors"_s));
    EXPECT_FALSE(reopened.contains(u"Volatile"_s));
}

TEST_F(UserDefaultsTest, ReadsNumbersAndBooleansStoredAsText) {
    UserDefaults defaults(path());
    defaults.setValue(u"level"_s, u"3"_s);
    defaults.setValue(u"real"_s, u"2.7"_s);
    defaults.setValue(u"yes"_s, u"YES"_s);
    defaults.setValue(u"no"_s, u"no"_s);
    defaults.setValue(u"one"_s, u"1"_s);
    EXPECT_EQ(defaults.integerForKey(u"level"_s), 3);
    EXPECT_EQ(defaults.integerForKey(u"real"_s), 2);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey(u"real"_s), 2.7);
    EXPECT_TRUE(defaults.boolForKey(u"yes"_s));
    EXPECT_FALSE(defaults.boolForKey(u"no"_s));
    EXPECT_TRUE(defaults.boolForKey(u"one"_s));
    EXPECT_EQ(defaults.integerForKey(u"absent"_s), 0);
    EXPECT_FALSE(defaults.boolForKey(u"absent"_s));
}

TEST_F(UserDefaultsTest, SignalsOnlyRealChangesOfTheEffectiveValue) {
    UserDefaults defaults(path());
    QSignalSpy spy(&defaults, &UserDefaults::valueChanged);
    QList<QVariant> observed;
    QObject context;
    defaults.observe(u"technicalLogLevel"_s, &context,
                     [&](const QVariant& value) { observed.append(value); });

    defaults.registerDefaults({{u"technicalLogLevel"_s, 2}});
    defaults.setValue(u"technicalLogLevel"_s, 2); // same effective value
    defaults.setValue(u"technicalLogLevel"_s, 3);
    defaults.setValue(u"technicalLogFolderPath"_s, u"/tmp/logs"_s);
    defaults.removeObject(u"technicalLogLevel"_s); // back to the registered 2

    EXPECT_EQ(observed, (QList<QVariant>{2, 3, 2}));
    EXPECT_EQ(spy.count(), 4);
}

} // namespace
