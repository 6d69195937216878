#pragma once

#include "datasource/NVSCGDataSourceColumn.h"
#include "platform/ui/DocumentFileCommands.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class ColumnContextMenu;
class ColumnFormatPopover;
class TableFindBar;
class DataSourceFilterProxyModel;
class DataSourceTableModel;
class NVSCGDataSource;
class NVSCGDataSourceSettingsWindowController;
class NVSTableViewWithEditableHeaders;
class QMenu;
class QTimer;
class QUndoStack;
namespace Ui {
class NVSCGDataSourceWindowController;
}

/// A data source's window: its rows in two tables that scroll and select together (the row
/// number and active-row mark stay put, the data-source columns scroll), column titles edited
/// in the header, the header menu (rename, type, duplicate, delete, custom columns and their
/// format), the case-sensitive filter bar, auto update, and the settings sheet. Every edit of
/// the columns and settings is an undoable step; the document saves itself in place shortly
/// after each. Never waits: the data source reads its feed on its own queue.
class NVSCGDataSourceWindowController : public QMainWindow {
    Q_OBJECT
  public:
    /// Asks for an XML or JSON file for the settings sheet (see its FileChooser).
    using FeedFileChooser = std::function<void(QWidget* parent, const QString& folder,
                                               std::function<void(const QString& path)> chosen)>;
    /// The filter waits this long after the last key press.
    static constexpr int FilterDelay = 200;

    explicit NVSCGDataSourceWindowController(NVSCGDataSource& dataSource, QWidget* parent = nullptr);
    ~NVSCGDataSourceWindowController() override;

    NVSCGDataSource& dataSource() const { return m_dataSource; }
    NVSCGDataSource& document() const { return m_dataSource; }
    Ui::NVSCGDataSourceWindowController& ui() const { return *m_ui; }
    QUndoStack* undoStack() const { return m_undoStack.get(); }
    DataSourceTableModel* tableModel() const { return m_model.get(); }
    DataSourceFilterProxyModel* filterModel() const { return m_filter.get(); }
    NVSTableViewWithEditableHeaders* fixedTableView() const;
    NVSTableViewWithEditableHeaders* scrollingTableView() const;
    ColumnFormatPopover* columnEditionPopover() const { return m_popover; }
    TableFindBar* findBar() const { return m_findBar; }
    /// Made on first use.
    NVSCGDataSourceSettingsWindowController* settingsWindowController();
    QMenu* fileMenu() const { return m_fileMenu; }
    /// Actions a program adds to the File menu go before this one.
    QAction* closeAction() const { return m_closeAction; }
    QMenu* tableHeaderViewContextualMenu() const;
    QMenu* columnTypeMenu() const;
    /// Save, Save As, autosave and the close question (their choosers are injectable).
    platform::DocumentFileCommands& files() const { return *m_files; }
    void setFeedFileChooser(FeedFileChooser chooser);

    QString filterString() const;
    /// Filters at once (typing in the filter field waits for a pause first).
    void setFilterString(const QString& text);
    bool showFilterView() const;
    void setShowFilterView(bool show);

    // The window's actions
    void showSettingsSheet();
    void refreshNow();
    void reloadImagesAction();
    /// The header menu for a press at `position` in the header (null when no column is there);
    /// it then acts on that column.
    QMenu* menuForHeaderPosition(const QPoint& position);
    /// The column the header menu and the Data Source menu act on (null when none).
    NVSCGDataSourceColumnPtr contextualMenuDataSourceColumn() const;
    int contextualMenuColumnIndex() const { return m_contextColumnIndex; }
    void columnContextualMenuRenameMenuItemAction();
    void columnContextualMenuTypeMenuItemAction(uint type);
    void columnContextualMenuDeleteMenuItemAction();
    void columnContextualMenuDuplicateMenuItemAction();
    void columnContextualMenuAddCustomColumnMenuItemAction();
    void columnContextualMenuEditCustomColumnMenuItemAction();
    void showCustomColumnSettingsForColumn(const NVSCGDataSourceColumnPtr& column);
    /// While a format is edited, a press on the table inserts the pressed column's token
    /// instead of reaching the table (and a press where no column is, nothing). `position` is
    /// in the scrolling table's viewport coordinates.
    bool shouldSwallowPress(const QPoint& position);
    bool isEditingColumnFormat() const;
    /// Reads the file again; the edits since the last save (and their undo steps) are dropped.
    void revertToSaved();
    void showMessage(const QString& text);

  Q_SIGNALS:
    void windowClosed();
    void newDocumentRequested();
    void newDataSourceRequested();
    void openRequested();
    void quitRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void buildMenus();
    void setUpTables();
    void setContextColumn(int dataColumnIndex, const QPoint& headerPosition);
    void contextFromCurrentColumn();
    void settingsSheetEnded(int returnCode);
    void updateStatus();
    void updateFilterCount();
    void updateTitle();
    void restoreWindowState();
    void saveWindowState() const;

    NVSCGDataSource& m_dataSource;
    std::unique_ptr<Ui::NVSCGDataSourceWindowController> m_ui;
    std::unique_ptr<QUndoStack> m_undoStack;
    std::unique_ptr<DataSourceTableModel> m_model;
    std::unique_ptr<DataSourceFilterProxyModel> m_filter;
    platform::DocumentFileCommands* m_files;
    ColumnFormatPopover* m_popover;
    TableFindBar* m_findBar = nullptr;
    NVSCGDataSourceSettingsWindowController* m_settings = nullptr;
    FeedFileChooser m_feedFileChooser;
    QTimer* m_filterDelay;
    QMenu* m_fileMenu = nullptr;
    QAction* m_closeAction = nullptr;
    ColumnContextMenu* m_headerMenu = nullptr;
    NVSCGDataSourceColumnPtr m_contextColumn;
    int m_contextColumnIndex = -1;
    QPoint m_menuEventLocationInHeaderView;
    QString m_lastRefresh;
    bool m_shown = false;
};
