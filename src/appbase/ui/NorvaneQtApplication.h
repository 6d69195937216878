#pragma once

#include <QApplication>
#include <memory>

class AboutPanelWindowController;
class KeyboardEventFilter;
class NorvaneApplication;

/// The Qt application object of the desktop programs: filters malformed key presses, hands an
/// exception that escapes an event handler to the application's crash reporting, and shows the
/// About panel (made once).
class NorvaneQtApplication : public QApplication {
    Q_OBJECT
  public:
    NorvaneQtApplication(int& argc, char** argv);
    ~NorvaneQtApplication() override;

    /// The application object the services belong to; not owned.
    void setNorvaneApplication(NorvaneApplication* application);
    bool notify(QObject* receiver, QEvent* event) override;

    void displayAboutPanel();
    AboutPanelWindowController* aboutPanelController() const { return m_aboutPanel.get(); }

  private:
    NorvaneApplication* m_application = nullptr;
    std::unique_ptr<KeyboardEventFilter> m_keyboardFilter;
    std::unique_ptr<AboutPanelWindowController> m_aboutPanel;
};
