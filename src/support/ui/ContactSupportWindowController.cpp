#include "support/ui/ContactSupportWindowController.h"

#include "platform/SharedHttpClient.h"
#include "platform/StandardPaths.h"
#include "support/NVSBackblazeConfiguration.h"
#include "support/NVSBackblazeUploadTask.h"
#include "support/OwnerOnlyFiles.h"
#include "support/Profiler.h"
#include "support/SupportArchive.h"
#include "ui_ContactSupport.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QThreadPool>
#include <QUrl>

namespace {

void chooseWithDialog(QWidget* parent, std::function<void(const QStringList&)> chosen) {
    auto* dialog = new QFileDialog(parent, QObject::tr("Attach Files"));
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    QObject::connect(dialog, &QFileDialog::filesSelected, parent,
                     [chosen = std::move(chosen)](const QStringList& paths) { chosen(paths); });
    dialog->open();
}

QIcon stateIcon(ContactSupportWindowController::State state) {
    switch (state) {
    case ContactSupportWindowController::State::Sent:
        return QIcon::fromTheme(QStringLiteral("emblem-ok-symbolic"),
                                QIcon::fromTheme(QStringLiteral("dialog-ok")));
    case ContactSupportWindowController::State::Failed:
        return QIcon::fromTheme(QStringLiteral("dialog-error-symbolic"),
                                QIcon::fromTheme(QStringLiteral("dialog-error")));
    case ContactSupportWindowController::State::Editing:
        return {};
    default:
        return QIcon::fromTheme(QStringLiteral("content-loading-symbolic"),
                                QIcon::fromTheme(QStringLiteral("view-refresh")));
    }
}

/// The maker's storage bucket, as configured (see NVSBackblazeConfiguration).
NVSBaseTask* uploadToStorage(const QString& archivePath, QObject* owner,
                             std::function<void(bool, const QString&)> finished) {
    auto* task =
        new NVSBackblazeUploadTask(QObject::tr("Support archive"), NVSBackblazeConfiguration::standard(),
                                   platform::http::sharedClient(), owner);
    task->uploadZippedFileAtPath(
        archivePath, QFileInfo(archivePath).size(),
        [task, finished = std::move(finished)](bool sent, std::optional<platform::Error> error) {
            const QString reason = error ? error->localizedDescription() : task->taskStatusString();
            finished(sent, sent ? QString() : QObject::tr("The upload failed: %1").arg(reason));
            task->deleteLater();
        });
    return task;
}

} // namespace

namespace {
const QString NotSetUp = QObject::tr(
    "Sending to support is not set up on this computer. Save Archive keeps your request and the logs "
    "in one file, which you can attach to an email to support.");
} // namespace

bool ContactSupportWindowController::canUpload() const {
    return m_uploader && (!m_uploadReady || m_uploadReady());
}

QString ContactSupportWindowController::defaultArchiveFolder() {
    return platform::StandardPaths::stateFolder() + QStringLiteral("/Norvane/Support");
}

ContactSupportWindowController::ContactSupportWindowController(SupportSources sources, QString archiveFolder,
                                                               QWidget* parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::ContactSupport>()),
      m_profiler(std::make_unique<Profiler>(std::move(sources))), m_archiveFolder(std::move(archiveFolder)),
      m_fileChooser(chooseWithDialog), m_uploader(uploadToStorage),
      m_uploadReady([] { return !NVSBackblazeConfiguration::standard().configurationError(); }) {
    m_ui->setupUi(this);
    m_ui->occuredDateField->setDateTime(QDateTime::currentDateTime());
    m_ui->progressBar->hide();
    connect(m_ui->sendButton, &QPushButton::clicked, this, &ContactSupportWindowController::send);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &ContactSupportWindowController::cancel);
    connect(m_ui->showArchiveButton, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(m_archivePath).absolutePath()));
    });
    connect(m_ui->addFilesButton, &QPushButton::clicked, this, [this] {
        QPointer<ContactSupportWindowController> self(this);
        m_fileChooser(this, [self](const QStringList& paths) {
            if (self)
                self->m_ui->filesInvolvedList->addItems(paths);
        });
    });
    connect(m_ui->removeFilesButton, &QPushButton::clicked, this,
            [this] { qDeleteAll(m_ui->filesInvolvedList->selectedItems()); });
    connect(m_profiler.get(), &Profiler::progressed, this, [this](const QString& step) {
        if (!m_cancelling)
            setState(State::Gathering, step);
    });
    // The archive's copy of the description notes the missing logs; the user's text stays as written.
    connect(m_profiler.get(), &Profiler::warning, this, [this](const QString& title, const QString& text) {
        m_ui->statusLabel->setText(
            QStringLiteral("<b>%1</b><br>%2").arg(title.toHtmlEscaped(), text.toHtmlEscaped()));
    });
    connect(m_profiler.get(), &Profiler::gathered, this, &ContactSupportWindowController::compress);
    connect(m_profiler.get(), &Profiler::gatheringCancelled, this,
            &ContactSupportWindowController::endCancelled);
    setState(State::Editing, canUpload() ? QString() : NotSetUp);
}

ContactSupportWindowController::~ContactSupportWindowController() {
    if (m_stopCompressing)
        m_stopCompressing->store(true);
}

void ContactSupportWindowController::setState(State state, const QString& text) {
    m_state = state;
    m_ui->statusLabel->setText(text);
    m_ui->statusLabel->setAccessibleDescription(text);
    const QIcon icon = stateIcon(state);
    m_ui->statusIcon->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(22, 22));
    m_ui->progressBar->setVisible(state == State::Gathering || state == State::Compressing ||
                                  state == State::Uploading);
    if (state == State::Gathering)
        m_ui->progressBar->setRange(0, 0); // how long the journal takes is not known
    updateButtons();
    Q_EMIT stateChanged(state);
}

void ContactSupportWindowController::updateButtons() {
    const bool working =
        m_state == State::Gathering || m_state == State::Compressing || m_state == State::Uploading;
    for (QWidget* field : std::initializer_list<QWidget*>{
             m_ui->yourNameField, m_ui->yourCompanyField, m_ui->emailField, m_ui->endUserCompanyField,
             m_ui->requesterTypeField, m_ui->titleField, m_ui->occuredDateField,
             m_ui->problemDescriptionField, m_ui->filesInvolvedList, m_ui->addFilesButton,
             m_ui->removeFilesButton, m_ui->alreadySearchedCheckBox, m_ui->agreeCheckBox})
        field->setEnabled(!working);
    const bool sends = canUpload();
    m_ui->sendButton->setEnabled(!working);
    const QString label = !sends                     ? tr("Sa&ve Archive")
                          : m_state == State::Failed ? tr("&Try Again")
                                                     : tr("&Send");
    m_ui->sendButton->setText(label);
    m_ui->sendButton->setAccessibleName(QString(label).remove(QLatin1Char('&')));
    // Enter presses it only where it can do what it says.
    m_ui->sendButton->setDefault(!working && m_state != State::Saved && m_state != State::Sent);
    m_ui->cancelButton->setEnabled(true);
    m_ui->cancelButton->setText(working ? tr("&Cancel") : tr("&Close"));
    m_ui->cancelButton->setAccessibleName(working ? tr("Cancel") : tr("Close"));
    m_ui->showArchiveButton->setVisible(!m_archivePath.isEmpty() && QFileInfo::exists(m_archivePath) &&
                                        m_state != State::Gathering && m_state != State::Compressing);
}

void ContactSupportWindowController::send() {
    const QString email = m_ui->emailField->text().trimmed();
    static const QRegularExpression plausibleEmail(QStringLiteral("^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$"));
    QString missing;
    if (m_ui->problemDescriptionField->toPlainText().trimmed().isEmpty())
        missing = tr("Please describe what happened.");
    else if (!plausibleEmail.match(email).hasMatch())
        missing = tr("Please give an email address support can answer to.");
    else if (!m_ui->agreeCheckBox->isChecked())
        missing = tr("Please agree that the information is sent, or send the archive another way.");
    if (!missing.isEmpty()) {
        setState(State::Editing, missing);
        return;
    }
    // Trying again after a failed upload sends the archive already made.
    if (m_state == State::Failed && QFileInfo::exists(m_archivePath)) {
        upload();
        return;
    }
    SupportRequest& request = m_profiler->request();
    request.yourName = m_ui->yourNameField->text().trimmed();
    request.yourCompany = m_ui->yourCompanyField->text().trimmed();
    request.email = email;
    request.endUserCompany = m_ui->endUserCompanyField->text().trimmed();
    request.requesterType = m_ui->requesterTypeField->currentText();
    request.title = m_ui->titleField->text().trimmed();
    request.occuredDate = m_ui->occuredDateField->dateTime();
    request.problemDescription = m_ui->problemDescriptionField->toPlainText();
    request.filesInvolved.clear();
    for (int row = 0; row < m_ui->filesInvolvedList->count(); ++row)
        request.filesInvolved << m_ui->filesInvolvedList->item(row)->text();
    request.alreadySearchedInDB = m_ui->alreadySearchedCheckBox->isChecked();
    request.agree = true;
    // A folder of its own, never one that is there already (a Send within the same second).
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    QString folder = m_archiveFolder + QStringLiteral("/Graflink-Support-") + stamp;
    for (int n = 2; QFileInfo::exists(folder) || QFileInfo::exists(folder + QStringLiteral(".zip")); ++n)
        folder = m_archiveFolder + QStringLiteral("/Graflink-Support-%1-%2").arg(stamp).arg(n);
    m_archivePath = folder + QStringLiteral(".zip");
    m_cancelling = false;
    setState(State::Gathering, tr("Gathering logs and settings…"));
    platform::Error error;
    if (!OwnerOnlyFiles::makeFolder(m_archiveFolder) || !m_profiler->gatherIntoFolder(folder, &error)) {
        m_archivePath.clear();
        m_cancelling = false;
        fail(error.localizedDescription().isEmpty()
                 ? tr("Could not create the folder %1.").arg(m_archiveFolder)
                 : error.localizedDescription());
        return;
    }
    if (m_cancelling) // cancelled before the gathering had begun
        m_profiler->cancel();
}

void ContactSupportWindowController::compress(const QString& folder) {
    if (m_cancelling) {
        QDir(folder).removeRecursively();
        endCancelled();
        return;
    }
    setState(State::Compressing, tr("Compressing…"));
    m_ui->progressBar->setRange(0, 1000);
    m_ui->progressBar->setValue(0);
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stopCompressing = stop;
    QPointer<ContactSupportWindowController> self(this);
    const QString archive = m_archivePath;
    QThreadPool::globalInstance()->start([self, stop, folder, archive] {
        platform::Error error;
        const bool made =
            SupportArchive::create(folder, archive, &error, [self, stop](qint64 done, qint64 total) {
                const int value = total > 0 ? int(done * 1000 / total) : 0;
                QMetaObject::invokeMethod(qApp, [self, value] {
                    if (self && self->m_state == State::Compressing)
                        self->m_ui->progressBar->setValue(value);
                });
                return !stop->load();
            });
        // The archive holds it all; a cancelled one leaves nothing behind either.
        QDir(folder).removeRecursively();
        const QString reason = error.localizedDescription();
        QMetaObject::invokeMethod(qApp, [self, made, reason] {
            if (!self)
                return;
            if (self->m_cancelling)
                self->endCancelled();
            else if (!made)
                self->fail(reason);
            else if (!self->canUpload())
                self->setState(State::Saved,
                               tr("Saved as %1. Attach it to an email to support.").arg(self->m_archivePath));
            else
                self->upload();
        });
    });
}

void ContactSupportWindowController::upload() {
    if (!m_uploader) {
        fail(tr("No way to send the archive is set up."));
        return;
    }
    setState(State::Uploading, tr("Sending…"));
    m_ui->progressBar->setRange(0, 1000);
    m_ui->progressBar->setValue(0);
    QPointer<ContactSupportWindowController> self(this);
    m_task = m_uploader(m_archivePath, this, [self](bool sent, const QString& reason) {
        if (!self)
            return;
        self->m_task = nullptr;
        if (sent)
            self->setState(State::Sent, tr("Sent. Thank you: support answers by email."));
        else if (self->m_cancelling)
            self->endCancelled();
        else
            self->fail(reason);
    });
    if (m_task && m_cancelling)
        m_task->setShouldCancel(true);
    if (m_task)
        connect(m_task, &NVSBaseTask::taskProgressRatioChanged, this, [this] {
            if (m_state == State::Uploading && m_task)
                m_ui->progressBar->setValue(int(m_task->taskProgressRatio() * 1000));
        });
}

void ContactSupportWindowController::fail(const QString& text) {
    QString message = text;
    if (QFileInfo::exists(m_archivePath))
        message += QLatin1Char(' ') +
                   tr("The archive is kept at %1: it can be sent another way.").arg(m_archivePath);
    setState(State::Failed, message);
}

void ContactSupportWindowController::cancel() {
    const bool working =
        m_state == State::Gathering || m_state == State::Compressing || m_state == State::Uploading;
    if (!working) {
        close();
        return;
    }
    // Every step that ends from now on ends as Cancelled and starts nothing more.
    m_cancelling = true;
    m_ui->statusLabel->setText(tr("Cancelling…"));
    m_ui->cancelButton->setEnabled(false);
    switch (m_state) {
    case State::Gathering:
        m_profiler->cancel();
        break;
    case State::Compressing:
        if (m_stopCompressing)
            m_stopCompressing->store(true);
        break;
    default:
        if (m_task)
            m_task->setShouldCancel(true);
    }
}

void ContactSupportWindowController::endCancelled() {
    m_cancelling = false;
    if (!m_archivePath.isEmpty())
        QFile::remove(m_archivePath);
    m_archivePath.clear();
    setState(State::Cancelled, tr("Cancelled"));
}

void ContactSupportWindowController::closeEvent(QCloseEvent* event) {
    // Closing does not drop work under way: it is cancelled first.
    if (m_state == State::Gathering || m_state == State::Compressing || m_state == State::Uploading) {
        cancel();
        event->ignore();
        return;
    }
    event->accept();
}
