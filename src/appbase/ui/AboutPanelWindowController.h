#pragma once

#include <QDialog>
#include <QVariantMap>
#include <memory>

namespace Ui {
class AboutPanel;
}

/// The About panel: the application's icon, name ("CFBundleName"), "version %@" (the short
/// version string, "0.0.0" when missing) and build, and a button for Qt's own About box. Made
/// once; `display` centres it and brings it to the front each time.
class AboutPanelWindowController : public QDialog {
    Q_OBJECT
  public:
    explicit AboutPanelWindowController(const QVariantMap& infoDictionary, QWidget* parent = nullptr);
    ~AboutPanelWindowController() override;

    void display();

  private:
    std::unique_ptr<Ui::AboutPanel> m_ui;
};
