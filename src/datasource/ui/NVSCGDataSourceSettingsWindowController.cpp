#include "datasource/ui/NVSCGDataSourceSettingsWindowController.h"

#include "datasource/NVSCGDataSource.h"
#include "datasource/ui/DataSourceContentTreeModel.h"
#include "ui_NVSCGDataSourceSettingsWindowController.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

namespace {

/// Outlines up to this size open completely; larger ones open their first two levels.
constexpr std::size_t FullyExpandedNodeLimit = 2000;

void chooseWithDialog(QWidget* parent, const QString& folder, std::function<void(const QString&)> chosen) {
    auto* dialog = new QFileDialog(parent, QObject::tr("Choose a Feed File"), folder,
                                   QObject::tr("XML and JSON files (*.xml *.json)"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    QObject::connect(dialog, &QFileDialog::fileSelected, parent,
                     [chosen = std::move(chosen)](const QString& path) { chosen(path); });
    dialog->open();
}

QString lastComponent(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

NVSCGDataSourceSettingsWindowController::NVSCGDataSourceSettingsWindowController(NVSCGDataSource& dataSource,
                                                                                 QWidget* parent)
    : QDialog(parent), m_dataSource(dataSource),
      m_ui(std::make_unique<Ui::NVSCGDataSourceSettingsWindowController>()),
      m_contentModel(new DataSourceContentTreeModel(dataSource, nullptr, this)),
      m_fileChooser(chooseWithDialog), m_atStart(DataSourceEditCommands::Settings::of(dataSource)) {
    m_ui->setupUi(this);
    m_ui->outlineView->setModel(m_contentModel);
    m_ui->outlineView->header()->setStretchLastSection(true);
    m_ui->outlineView->setColumnWidth(DataSourceContentTreeModel::TitleColumn, 280);
    QPushButton* apply = m_ui->buttonBox->button(QDialogButtonBox::Apply);
    apply->setDefault(true);
    apply->setAccessibleName(apply->text().remove(QLatin1Char('&')));
    QPushButton* cancel = m_ui->buttonBox->button(QDialogButtonBox::Cancel);
    cancel->setAccessibleName(cancel->text().remove(QLatin1Char('&')));
    connect(apply, &QPushButton::clicked, this, &NVSCGDataSourceSettingsWindowController::applyButtonAction);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this,
            &NVSCGDataSourceSettingsWindowController::cancelButtonAction);
    connect(m_ui->URLTextField, &QLineEdit::editingFinished, this,
            &NVSCGDataSourceSettingsWindowController::URLTextFieldAction);
    connect(m_ui->selectButton, &QPushButton::clicked, this,
            &NVSCGDataSourceSettingsWindowController::selectButtonAction);

    connect(&dataSource, &NVSCGDataSource::fileContentNodesChanged, this, [this] {
        updateXPathPopupButton();
        expandOutline();
    });
    connect(
        &dataSource, &NVSCGDataSource::XPathChanged, this,
        &NVSCGDataSourceSettingsWindowController::addAndSelectDataSourceXPathIfNotPresentInXPathPopupButton);
    connect(&dataSource, &NVSCGDataSource::statusChanged, this,
            &NVSCGDataSourceSettingsWindowController::updateStatus);
    connect(&dataSource, &NVSCGDataSource::contentNodesReset, this,
            &NVSCGDataSourceSettingsWindowController::updateStatus);
    updateXPathPopupButton();
    expandOutline();
    updateStatus();
}

NVSCGDataSourceSettingsWindowController::~NVSCGDataSourceSettingsWindowController() = default;

void NVSCGDataSourceSettingsWindowController::beginSheet() {
    m_atStart = DataSourceEditCommands::Settings::of(m_dataSource);
    const QUrl url = m_dataSource.dataSourceURL();
    m_ui->URLTextField->setText(url.isLocalFile() ? url.toLocalFile() : url.toString());
    setWindowModality(Qt::WindowModal);
    open();
    if (url.isEmpty())
        m_ui->URLTextField->setFocus();
}

void NVSCGDataSourceSettingsWindowController::setURL(const QUrl& url) {
    if (!url.isValid() || url == m_dataSource.dataSourceURL())
        return;
    m_dataSource.setDataSourceURL(url);
    m_dataSource.refreshContent();
    updateStatus();
}

void NVSCGDataSourceSettingsWindowController::URLTextFieldAction() {
    const QString text = m_ui->URLTextField->text().trimmed();
    if (text.isEmpty())
        return;
    // A path of this machine, or an address with its scheme; anything else is not a feed.
    if (QDir::isAbsolutePath(text)) {
        setURL(QUrl::fromLocalFile(text));
        return;
    }
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                          (scheme == QLatin1String("file") && url.isLocalFile())))
        setURL(url);
}

void NVSCGDataSourceSettingsWindowController::selectButtonAction() {
    QPointer<NVSCGDataSourceSettingsWindowController> self(this);
    // Where the feed file is, or the data source's own folder.
    QString folder;
    if (m_dataSource.dataSourceURL().isLocalFile())
        folder = QFileInfo(m_dataSource.dataSourceURL().toLocalFile()).absolutePath();
    else if (!m_dataSource.filePath().isEmpty())
        folder = QFileInfo(m_dataSource.filePath()).absolutePath();
    m_fileChooser(this, folder, [self](const QString& path) {
        if (!self || path.isEmpty())
            return;
        self->m_ui->URLTextField->setText(path);
        self->setURL(QUrl::fromLocalFile(path));
    });
}

void NVSCGDataSourceSettingsWindowController::xPathMenuItemAction(QAction* item) {
    const QVariant represented = item ? item->data() : QVariant();
    if (represented.typeId() == QMetaType::QString)
        m_dataSource.setXPath(represented.toString());
}

void NVSCGDataSourceSettingsWindowController::applyButtonAction() {
    done(1);
}

void NVSCGDataSourceSettingsWindowController::cancelButtonAction() {
    done(0);
}

QAction* NVSCGDataSourceSettingsWindowController::xPathMenuItemWithTitle(const QString& title,
                                                                         const QString& representedObject,
                                                                         QMenu* menu) {
    auto* item = new QAction(title, menu);
    item->setData(representedObject);
    connect(item, &QAction::triggered, this, [this, item] { xPathMenuItemAction(item); });
    return item;
}

void NVSCGDataSourceSettingsWindowController::addMenuItemsForNode(NVSCGDataSourceNode& node, QMenu* menu) {
    const QString path = node.XPath();
    const QString component = lastComponent(path);
    if (component.endsWith(QLatin1String("[1]"))) {
        // Every sibling of that name as a row.
        QString wildcardTitle = component;
        wildcardTitle[wildcardTitle.size() - 2] = QLatin1Char('*');
        QString wildcardPath = path;
        wildcardPath[wildcardPath.size() - 2] = QLatin1Char('*');
        menu->addAction(xPathMenuItemWithTitle(wildcardTitle, wildcardPath, menu));
    }
    QAction* own = xPathMenuItemWithTitle(component, path, menu);
    menu->addAction(own);
    if (node.children().empty())
        return;
    // Submenus are filled when first opened: a feed has thousands of elements.
    auto* submenu = new QMenu(menu);
    own->setMenu(submenu);
    connect(submenu, &QMenu::aboutToShow, this, [this, submenu, &node] {
        if (!submenu->isEmpty())
            return;
        int added = 0;
        for (const NVSCGDataSourceNodePtr& child : node.children()) {
            if (added++ == MenuItemLimit) {
                submenu->addAction(tr("… and %1 more").arg(node.children().size() - MenuItemLimit))
                    ->setEnabled(false);
                break;
            }
            addMenuItemsForNode(*child, submenu);
        }
    });
}

void NVSCGDataSourceSettingsWindowController::updateXPathPopupButton() {
    auto* menu = new QMenu(this);
    // The items' submenus refer to these nodes: they stay alive as long as the menu.
    m_menuRoots = m_dataSource.fileContentNodes();
    for (const NVSCGDataSourceNodePtr& root : m_menuRoots)
        addMenuItemsForNode(*root, menu);
    m_ui->XPathsPopupMenu->setMenu(menu);
    if (m_menu)
        m_menu->deleteLater();
    m_menu = menu;
    m_currentItem = nullptr;
    addAndSelectDataSourceXPathIfNotPresentInXPathPopupButton();
}

void NVSCGDataSourceSettingsWindowController::addAndSelectDataSourceXPathIfNotPresentInXPathPopupButton() {
    const QString XPath = m_dataSource.XPath();
    m_ui->XPathsPopupMenu->setText(XPath.isEmpty() ? tr("Choose the repeating element…") : XPath);
    if (XPath.isNull() || !m_menu)
        return;
    for (QAction* item : m_menu->actions()) {
        if (item->text() == XPath)
            return;
    }
    // The current XPath stands at the top of the list, once.
    if (m_currentItem) {
        m_menu->removeAction(m_currentItem);
        m_currentItem->deleteLater();
    }
    m_currentItem = xPathMenuItemWithTitle(lastComponent(XPath), XPath, m_menu);
    m_currentItem->setCheckable(true);
    m_currentItem->setChecked(true);
    const QList<QAction*> items = m_menu->actions();
    m_menu->insertAction(items.isEmpty() ? nullptr : items.first(), m_currentItem);
}

void NVSCGDataSourceSettingsWindowController::expandOutline() {
    if (m_contentModel->nodeCount() <= FullyExpandedNodeLimit)
        m_ui->outlineView->expandAll();
    else
        m_ui->outlineView->expandToDepth(1);
}

void NVSCGDataSourceSettingsWindowController::updateStatus() {
    QString text;
    if (m_dataSource.dataSourceURL().isEmpty())
        text = tr("Type the feed's address or choose a file.");
    else if (m_dataSource.status() == NVSCGDataSource::Refreshing)
        text = tr("Reading the feed…");
    else if (m_dataSource.fileContentNodes().empty())
        text = tr("No content yet. Check the address; the technical log has the details.");
    else
        text = m_dataSource.countOfContentNodes() == 1
                   ? tr("1 row with the current choice.")
                   : tr("%1 rows with the current choice.")
                         .arg(QLocale().toString(qulonglong(m_dataSource.countOfContentNodes())));
    m_ui->statusLabel->setText(text);
}
