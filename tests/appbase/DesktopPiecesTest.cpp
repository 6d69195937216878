#include "appbase/NVSLogController.h"
#include "appbase/NVSLogControllerDelegate.h"
#include "appbase/ui/AboutPanelWindowController.h"
#include "appbase/ui/KeyboardEventFilter.h"
#include "platform/UserDefaults.h"
#include "testkit/TestHelpers.h"
#include "testkit/WidgetChecks.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Fault guarded: the keypad's arrows, Home and End arrive with the keypad flag and no text; a
// filter that dropped every such press made them dead keys.
TEST(KeyboardEventFilter, DropsOnlyPressesWithNeitherTextNorKey) {
    QTemporaryDir dir;
    platform::UserDefaults defaults(dir.filePath(u"d.conf"_s));
    defaults.setValue(NVSLogController::TechnicalLogFolderPathKey, dir.path());
    NVSLogController logger(NVSLogController::Configuration{&defaults, u"Graflink"_s, nullptr, {}});
    static NVSLogControllerDelegate silent; // without a delegate the log holds its messages back
    logger.setLogDelegate(&silent);
    KeyboardEventFilter filter(&logger);
    QLineEdit field;
    field.installEventFilter(&filter);

    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
        bool dropped;
    };
    for (const Case& c :
         {Case{Qt::Key_unknown, Qt::KeypadModifier, {}, true}, Case{0, Qt::KeypadModifier, {}, true},
          Case{Qt::Key_Left, Qt::KeypadModifier, {}, false},
          Case{Qt::Key_Home, Qt::KeypadModifier, {}, false},
          Case{Qt::Key_5, Qt::KeypadModifier, u"5"_s, false},
          Case{Qt::Key_unknown, Qt::NoModifier, {}, false}, Case{Qt::Key_A, Qt::NoModifier, u"a"_s, false}}) {
        QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, c.text);
        EXPECT_EQ(KeyboardEventFilter::isMalformed(event), c.dropped) << c.key;
    }

    QKeyEvent broken(QEvent::KeyPress, Qt::Key_unknown, Qt::KeypadModifier, QString());
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, u"a"_s);
    QApplication::sendEvent(&field, &broken);
    QApplication::sendEvent(&field, &typed);
    EXPECT_EQ(field.text(), u"a"_s);
    logger.waitUntilIdle();
    const QString logged =
        QString::fromUtf8(testing_support::readFile(logger.lastTechnicalLogFilePath().value_or(QString())));
    EXPECT_EQ(logged.count(u"Ignoring buggy event QKeyEvent(KeyPress"_s), 1) << logged.toStdString();
}

TEST(AboutPanel, ShowsNameAndVersionAndIsNamedForScreenReaders) {
    struct Case {
        QString version;
        QString expected;
    };
    for (const Case& c :
         {Case{u"2.3.1"_s, u"version 2.3.1 (42)"_s}, Case{QString(), u"version 0.0.0 (42)"_s}}) {
        AboutPanelWindowController panel({{u"CFBundleName"_s, u"Graflink"_s},
                                          {u"CFBundleShortVersionString"_s, c.version},
                                          {u"CFBundleVersion"_s, u"42"_s}});
        panel.display();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
        EXPECT_EQ(panel.findChild<QLabel*>(u"applicationNameLabel"_s)->text(), u"Graflink"_s);
        EXPECT_EQ(panel.findChild<QLabel*>(u"versionLabel"_s)->text(), c.expected);
        EXPECT_EQ(testing_support::unnamedControls(panel), QStringList());
    }
}

} // namespace
