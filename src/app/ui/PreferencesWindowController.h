#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class Preferences;
}
namespace platform {
class UserDefaults;
}

/// The Preferences window: the actions folder ("AppleScriptsFolderPath", used from the next
/// start) and the still image of playlist exports ("DataSourceExportStillImagePath"). Choosing
/// stores at once; cancelling a chooser changes nothing. Made once, shown again each time.
class PreferencesWindowController : public QWidget {
    Q_OBJECT
  public:
    static inline const QString AppleScriptsFolderPathKey = QStringLiteral("AppleScriptsFolderPath");
    static inline const QString DataSourceExportStillImagePathKey =
        QStringLiteral("DataSourceExportStillImagePath");

    /// Asks for a folder or an image file; empty when cancelled. Tests inject their own.
    /// Asks for a folder or an image, starting at `current` (the path chosen now, if any).
    using Chooser = std::function<QString(QWidget* parent, bool folder, const QString& current)>;

    explicit PreferencesWindowController(platform::UserDefaults& defaults, QWidget* parent = nullptr);
    ~PreferencesWindowController() override;

    void setChooser(Chooser chooser) { m_chooser = std::move(chooser); }
    void selectAppleScriptsFolder();
    void dataSourceExportSelectStillImageFolder();

  private:
    void showValues();
    /// Asks for a folder or a file and stores it under `key`; a cancelled chooser changes nothing.
    void choose(bool folder, const QString& key);
    void clear(const QString& key);

    platform::UserDefaults& m_defaults;
    std::unique_ptr<Ui::Preferences> m_ui;
    Chooser m_chooser;
};
