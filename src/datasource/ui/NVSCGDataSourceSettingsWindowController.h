#pragma once

#include "datasource/NVSCGDataSourceNode.h"
#include "datasource/ui/DataSourceEditCommands.h"

#include <QDialog>
#include <functional>
#include <memory>

class DataSourceContentTreeModel;
class NVSCGDataSource;
class QMenu;
namespace Ui {
class NVSCGDataSourceSettingsWindowController;
}

/// The sheet in which the operator chooses where a data source's content comes from (a URL or a
/// local XML or JSON file), which repeated element makes the rows (the XPath menu, with a "[*]"
/// item for every repeated element), and which elements become columns (check boxes in an
/// outline of the content). Changes apply at once, so the rows behind the sheet show them;
/// Cancel puts back the settings the sheet was opened with.
class NVSCGDataSourceSettingsWindowController : public QDialog {
    Q_OBJECT
  public:
    /// Asks for an XML or JSON file without blocking; calls back with its path (never when cancelled).
    /// Asks for a feed file, starting in `folder`; tests inject their own.
    using FileChooser = std::function<void(QWidget* parent, const QString& folder,
                                           std::function<void(const QString& path)> chosen)>;
    /// Element names repeated more often than this are offered as their "[*]" item and the first ones.
    static constexpr int MenuItemLimit = 100;

    NVSCGDataSourceSettingsWindowController(NVSCGDataSource& dataSource, QWidget* parent = nullptr);
    ~NVSCGDataSourceSettingsWindowController() override;

    NVSCGDataSource& dataSource() const { return m_dataSource; }
    Ui::NVSCGDataSourceSettingsWindowController& ui() const { return *m_ui; }
    DataSourceContentTreeModel* contentModel() const { return m_contentModel; }
    QMenu* XPathsMenu() const { return m_menu; }
    void setFileChooser(FileChooser chooser) { m_fileChooser = std::move(chooser); }
    /// Remembers the settings and shows the sheet, window-modal on its parent.
    void beginSheet();
    /// The settings when the sheet was shown.
    const DataSourceEditCommands::Settings& settingsAtStart() const { return m_atStart; }

    // The sheet's actions
    void URLTextFieldAction();
    void selectButtonAction();
    void xPathMenuItemAction(QAction* item);
    void applyButtonAction();
    void cancelButtonAction();
    void updateXPathPopupButton();
    void addMenuItemsForNode(NVSCGDataSourceNode& node, QMenu* menu);
    void addAndSelectDataSourceXPathIfNotPresentInXPathPopupButton();
    QAction* xPathMenuItemWithTitle(const QString& title, const QString& representedObject, QMenu* menu);

  private:
    void setURL(const QUrl& url);
    void expandOutline();
    void updateStatus();

    NVSCGDataSource& m_dataSource;
    std::unique_ptr<Ui::NVSCGDataSourceSettingsWindowController> m_ui;
    DataSourceContentTreeModel* m_contentModel;
    QMenu* m_menu = nullptr;
    std::vector<NVSCGDataSourceNodePtr> m_menuRoots;
    QAction* m_currentItem = nullptr;
    FileChooser m_fileChooser;
    DataSourceEditCommands::Settings m_atStart;
};
