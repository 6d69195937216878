#pragma once

#include <QMainWindow>
#include <functional>

class NVSCGDataSource;
class NVSLogController;
class QLabel;
class QTableWidget;
class QTimer;
namespace platform {
class UserDefaults;
}

/// A data source's rows, read-only: one column per data-source column, refreshed as the rows
/// change; Export to Playlist (Ctrl+E) writes them as a playlist and arms the automatic export.
/// A plain stand-in until the data-source editor takes its place.
class DataSourceRowsWindow : public QMainWindow {
    Q_OBJECT
  public:
    /// Asks where to save the playlist without blocking; calls back with the chosen path (never
    /// when cancelled). Tests inject their own.
    using SaveChooser = std::function<void(QWidget* parent, const QString& suggestedName,
                                           std::function<void(const QString& path)> chosen)>;

    DataSourceRowsWindow(NVSCGDataSource& dataSource, NVSLogController& logger,
                         platform::UserDefaults& defaults, QWidget* parent = nullptr);
    ~DataSourceRowsWindow() override;

    NVSCGDataSource& dataSource() const { return m_dataSource; }
    QTableWidget* table() const { return m_table; }
    void setSaveChooser(SaveChooser chooser) { m_chooser = std::move(chooser); }
    void exportToXPLS();
    /// Fills the table from the data source now (it otherwise follows changes shortly after them).
    void reload();

  Q_SIGNALS:
    void windowClosed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    NVSCGDataSource& m_dataSource;
    NVSLogController& m_logger;
    platform::UserDefaults& m_defaults;
    SaveChooser m_chooser;
    QTableWidget* m_table;
    QLabel* m_status;
    QTimer* m_reload;
};
