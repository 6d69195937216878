#pragma once

#include <QObject>
#include <functional>

class NVSCGDataSourceWindowController;
class NVSLogController;
class QAction;
namespace platform {
class UserDefaults;
}

/// Export to Playlist (Ctrl+E) in a data source's window: asks where to save (a sheet on the
/// window), writes the rows as a playlist with the ".xpls" extension, and remembers the path in
/// the data source so that the rows are exported again whenever they change.
class DataSourcePlaylistExport : public QObject {
    Q_OBJECT
  public:
    /// Asks where to save the playlist without blocking; calls back with the chosen path (never
    /// when cancelled). Tests inject their own.
    using SaveChooser = std::function<void(QWidget* parent, const QString& suggestedName,
                                           std::function<void(const QString& path)> chosen)>;

    /// Adds the command to the window's File menu; lives as long as the window.
    DataSourcePlaylistExport(NVSCGDataSourceWindowController& window, NVSLogController& logger,
                             platform::UserDefaults& defaults);

    QAction* action() const { return m_action; }
    void setSaveChooser(SaveChooser chooser) { m_chooser = std::move(chooser); }
    void exportToXPLS();

  private:
    NVSCGDataSourceWindowController& m_window;
    NVSLogController& m_logger;
    platform::UserDefaults& m_defaults;
    SaveChooser m_chooser;
    QAction* m_action;
};
