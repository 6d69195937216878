#include "app/GraflinkApplication.h"

#include "app/AppDelegate.h"

GraflinkApplication::GraflinkApplication(Environment environment, QObject* parent)
    : NorvaneApplication(std::move(environment), parent) {}

void GraflinkApplication::finishLaunching() {
    NorvaneApplication::finishLaunching();
    if (m_delegate)
        m_delegate->customApplicationDidFinishLaunching();
}
