#include "platform/ui/DocumentFileCommands.h"

#include "platform/Document.h"
#include "platform/UserDefaults.h"

#include <QCloseEvent>
#include <QCryptographicHash>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QUndoStack>

namespace platform {

namespace {

DocumentFileCommands::SaveChooser saveDialog(const QString& extension, const QString& filter) {
    return [extension, filter](QWidget* parent, const QString& suggestedName,
                               std::function<void(const QString&)> chosen) {
        auto* dialog = new QFileDialog(parent, QObject::tr("Save Document"), suggestedName, filter);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setDefaultSuffix(extension);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        QObject::connect(dialog, &QFileDialog::fileSelected, parent,
                         [chosen = std::move(chosen)](const QString& path) { chosen(path); });
        dialog->open();
    };
}

void askWithMessageBox(QWidget* parent, std::function<void(int)> answered) {
    auto* box = new QMessageBox(QMessageBox::Warning, QObject::tr("Save the new document before closing?"),
                                QObject::tr("Its settings are lost if you don't save them."),
                                QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box->setDefaultButton(QMessageBox::Save);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, parent, [box, answered = std::move(answered)](int) {
        answered(int(box->standardButton(box->clickedButton())));
    });
    box->open();
}

} // namespace

DocumentFileCommands::DocumentFileCommands(Document& document, QUndoStack& undoStack, QWidget& window,
                                           QString typeName, QString extension, QString filter)
    : QObject(&window), m_document(document), m_undoStack(undoStack), m_window(&window),
      m_typeName(std::move(typeName)), m_extension(std::move(extension)),
      m_saveChooser(saveDialog(m_extension, filter)), m_closeQuestion(askWithMessageBox),
      m_autosave(new QTimer(this)) {
    connect(&undoStack, &QUndoStack::cleanChanged, this, [this](bool clean) {
        m_document.updateChangeCount(clean ? Document::ChangeKind::Cleared : Document::ChangeKind::Done);
    });
    m_autosave->setSingleShot(true);
    m_autosave->setInterval(2000);
    connect(&undoStack, &QUndoStack::indexChanged, m_autosave, qOverload<>(&QTimer::start));
    connect(m_autosave, &QTimer::timeout, this, [this] {
        if (!m_document.filePath().isEmpty() && m_document.isDocumentEdited())
            saveInPlace();
    });
}

DocumentFileCommands::~DocumentFileCommands() = default;

bool DocumentFileCommands::saveInPlace(const QString& failureSuffix) {
    Error error;
    if (!m_document.save(&error)) {
        Q_EMIT failed(tr("Could not save: %1").arg(error.localizedDescription()) + failureSuffix);
        return false;
    }
    m_undoStack.setClean();
    return true;
}

void DocumentFileCommands::save(std::function<void()> then) {
    if (m_document.filePath().isEmpty()) {
        saveAs(std::move(then));
        return;
    }
    if (saveInPlace() && then)
        then();
}

void DocumentFileCommands::saveAs(std::function<void()> then) {
    QPointer<DocumentFileCommands> self(this);
    m_saveChooser(m_window, m_document.displayName() + QLatin1Char('.') + m_extension,
                  [self, then = std::move(then)](const QString& path) {
                      if (!self || path.isEmpty())
                          return;
                      Error error;
                      if (!self->m_document.saveToPath(path, self->m_typeName, &error)) {
                          Q_EMIT self->failed(tr("Could not save: %1").arg(error.localizedDescription()));
                          return;
                      }
                      self->m_undoStack.setClean();
                      if (then)
                          then();
                  });
}

bool DocumentFileCommands::mayClose(QCloseEvent* event) {
    if (m_document.filePath().isEmpty() && m_document.isDocumentEdited() && !m_discardConfirmed) {
        // A document never saved has nowhere to go on its own: ask, and close when answered.
        event->ignore();
        QPointer<DocumentFileCommands> self(this);
        m_closeQuestion(m_window, [self](int answer) {
            if (!self)
                return;
            // Closed again from the event loop: the answer may come while this close is running.
            const auto closeAgain = [self] {
                if (self && self->m_window)
                    QMetaObject::invokeMethod(self->m_window, &QWidget::close, Qt::QueuedConnection);
            };
            if (answer == QMessageBox::Discard) {
                self->m_discardConfirmed = true;
                closeAgain();
            } else if (answer == QMessageBox::Save) {
                self->saveAs(closeAgain);
            }
        });
        return false;
    }
    // Whatever is being edited reaches the document before the window goes.
    if (QWidget* focused = m_window->focusWidget())
        focused->clearFocus();
    if (m_document.isDocumentEdited() && !m_document.filePath().isEmpty() &&
        !saveInPlace(tr(". The window stays open."))) {
        event->ignore();
        return false;
    }
    return true;
}

void DocumentFileCommands::addSaveActions(QMenu* menu, const std::function<void()>& revert) {
    menu->addAction(tr("&Save"), this, [this] { save(); })->setShortcut(QKeySequence::Save);
    // The standard key for Save As is empty under KDE.
    menu->addAction(tr("Save &As…"), this, [this] { saveAs(); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    menu->addAction(tr("Re&vert to Saved"), this, revert);
}

void DocumentFileCommands::addUndoActions(QMenu* menu) {
    QAction* undo = m_undoStack.createUndoAction(menu, tr("&Undo"));
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = m_undoStack.createRedoAction(menu, tr("&Redo"));
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    menu->addAction(undo);
    menu->addAction(redo);
}

QString DocumentFileCommands::windowStateKey() const {
    const QByteArray digest =
        QCryptographicHash::hash(m_document.filePath().toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("WindowState/") + QString::fromLatin1(digest);
}

QVariantMap DocumentFileCommands::restoreWindowState() const {
    if (m_document.filePath().isEmpty() || !m_window)
        return {};
    QVariantMap state = UserDefaults::standardUserDefaults().objectForKey(windowStateKey()).toMap();
    m_window->restoreGeometry(state.take(QStringLiteral("geometry")).toByteArray());
    return state;
}

void DocumentFileCommands::saveWindowState(QVariantMap more) const {
    if (m_document.filePath().isEmpty() || !m_window)
        return;
    more.insert(QStringLiteral("geometry"), m_window->saveGeometry());
    UserDefaults::standardUserDefaults().setValue(windowStateKey(), more);
}

} // namespace platform
