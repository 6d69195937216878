#include "app/ui/GraflinkDocumentWindowController.h"

#include "app/DuplicateBindings.h"
#include "app/FeedFreshness.h"
#include "app/FeedProbe.h"
#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "app/VariableEditCommands.h"
#include "app/VariablesModel.h"
#include "app/ui/CGSettingsPopover.h"
#include "app/ui/DocumentMessageBar.h"
#include "app/ui/FeedAuthenticationDialog.h"
#include "app/ui/PathsWindow.h"
#include "app/ui/RecentDocuments.h"
#include "app/ui/VariableItemDelegate.h"
#include "platform/RedactedText.h"
#include "platform/ui/DocumentFileCommands.h"
#include "platform/ui/SetValueCommand.h"
#include "ui_GraflinkDocument.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QUndoStack>
#include <cmath>

namespace {

void chooseFilterWithDialog(QWidget* parent, const QString& folder,
                            std::function<void(const QString&)> chosen) {
    auto* dialog = new QFileDialog(parent, QObject::tr("Choose a JavaScript Filter"), folder,
                                   QObject::tr("JavaScript (*.js *.mjs)"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QFileDialog::fileSelected, parent,
                     [chosen = std::move(chosen)](const QString& path) { chosen(path); });
    dialog->open();
}

} // namespace

GraflinkDocumentWindowController::GraflinkDocumentWindowController(GraflinkDocument& document,
                                                                   QWidget* parent)
    : QMainWindow(parent), m_document(document), m_ui(std::make_unique<Ui::GraflinkDocument>()),
      m_undoStack(std::make_unique<QUndoStack>()), m_filterChooser(chooseFilterWithDialog) {
    m_files =
        new platform::DocumentFileCommands(document, *m_undoStack, *this, GraflinkDocument::DocumentTypeName,
                                           QStringLiteral("graflink"), tr("Graflink documents (*.graflink)"));
    connect(m_files, &platform::DocumentFileCommands::failed, this,
            &GraflinkDocumentWindowController::showMessage);
    auto* central = new QWidget(this);
    m_ui->setupUi(central);
    m_messages = new DocumentMessageBar(*m_ui->messageBar, *m_ui->messageLabel, this);
    setCentralWidget(central);
    m_model = std::make_unique<VariablesModel>(document, m_undoStack.get());
    QTableView* table = m_ui->variablesTableView;
    table->setModel(m_model.get());
    table->setItemDelegate(new VariableItemDelegate(table));
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table->setColumnWidth(VariablesModel::PathColumn, 260);
    table->setColumnWidth(VariablesModel::ValueColumn, 180);
    table->setColumnWidth(VariablesModel::AgeColumn, 70);
    table->setColumnWidth(VariablesModel::TypeColumn, 80);
    table->verticalHeader()->setVisible(false);
    m_popover = new CGSettingsPopover(document, this);
    m_probe = std::make_unique<FeedProbe>(document, document.httpClient());
    m_pathsWindow = new PathsWindow(document, *m_probe, this);
    connect(m_pathsWindow, &PathsWindow::newVariableRequested, this,
            &GraflinkDocumentWindowController::makeNewVariable);
    // Two variables on one field: said once per change, after the edit that made it.
    m_bindingCheck = new QTimer(this);
    m_bindingCheck->setSingleShot(true);
    connect(m_bindingCheck, &QTimer::timeout, this, &GraflinkDocumentWindowController::checkBindings);
    const auto checkSoon = [this] { m_bindingCheck->start(0); };
    connect(m_model.get(), &QAbstractItemModel::rowsInserted, this, checkSoon);
    connect(m_model.get(), &QAbstractItemModel::rowsRemoved, this, checkSoon);
    connect(m_model.get(), &QAbstractItemModel::modelReset, this, checkSoon);
    connect(m_model.get(), &QAbstractItemModel::dataChanged, this,
            [checkSoon](const QModelIndex& first, const QModelIndex& last) {
                if (first.column() <= VariablesModel::FieldColumn &&
                    last.column() >= VariablesModel::ProjectColumn)
                    checkSoon();
            });
    checkSoon();

    // Controls → document
    connect(m_ui->updateButton, &QPushButton::clicked, this,
            &GraflinkDocumentWindowController::updateButtonPushed);
    connect(m_ui->clearCGButton, &QPushButton::clicked, this,
            &GraflinkDocumentWindowController::clearCGButtonPushed);
    connect(m_ui->CGSettingsButton, &QPushButton::clicked, this,
            &GraflinkDocumentWindowController::CGSettingsButtonPushed);
    connect(m_ui->getPathsButton, &QPushButton::clicked, this,
            &GraflinkDocumentWindowController::getPathsButtonPushed);
    connect(m_ui->filterButton, &QPushButton::clicked, this,
            &GraflinkDocumentWindowController::selectJavascriptFilter);
    connect(m_ui->feedSignInButton, &QPushButton::clicked, this,
            &GraflinkDocumentWindowController::editFeedSignIn);
    connect(m_ui->addVariableButton, &QPushButton::clicked, this, [this] { makeNewVariable(QString()); });
    connect(m_ui->removeVariableButton, &QPushButton::clicked, this,
            &GraflinkDocumentWindowController::removeSelectedVariables);
    connect(m_ui->retryButton, &QPushButton::clicked, this,
            &GraflinkDocumentWindowController::updateButtonPushed);
    connect(m_ui->dismissMessageButton, &QPushButton::clicked, m_ui->messageBar, &QWidget::hide);
    connect(m_ui->publishButton, &QPushButton::toggled, this,
            [this](bool on) { m_document.setPublishToCG(on); });
    connect(m_ui->autoRefreshCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        if (on == m_document.autoRefresh())
            return;
        m_undoStack->push(new platform::SetValueCommand(
            tr("Change Auto Refresh"), [this] { return m_document.autoRefresh(); },
            [this](const QVariant& value) { m_document.setAutoRefresh(value.toBool()); }, on));
    });
    connect(m_ui->refreshFrequencySpinBox, &QDoubleSpinBox::editingFinished, this, [this] {
        const double seconds = m_ui->refreshFrequencySpinBox->value();
        if (seconds == m_document.refreshFrequency())
            return;
        m_undoStack->push(new platform::SetValueCommand(
            tr("Change Refresh Period"), [this] { return m_document.refreshFrequency(); },
            [this](const QVariant& value) { m_document.setRefreshFrequency(value.toDouble()); }, seconds));
    });
    connect(m_ui->staleAfterSpinBox, &QSpinBox::editingFinished, this, [this] {
        const double seconds = m_ui->staleAfterSpinBox->value();
        if (seconds == m_document.staleAfterSeconds())
            return;
        m_undoStack->push(new platform::SetValueCommand(
            tr("Change Stale Alarm"), [this] { return m_document.staleAfterSeconds(); },
            [this](const QVariant& value) { m_document.setStaleAfterSeconds(value.toDouble()); }, seconds));
    });
    connect(m_ui->changeOnlyCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        if (on == m_document.changeOnlyPublishing())
            return;
        m_undoStack->push(new platform::SetValueCommand(
            tr("Change Sending Changes Only"), [this] { return m_document.changeOnlyPublishing(); },
            [this](const QVariant& value) { m_document.setChangeOnlyPublishing(value.toBool()); }, on));
    });
    connect(m_ui->sourceURLField, &QLineEdit::editingFinished, this, [this] {
        const QString address = m_ui->sourceURLField->text().trimmed();
        if (address == m_document.sourceURLString().value_or(QString()))
            return;
        m_undoStack->push(new platform::SetValueCommand(
            tr("Change Feed"), [this] { return m_document.sourceURLString().value_or(QString()); },
            [this](const QVariant& value) {
                const QString text = value.toString();
                m_document.setSourceURLString(text.isEmpty() ? std::nullopt : std::optional<QString>(text));
            },
            address));
    });

    // Document → controls
    const auto showSettings = [this] {
        const QSignalBlocker blockPublish(m_ui->publishButton), blockAuto(m_ui->autoRefreshCheckBox),
            blockPeriod(m_ui->refreshFrequencySpinBox), blockStale(m_ui->staleAfterSpinBox),
            blockChanges(m_ui->changeOnlyCheckBox);
        m_ui->publishButton->setChecked(m_document.publishToCG());
        m_ui->staleAfterSpinBox->setValue(int(std::lround(m_document.staleAfterSeconds())));
        m_ui->changeOnlyCheckBox->setChecked(m_document.changeOnlyPublishing());
        m_ui->autoRefreshCheckBox->setChecked(m_document.autoRefresh());
        m_ui->refreshFrequencySpinBox->setValue(m_document.refreshFrequency());
        if (!m_ui->sourceURLField->hasFocus())
            m_ui->sourceURLField->setText(m_document.sourceURLString().value_or(QString()));
        updateConnectionStatus();
    };
    connect(&document, &GraflinkDocument::publishToCGChanged, this, showSettings);
    connect(&document, &GraflinkDocument::autoRefreshChanged, this, showSettings);
    connect(&document, &GraflinkDocument::refreshFrequencyChanged, this, showSettings);
    connect(&document, &GraflinkDocument::sourceURLStringChanged, this, showSettings);
    connect(&document, &GraflinkDocument::staleAfterSecondsChanged, this, showSettings);
    connect(&document, &GraflinkDocument::changeOnlyPublishingChanged, this, showSettings);
    // The data's age moves every second: the status line and the Age column follow it.
    m_ageTimer = new QTimer(this);
    connect(m_ageTimer, &QTimer::timeout, this, &GraflinkDocumentWindowController::updateFreshness);
    m_ageTimer->start(1000);
    connect(&document.freshness(), &FeedFreshness::staleChanged, this,
            &GraflinkDocumentWindowController::updateFreshness);
    connect(&document, &GraflinkDocument::isConnectedToCGChanged, this, showSettings);
    connect(&document, &GraflinkDocument::CGServerIPAddressChanged, this, showSettings);
    connect(&document, &GraflinkDocument::refreshFinished, this,
            &GraflinkDocumentWindowController::refreshFinished);
    connect(&document, &GraflinkDocument::filePathChanged, this,
            &GraflinkDocumentWindowController::updateTitle);
    connect(&document, &GraflinkDocument::documentEditedChanged, this,
            &GraflinkDocumentWindowController::updateTitle);
    showSettings();
    updateFreshness();

    buildMenus();
    updateTitle();
    resize(980, 540);
    const QVariantMap state = m_files->restoreWindowState();
    m_ui->variablesTableView->horizontalHeader()->restoreState(
        state.value(QStringLiteral("columns")).toByteArray());
}

GraflinkDocumentWindowController::~GraflinkDocumentWindowController() {
    // The model goes before the undo stack it pushes to.
    m_ui->variablesTableView->setModel(nullptr);
    m_model.reset();
}

void GraflinkDocumentWindowController::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&New"), this, &GraflinkDocumentWindowController::newDocumentRequested)
        ->setShortcut(QKeySequence::New);
    file->addAction(tr("&Open…"), this, &GraflinkDocumentWindowController::openRequested)
        ->setShortcut(QKeySequence::Open);
    file->addSeparator();
    m_files->addSaveActions(file, [this] { revertToSaved(); });
    file->addSeparator();
    QAction* close = file->addAction(tr("&Close"), this, &QWidget::close);
    close->setShortcut(QKeySequence::Close);
    file->addAction(tr("&Quit"), this, &GraflinkDocumentWindowController::quitRequested)
        ->setShortcut(QKeySequence::Quit);
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    m_files->addUndoActions(edit);
    edit->addSeparator();
    QAction* remove = edit->addAction(tr("&Delete Variable"), this,
                                      &GraflinkDocumentWindowController::removeSelectedVariables);
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_ui->variablesTableView->addAction(remove);
    QMenu* feed = menuBar()->addMenu(tr("Fee&d"));
    QAction* update =
        feed->addAction(tr("&Update"), this, &GraflinkDocumentWindowController::updateButtonPushed);
    update->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)});
    feed->addAction(tr("&Get Paths"), this, &GraflinkDocumentWindowController::getPathsButtonPushed);
    feed->addSeparator();
    feed->addAction(tr("&Clear CG Fields…"), this, &GraflinkDocumentWindowController::clearCGButtonPushed);
}

void GraflinkDocumentWindowController::updateTitle() {
    setWindowTitle(m_document.displayName() + QStringLiteral("[*] — Graflink"));
    setWindowModified(m_document.isDocumentEdited());
}

void GraflinkDocumentWindowController::updateConnectionStatus() {
    const bool connected = m_document.isConnectedToCG();
    const bool hasServer = !m_document.CGServerIPAddress().trimmed().isEmpty();
    const QString server =
        QStringLiteral("%1:%2").arg(m_document.CGServerIPAddress()).arg(m_document.CGServerPortNumber());
    m_ui->connectionStatusLabel->setText(!hasServer  ? tr("○ No CG server")
                                         : connected ? tr("● CG %1 connected").arg(server)
                                                     : tr("○ CG %1 not connected, retrying").arg(server));
    m_ui->connectionStatusLabel->setStyleSheet(connected ? QStringLiteral("color: #1e8e3e;") : QString());
    const bool onAir = m_document.publishToCG();
    m_ui->publishButton->setText(!onAir      ? tr("Preview only")
                                 : connected ? tr("ON AIR")
                                             : tr("⚠ ON AIR, CG NOT CONNECTED"));
    m_ui->publishButton->setStyleSheet(
        !onAir ? QString()
        : connected
            ? QStringLiteral("QPushButton { background: #c62828; color: white; font-weight: bold; }")
            : QStringLiteral("QPushButton { background: #f9a825; color: black; font-weight: bold; }"));
    m_ui->publishButton->setAccessibleName(m_ui->publishButton->text());
    m_ui->connectionStatusLabel->setAccessibleName(m_ui->connectionStatusLabel->text());
}

void GraflinkDocumentWindowController::updateFreshness() {
    const FeedFreshness& freshness = m_document.freshness();
    const std::optional<qint64> since = freshness.secondsSinceLastSuccess();
    QString text = tr("Not refreshed yet");
    if (freshness.isStale())
        text = since ? tr("⚠ STALE: no data for %1").arg(ageText(*since)) : tr("⚠ STALE: no data yet");
    else if (since)
        text = tr("Last refresh %1, %2 ago")
                   .arg(freshness.lastSuccess().toLocalTime().toString(QStringLiteral("HH:mm:ss")),
                        ageText(*since));
    m_ui->refreshStatusLabel->setText(text);
    m_ui->refreshStatusLabel->setAccessibleName(text);
    m_ui->refreshStatusLabel->setStyleSheet(
        freshness.isStale() ? QStringLiteral("color: #c62828; font-weight: bold;") : QString());
    if (isVisible())
        m_model->refreshAges();
}

QString GraflinkDocumentWindowController::ageText(qint64 seconds) {
    if (seconds < 60)
        return tr("%1 s").arg(seconds);
    if (seconds < 3600)
        return tr("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return tr("%1 h %2 min").arg(seconds / 3600).arg((seconds % 3600) / 60);
}

void GraflinkDocumentWindowController::refreshFinished(bool processed) {
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    if (processed) {
        updateFreshness();
        m_messages->refreshSucceeded();
        m_messages->setProblem(DocumentMessageBar::Problem::Filter, m_document.filterProblem());
    } else {
        showMessage(tr("Refresh failed %1: the feed %2 could not be fetched or read (see the technical log). "
                       "Values kept.")
                        .arg(time, platform::RedactedText::fromText(
                                       m_document.sourceURLString().value_or(QString()))));
    }
}

void GraflinkDocumentWindowController::checkBindings() {
    m_messages->setProblem(DocumentMessageBar::Problem::Bindings,
                           DuplicateBindings::warning(m_document.variables().variables()));
}

void GraflinkDocumentWindowController::showMessage(const QString& text) {
    m_messages->show(text);
}

void GraflinkDocumentWindowController::updateButtonPushed() {
    m_document.refresh();
}

void GraflinkDocumentWindowController::clearCGButtonPushed() {
    auto* question =
        new QMessageBox(QMessageBox::Warning, tr("Clear every bound field on the CG server?"),
                        tr("The fields of %1 go blank on air at once, and the document goes off air "
                           "(Preview only) until you turn ON AIR on again.")
                            .arg(m_document.displayName()),
                        QMessageBox::Cancel, this);
    QPushButton* clear = question->addButton(tr("Clear Fields"), QMessageBox::DestructiveRole);
    question->setDefaultButton(QMessageBox::Cancel);
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setWindowModality(Qt::WindowModal);
    connect(question, &QMessageBox::buttonClicked, this, [this, clear](QAbstractButton* button) {
        if (button != clear)
            return;
        m_document.clearCGAndGoOffAir();
    });
    question->open();
}

void GraflinkDocumentWindowController::editFeedSignIn() {
    auto* dialog = new FeedAuthenticationDialog(
        m_document.feedAuthentication(),
        [this] { return QUrl(m_document.sourceURLString().value_or(QString())); }, m_document.secretStore(),
        [this](const platform::FeedAuthentication& settings) {
            if (settings != m_document.feedAuthentication())
                m_undoStack->push(
                    FeedAuthenticationDialog::changeStep([this] { return m_document.feedAuthentication(); },
                                                         [this](const platform::FeedAuthentication& value) {
                                                             m_document.setFeedAuthentication(value);
                                                         },
                                                         settings));
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void GraflinkDocumentWindowController::CGSettingsButtonPushed() {
    m_popover->showBelow(m_ui->CGSettingsButton);
}

void GraflinkDocumentWindowController::getPathsButtonPushed() {
    m_document.getPaths();
    m_probe->fetch();
    m_pathsWindow->show();
    m_pathsWindow->raise();
    m_pathsWindow->activateWindow();
}

void GraflinkDocumentWindowController::selectJavascriptFilter() {
    QPointer<GraflinkDocumentWindowController> self(this);
    // Where the filter is, or the document's own folder.
    QString folder;
    if (const QString filter = m_document.resolvedJavascriptFilterPath(); !filter.isEmpty())
        folder = QFileInfo(filter).absolutePath();
    else if (!m_document.filePath().isEmpty())
        folder = QFileInfo(m_document.filePath()).absolutePath();
    m_filterChooser(this, folder, [self](const QString& path) {
        if (!self || path.isEmpty())
            return;
        self->m_undoStack->push(new platform::SetValueCommand(
            tr("Choose Filter"),
            [self] { return self->m_document.javascriptFilterPath().value_or(QString()); },
            [self](const QVariant& value) {
                const QString text = value.toString();
                self->m_document.setJavascriptFilterPath(text.isEmpty() ? std::nullopt
                                                                        : std::optional<QString>(text));
            },
            path));
    });
}

void GraflinkDocumentWindowController::makeNewVariable(const QString& path, int valueType) {
    // A variable made without a path has none (not the default path of a new variable), and
    // making it is one undo step.
    QVariantMap dictionary{{GraflinkVariable::XPathKey, path}};
    if (valueType >= 0)
        dictionary.insert(GraflinkVariable::ValueTypeKey, valueType);
    const int row = m_model->rowCount();
    m_undoStack->push(new VariableEditCommands::InsertVariable(m_document, row, dictionary));
    m_ui->variablesTableView->selectRow(row);
}

void GraflinkDocumentWindowController::removeSelectedVariables() {
    QList<int> rows;
    for (const QModelIndex& index : m_ui->variablesTableView->selectionModel()->selectedRows())
        rows.append(index.row());
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end(), std::greater<>());
    m_undoStack->beginMacro(rows.size() == 1 ? tr("Delete Variable") : tr("Delete Variables"));
    for (const int row : rows)
        m_undoStack->push(new VariableEditCommands::RemoveVariable(m_document, row));
    m_undoStack->endMacro();
}

void GraflinkDocumentWindowController::revertToSaved() {
    if (m_document.filePath().isEmpty())
        return;
    // Reading keeps the variables when the file has none; reverting must not. A file that no
    // longer reads leaves the document as it was.
    const QList<QVariantMap> current = m_document.variablesAsDictionaries();
    m_document.variables().replaceAll({});
    platform::Error error;
    if (!m_document.readFromPath(m_document.filePath(), GraflinkDocument::DocumentTypeName, &error)) {
        m_document.loadVariablesFromDictionaries(current);
        showMessage(tr("Could not read the file again: %1. The document is as it was.")
                        .arg(error.localizedDescription()));
        return;
    }
    m_undoStack->clear();
}

void GraflinkDocumentWindowController::closeEvent(QCloseEvent* event) {
    if (!m_files->mayClose(event))
        return;
    m_document.stopRefreshTimer();
    m_pathsWindow->close();
    m_files->saveWindowState(
        {{QStringLiteral("columns"), m_ui->variablesTableView->horizontalHeader()->saveState()}});
    event->accept();
    Q_EMIT windowClosed();
}
