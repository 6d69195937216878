#include "appbase/ui/NorvaneQtApplication.h"

#include "appbase/NorvaneApplication.h"
#include "appbase/ui/AboutPanelWindowController.h"
#include "appbase/ui/KeyboardEventFilter.h"
#include "platform/UserNotificationCenter.h"

NorvaneQtApplication::NorvaneQtApplication(int& argc, char** argv)
    : QApplication(argc, argv), m_keyboardFilter(std::make_unique<KeyboardEventFilter>()) {
    installEventFilter(m_keyboardFilter.get());
    connect(this, &QGuiApplication::applicationStateChanged, this, [](Qt::ApplicationState state) {
        if (const auto center = platform::UserNotificationCenter::current())
            center->setApplicationFrontmost(state == Qt::ApplicationActive);
    });
}

NorvaneQtApplication::~NorvaneQtApplication() {
    removeEventFilter(m_keyboardFilter.get());
}

void NorvaneQtApplication::setNorvaneApplication(NorvaneApplication* application) {
    m_application = application;
}

bool NorvaneQtApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        if (!m_application)
            throw;
        m_application->reportException(std::current_exception());
        return false;
    }
}

void NorvaneQtApplication::displayAboutPanel() {
    if (!m_aboutPanel) {
        m_aboutPanel = std::make_unique<AboutPanelWindowController>(
            m_application ? m_application->infoDictionary() : QVariantMap());
    }
    m_aboutPanel->display();
}
