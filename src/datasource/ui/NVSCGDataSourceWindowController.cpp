#include "datasource/ui/NVSCGDataSourceWindowController.h"

#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceConstants.h"
#include "datasource/ui/ColumnContextMenu.h"
#include "datasource/ui/ColumnFormatPopover.h"
#include "datasource/ui/DataSourceEditCommands.h"
#include "datasource/ui/DataSourceFilterProxyModel.h"
#include "datasource/ui/DataSourceTableModel.h"
#include "datasource/ui/DataSourceTablePair.h"
#include "datasource/ui/NVSCGDataSourceSettingsWindowController.h"
#include "datasource/ui/NVSCGDataSourceTokenField.h"
#include "datasource/ui/NVSTableHeaderView.h"
#include "datasource/ui/NVSTableViewWithEditableHeaders.h"
#include "datasource/ui/TableFindBar.h"
#include "platform/ui/SetValueCommand.h"
#include "ui_NVSCGDataSourceWindowController.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QLocale>
#include <QMenuBar>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <QUndoStack>

NVSCGDataSourceWindowController::NVSCGDataSourceWindowController(NVSCGDataSource& dataSource, QWidget* parent)
    : QMainWindow(parent), m_dataSource(dataSource),
      m_ui(std::make_unique<Ui::NVSCGDataSourceWindowController>()),
      m_undoStack(std::make_unique<QUndoStack>()),
      m_model(std::make_unique<DataSourceTableModel>(dataSource, m_undoStack.get())),
      m_filter(std::make_unique<DataSourceFilterProxyModel>(*m_model)),
      m_popover(new ColumnFormatPopover(dataSource, this)), m_filterDelay(new QTimer(this)) {
    auto* central = new QWidget(this);
    m_ui->setupUi(central);
    setCentralWidget(central);
    m_files = new platform::DocumentFileCommands(dataSource, *m_undoStack, *this, NVSCGDataSourceDocumentType,
                                                 NVSCGDataSourceFileExtension, tr("Data sources (*.cgds)"));
    connect(m_files, &platform::DocumentFileCommands::failed, this,
            &NVSCGDataSourceWindowController::showMessage);
    m_ui->messageBar->hide();
    connect(m_ui->dismissMessageButton, &QPushButton::clicked, m_ui->messageBar, &QWidget::hide);
    setUpTables();

    // Toolbar
    connect(m_ui->settingsButton, &QPushButton::clicked, this,
            &NVSCGDataSourceWindowController::showSettingsSheet);
    connect(m_ui->refreshButton, &QPushButton::clicked, this, &NVSCGDataSourceWindowController::refreshNow);
    connect(m_ui->filterButton, &QPushButton::clicked, this, [this] { setShowFilterView(true); });
    connect(m_ui->filterDoneButton, &QPushButton::clicked, this, [this] { setShowFilterView(false); });
    connect(m_ui->autoUpdateCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        if (on != m_dataSource.autoUpdate())
            m_undoStack->push(new platform::SetValueCommand(
                tr("Change Auto Update"), [this] { return m_dataSource.autoUpdate(); },
                [this](const QVariant& value) { m_dataSource.setAutoUpdate(value.toBool()); }, on));
    });
    connect(m_ui->autoUpdateFrequencySpinBox, &QDoubleSpinBox::editingFinished, this, [this] {
        const double seconds = m_ui->autoUpdateFrequencySpinBox->value();
        if (!qFuzzyCompare(seconds, m_dataSource.autoUpdateFrequency()))
            m_undoStack->push(new platform::SetValueCommand(
                tr("Change Update Period"), [this] { return m_dataSource.autoUpdateFrequency(); },
                [this](const QVariant& value) { m_dataSource.setAutoUpdateFrequency(value.toDouble()); },
                seconds));
    });
    const auto showSettings = [this] {
        const QSignalBlocker blockAuto(m_ui->autoUpdateCheckBox),
            blockPeriod(m_ui->autoUpdateFrequencySpinBox);
        m_ui->autoUpdateCheckBox->setChecked(m_dataSource.autoUpdate());
        m_ui->autoUpdateFrequencySpinBox->setValue(m_dataSource.autoUpdateFrequency());
    };
    connect(&dataSource, &NVSCGDataSource::autoUpdateChanged, this, showSettings);
    connect(&dataSource, &NVSCGDataSource::autoUpdateFrequencyChanged, this, showSettings);
    showSettings();

    // Filter: one pass after typing pauses.
    m_filterDelay->setSingleShot(true);
    m_filterDelay->setInterval(FilterDelay);
    connect(m_ui->filterField, &QLineEdit::textChanged, m_filterDelay, qOverload<>(&QTimer::start));
    connect(m_filterDelay, &QTimer::timeout, this, [this] { setFilterString(m_ui->filterField->text()); });
    setShowFilterView(false);
    // The find bar, always there above the table; the filter bar opens beside it on demand.
    m_findBar = new TableFindBar(*m_ui->scrollingTableView, this);
    m_ui->mainLayout->insertWidget(m_ui->mainLayout->indexOf(m_ui->tablesLayout), m_findBar);
    // Tab in visual order: the filter bar, the find bar, then the table.
    QWidget::setTabOrder(m_ui->filterDoneButton, m_findBar->field());
    QWidget::setTabOrder(m_findBar->field(), m_findBar->previousButton());
    QWidget::setTabOrder(m_findBar->previousButton(), m_findBar->nextButton());
    QWidget::setTabOrder(m_findBar->nextButton(), m_ui->scrollingTableView);
    auto* closeFilter = new QShortcut(QKeySequence(Qt::Key_Escape), m_ui->filterView);
    closeFilter->setContext(Qt::WidgetWithChildrenShortcut);
    connect(closeFilter, &QShortcut::activated, this, [this] { setShowFilterView(false); });

    // Status
    connect(&dataSource, &NVSCGDataSource::statusChanged, this,
            &NVSCGDataSourceWindowController::updateStatus);
    connect(&dataSource, &NVSCGDataSource::refreshEnded, this, [this](bool delivered) {
        const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
        if (delivered) {
            m_lastRefresh = time;
            m_ui->messageBar->hide();
        } else {
            showMessage(tr("The refresh at %1 brought no content. The rows shown are kept; the technical "
                           "log says why.")
                            .arg(time));
        }
        updateStatus();
    });
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_filter.get(), signal, this, &NVSCGDataSourceWindowController::updateFilterCount);
    connect(m_filter.get(), &QAbstractItemModel::modelReset, this,
            &NVSCGDataSourceWindowController::updateFilterCount);
    connect(m_filter.get(), &QAbstractItemModel::layoutChanged, this,
            &NVSCGDataSourceWindowController::updateFilterCount);

    // Format popover
    connect(m_popover, &ColumnFormatPopover::formatEdited, this,
            [this](const NVSCGDataSourceColumnPtr& column, const QString& format) {
                m_undoStack->push(new DataSourceEditCommands::SetColumnProperty(
                    m_dataSource, *column, DataSourceEditCommands::SetColumnProperty::Format, format));
            });
    connect(m_popover, &ColumnFormatPopover::closed, this,
            [this] { m_ui->scrollingTableView->viewport()->update(); });

    connect(&dataSource, &platform::Document::filePathChanged, this,
            &NVSCGDataSourceWindowController::updateTitle);
    connect(&dataSource, &platform::Document::documentEditedChanged, this,
            &NVSCGDataSourceWindowController::updateTitle);
    buildMenus();
    updateTitle();
    updateStatus();
    updateFilterCount();
    resize(1000, 600);
    restoreWindowState();
}

NVSCGDataSourceWindowController::~NVSCGDataSourceWindowController() {
    // The children go after this controller's own part (tables losing the focus, the popover
    // hiding): they must not call back into it.
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
    // The views go before the models, the models before the undo stack they push to.
    m_ui->fixedTableView->setModel(nullptr);
    m_ui->scrollingTableView->setModel(nullptr);
    m_filter.reset();
    m_model.reset();
}

NVSTableViewWithEditableHeaders* NVSCGDataSourceWindowController::fixedTableView() const {
    return m_ui->fixedTableView;
}

NVSTableViewWithEditableHeaders* NVSCGDataSourceWindowController::scrollingTableView() const {
    return m_ui->scrollingTableView;
}

void NVSCGDataSourceWindowController::setUpTables() {
    NVSTableViewWithEditableHeaders* scrolling = m_ui->scrollingTableView;
    new DataSourceTablePair(*m_ui->fixedTableView, *scrolling, *m_filter, m_dataSource, *m_undoStack, this);
    connect(scrolling->headerView(), &NVSTableHeaderView::menuRequested, this,
            [this, scrolling](const QPoint& position) {
                if (QMenu* menu = menuForHeaderPosition(position))
                    menu->popup(scrolling->horizontalHeader()->mapToGlobal(position));
            });
    scrolling->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(scrolling, &QWidget::customContextMenuRequested, this, [this, scrolling](const QPoint& position) {
        // From the keyboard (or a press on a cell): the menu of the column there.
        const int column =
            position.isNull() ? scrolling->currentIndex().column() : scrolling->columnAt(position.x());
        if (column < 0)
            return;
        const QPoint headerPosition(scrolling->horizontalHeader()->sectionViewportPosition(column) + 8,
                                    scrolling->horizontalHeader()->height() / 2);
        if (QMenu* menu = menuForHeaderPosition(headerPosition))
            menu->popup(scrolling->horizontalHeader()->mapToGlobal(headerPosition));
    });
    scrolling->setHitTestVeto([this](const QPoint& position) { return shouldSwallowPress(position); });
}

void NVSCGDataSourceWindowController::buildMenus() {
    m_fileMenu = menuBar()->addMenu(tr("&File"));
    m_fileMenu->addAction(tr("&New"), this, &NVSCGDataSourceWindowController::newDocumentRequested)
        ->setShortcut(QKeySequence::New);
    m_fileMenu
        ->addAction(tr("New &Data Source"), this, &NVSCGDataSourceWindowController::newDataSourceRequested)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    m_fileMenu->addAction(tr("&Open…"), this, &NVSCGDataSourceWindowController::openRequested)
        ->setShortcut(QKeySequence::Open);
    m_fileMenu->addSeparator();
    m_files->addSaveActions(m_fileMenu, [this] { revertToSaved(); });
    m_fileMenu->addSeparator();
    m_closeAction = m_fileMenu->addAction(tr("&Close"), this, &QWidget::close);
    m_closeAction->setShortcut(QKeySequence::Close);
    m_fileMenu->addAction(tr("&Quit"), this, &NVSCGDataSourceWindowController::quitRequested)
        ->setShortcut(QKeySequence::Quit);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    m_files->addUndoActions(edit);
    edit->addSeparator();
    edit->addAction(tr("&Find…"), this, [this] { m_findBar->activate(); })->setShortcut(QKeySequence::Find);
    edit->addAction(tr("Find &Next"), this, [this] { m_findBar->findNext(); })
        ->setShortcuts(QKeySequence::FindNext);
    edit->addAction(tr("Find Pre&vious"), this, [this] { m_findBar->findPrevious(); })
        ->setShortcuts(QKeySequence::FindPrevious);
    edit->addAction(tr("&Filter Rows…"), this, [this] { setShowFilterView(true); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));

    // The column commands, in the header's menu and (for the current column) the Data Source menu.
    m_headerMenu = new ColumnContextMenu({[this] { columnContextualMenuRenameMenuItemAction(); },
                                          [this](uint type) { columnContextualMenuTypeMenuItemAction(type); },
                                          [this] { columnContextualMenuDuplicateMenuItemAction(); },
                                          [this] { columnContextualMenuDeleteMenuItemAction(); },
                                          [this] { columnContextualMenuAddCustomColumnMenuItemAction(); },
                                          [this] { columnContextualMenuEditCustomColumnMenuItemAction(); }},
                                         this);

    QMenu* dataMenu = menuBar()->addMenu(tr("&Data Source"));
    dataMenu->addAction(tr("&Settings…"), this, &NVSCGDataSourceWindowController::showSettingsSheet);
    dataMenu->addAction(tr("&Refresh Now"), this, &NVSCGDataSourceWindowController::refreshNow)
        ->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)});
    dataMenu->addAction(tr("Reload &Images"), this, &NVSCGDataSourceWindowController::reloadImagesAction);
    dataMenu->addSeparator();
    QMenu* column = dataMenu->addMenu(tr("&Column"));
    column->addActions(m_headerMenu->actions());
    connect(column, &QMenu::aboutToShow, this, &NVSCGDataSourceWindowController::contextFromCurrentColumn);
    // Delete works on the table with the keyboard's focus.
    auto* deleteKey = new QAction(this);
    deleteKey->setShortcut(QKeySequence::Delete);
    deleteKey->setShortcutContext(Qt::WidgetShortcut);
    connect(deleteKey, &QAction::triggered, this, [this] {
        contextFromCurrentColumn();
        columnContextualMenuDeleteMenuItemAction();
    });
    m_ui->scrollingTableView->addAction(deleteKey);
}

void NVSCGDataSourceWindowController::updateTitle() {
    setWindowTitle(m_dataSource.displayName() + QStringLiteral("[*] — Graflink"));
    setWindowModified(m_dataSource.isDocumentEdited());
}

void NVSCGDataSourceWindowController::updateStatus() {
    const QLocale locale;
    QString text;
    if (m_dataSource.dataSourceURL().isEmpty())
        text = tr("No feed chosen");
    else if (m_dataSource.status() == NVSCGDataSource::Refreshing)
        text = tr("Reading the feed…");
    else if (m_lastRefresh.isEmpty())
        text = tr("Not read yet");
    else
        text = tr("Updated %1").arg(m_lastRefresh);
    text = tr("%1 rows · %2").arg(locale.toString(qlonglong(m_dataSource.countOfContentNodes())), text);
    if (m_dataSource.autoUpdate())
        text += tr(" · auto update on");
    m_ui->statusLabel->setText(text);
    m_ui->statusLabel->setAccessibleDescription(text);
}

void NVSCGDataSourceWindowController::updateFilterCount() {
    const QLocale locale;
    m_ui->filterCountLabel->setText(tr("%1 of %2 rows")
                                        .arg(locale.toString(m_filter->rowCount()))
                                        .arg(locale.toString(m_model->rowCount())));
    // Said as shown: "16 of 40 rows".
    m_ui->filterCountLabel->setAccessibleName(m_ui->filterCountLabel->text());
    updateStatus();
}

void NVSCGDataSourceWindowController::showMessage(const QString& text) {
    m_ui->messageLabel->setText(text);
    m_ui->messageBar->show();
}

QString NVSCGDataSourceWindowController::filterString() const {
    return m_filter->filterString();
}

void NVSCGDataSourceWindowController::setFilterString(const QString& text) {
    m_filterDelay->stop();
    if (m_ui->filterField->text() != text) {
        const QSignalBlocker block(m_ui->filterField);
        m_ui->filterField->setText(text);
    }
    m_filter->setFilterString(text);
    updateFilterCount();
}

bool NVSCGDataSourceWindowController::showFilterView() const {
    return !m_ui->filterView->isHidden();
}

void NVSCGDataSourceWindowController::setShowFilterView(bool show) {
    m_ui->filterView->setVisible(show);
    if (show) {
        m_ui->filterField->setFocus();
        m_ui->filterField->selectAll();
    } else {
        // A hidden filter would hide rows without saying so.
        setFilterString(QString());
        if (isVisible())
            m_ui->scrollingTableView->setFocus();
    }
}

NVSCGDataSourceSettingsWindowController* NVSCGDataSourceWindowController::settingsWindowController() {
    if (!m_settings) {
        m_settings = new NVSCGDataSourceSettingsWindowController(m_dataSource, this);
        if (m_feedFileChooser)
            m_settings->setFileChooser(m_feedFileChooser);
        connect(m_settings, &QDialog::finished, this, &NVSCGDataSourceWindowController::settingsSheetEnded);
    }
    return m_settings;
}

void NVSCGDataSourceWindowController::setFeedFileChooser(FeedFileChooser chooser) {
    m_feedFileChooser = std::move(chooser);
    if (m_settings)
        m_settings->setFileChooser(m_feedFileChooser);
}

void NVSCGDataSourceWindowController::showSettingsSheet() {
    NVSCGDataSourceSettingsWindowController* sheet = settingsWindowController();
    if (sheet->isVisible())
        return;
    m_dataSource.pauseUpdateTimer();
    sheet->beginSheet();
}

void NVSCGDataSourceWindowController::settingsSheetEnded(int returnCode) {
    m_dataSource.resumeUpdateTimer();
    const DataSourceEditCommands::Settings& before = m_settings->settingsAtStart();
    if (returnCode != 0) {
        if (!(DataSourceEditCommands::Settings::of(m_dataSource) == before))
            m_undoStack->push(new DataSourceEditCommands::ChangeSettings(m_dataSource, before));
        return;
    }
    before.restore(m_dataSource);
    // A new data source without a feed has nothing to show.
    if (m_dataSource.dataSourceURL().isEmpty())
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void NVSCGDataSourceWindowController::refreshNow() {
    if (!m_dataSource.dataSourceURL().isEmpty())
        m_dataSource.refreshContent();
}

void NVSCGDataSourceWindowController::reloadImagesAction() {
    m_model->reloadImages();
}

void NVSCGDataSourceWindowController::revertToSaved() {
    if (m_dataSource.filePath().isEmpty())
        return;
    platform::Error error;
    if (!m_dataSource.readFromPath(m_dataSource.filePath(), NVSCGDataSourceDocumentType, &error)) {
        showMessage(tr("Could not read the file again: %1. The data source is as it was.")
                        .arg(error.localizedDescription()));
        return;
    }
    m_undoStack->clear();
    m_dataSource.updateChangeCount(platform::Document::ChangeKind::Cleared);
    refreshNow();
}

void NVSCGDataSourceWindowController::restoreWindowState() {
    const QVariantMap widths = m_files->restoreWindowState().value(QStringLiteral("columnWidths")).toMap();
    for (auto it = widths.begin(); it != widths.end(); ++it) {
        const int section = m_model->modelColumnOf(it.key());
        if (section >= 0 && it.value().toInt() > 0)
            m_ui->scrollingTableView->setColumnWidth(section, it.value().toInt());
    }
}

void NVSCGDataSourceWindowController::saveWindowState() const {
    QVariantMap widths;
    for (int section = DataSourceTableModel::FirstDataColumn; section < m_model->columnCount(); ++section) {
        if (const NVSCGDataSourceColumnPtr column = m_model->dataSourceColumn(section))
            widths.insert(column->uniqueID(), m_ui->scrollingTableView->columnWidth(section));
    }
    m_files->saveWindowState({{QStringLiteral("columnWidths"), widths}});
}

void NVSCGDataSourceWindowController::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (std::exchange(m_shown, true))
        return;
    // A new data source starts with its settings.
    if (m_dataSource.dataSourceURL().isEmpty())
        QTimer::singleShot(0, this, &NVSCGDataSourceWindowController::showSettingsSheet);
}

void NVSCGDataSourceWindowController::closeEvent(QCloseEvent* event) {
    if (!m_files->mayClose(event))
        return;
    m_popover->hide();
    if (m_settings && m_settings->isVisible())
        m_settings->done(0);
    saveWindowState();
    event->accept();
    Q_EMIT windowClosed();
}
