#include "appbase/NVSLogController.h"
#include "appbase/NVSLogControllerDelegate.h"
#include "appbase/ui/AboutPanelWindowController.h"
#include "appbase/ui/KeyboardEventFilter.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <mutex>

namespace {

// Fault guarded: the keypad's arrows, Home and End arrive with the keypad flag and no text; a
// filter that dropped every such press made them dead keys.
TEST(KeyboardEventFilter, DropsOnlyPressesWithNeitherTextNorKey) {
    QTemporaryDir dir;
    platform::UserDefaults defaults(dir.filePath(QStringLiteral("d.conf")));
    NVSLogController::registerDefaults(defaults);
    defaults.setValue(NVSLogController::TechnicalLogFolderPathKey, dir.path());
    NVSLogController logger(
        NVSLogController::Configuration{&defaults, QStringLiteral("Graflink"), nullptr, {}});
    static NVSLogControllerDelegate silent; // without a delegate the log holds its messages back
    logger.setLogDelegate(&silent);
    std::mutex mutex;
    QString logged;
    logger.setLineObserver([&](const QString& lines) {
        std::lock_guard lock(mutex);
        logged += lines;
    });
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
          Case{Qt::Key_5, Qt::KeypadModifier, QStringLiteral("5"), false},
          Case{Qt::Key_unknown, Qt::NoModifier, {}, false},
          Case{Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), false}}) {
        QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, c.text);
        EXPECT_EQ(KeyboardEventFilter::isMalformed(event), c.dropped) << c.key;
    }

    QKeyEvent broken(QEvent::KeyPress, Qt::Key_unknown, Qt::KeypadModifier, QString());
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(&field, &broken);
    QApplication::sendEvent(&field, &typed);
    EXPECT_EQ(field.text(), QStringLiteral("a"));
    logger.waitUntilIdle();
    std::lock_guard lock(mutex);
    EXPECT_EQ(logged.count(QStringLiteral("Ignoring buggy event QKeyEvent(KeyPress")), 1)
        << logged.toStdString();
}

TEST(AboutPanel, ShowsNameAndVersionAndIsNamedForScreenReaders) {
    struct Case {
        QString version;
        QString expected;
    };
    for (const Case& c : {Case{QStringLiteral("2.3.1"), QStringLiteral("version 2.3.1 (42)")},
                          Case{QString(), QStringLiteral("version 0.0.0 (42)")}}) {
        AboutPanelWindowController panel({{QStringLiteral("CFBundleName"), QStringLiteral("Graflink")},
                                          {QStringLiteral("CFBundleShortVersionString"), c.version},
                                          {QStringLiteral("CFBundleVersion"), QStringLiteral("42")}});
        panel.display();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
        EXPECT_EQ(panel.findChild<QLabel*>(QStringLiteral("applicationNameLabel"))->text(),
                  QStringLiteral("Graflink"));
        EXPECT_EQ(panel.findChild<QLabel*>(QStringLiteral("versionLabel"))->text(), c.expected);
        for (QWidget* control : panel.findChildren<QWidget*>()) {
            if (control->focusPolicy() != Qt::NoFocus) {
                EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
            }
        }
    }
}

} // namespace
