#pragma once

#include "support/SupportSources.h"

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

class NVSBaseTask;
class Profiler;
namespace Ui {
class ContactSupport;
}

/// Contact Support: the operator describes the problem; Send gathers the support information,
/// compresses it and uploads the archive with a progress bar, a status icon and a clear message
/// when something fails. The archive is kept when the upload fails, so it can be sent another
/// way (Show Archive). Nothing here waits: gathering, compressing and uploading run off the main
/// thread and report back.
class ContactSupportWindowController : public QWidget {
    Q_OBJECT
  public:
    /// Saved: made into an archive on this computer only, because sending is not set up.
    enum class State { Editing, Gathering, Compressing, Uploading, Sent, Saved, Failed, Cancelled };
    /// Asks for files to attach without blocking; calls back with them (never when cancelled).
    using FileChooser =
        std::function<void(QWidget* parent, std::function<void(const QStringList& paths)> chosen)>;
    /// Starts the upload of an archive: returns the task whose state the window shows, which
    /// calls `finished` once with the outcome and, on failure, the reason.
    using Uploader =
        std::function<NVSBaseTask*(const QString& archivePath, QObject* owner,
                                   std::function<void(bool sent, const QString& reason)> finished)>;

    /// `archiveFolder`: where archives are made and kept.
    explicit ContactSupportWindowController(SupportSources sources = SupportSources::standard(),
                                            QString archiveFolder = defaultArchiveFolder(),
                                            QWidget* parent = nullptr);
    ~ContactSupportWindowController() override;

    static QString defaultArchiveFolder();
    Ui::ContactSupport& ui() const { return *m_ui; }
    Profiler& profiler() const { return *m_profiler; }
    State state() const { return m_state; }
    /// The archive of the last Send (empty before).
    QString archivePath() const { return m_archivePath; }
    void setFileChooser(FileChooser chooser) { m_fileChooser = std::move(chooser); }
    void setUploader(Uploader uploader) { m_uploader = std::move(uploader); }
    /// Whether sending to support is set up; asked as the window opens and before each Send.
    using UploadReadiness = std::function<bool()>;
    void setUploadReadiness(UploadReadiness ready) {
        m_uploadReady = std::move(ready);
        updateButtons();
    }

    /// Checks the form, then gathers, compresses and uploads.
    void send();
    /// Stops the work under way, whatever its step: nothing is uploaded afterwards, what was
    /// gathered and the archive are removed, and the window says "Cancelled". With no work under
    /// way, closes the window.
    void cancel();

  Q_SIGNALS:
    void stateChanged(ContactSupportWindowController::State state);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void setState(State state, const QString& text);
    void compress(const QString& folder);
    void upload();
    void fail(const QString& text);
    void endCancelled();
    void updateButtons();
    bool canUpload() const;

    std::unique_ptr<Ui::ContactSupport> m_ui;
    std::unique_ptr<Profiler> m_profiler;
    QString m_archiveFolder;
    QString m_archivePath;
    FileChooser m_fileChooser;
    Uploader m_uploader;
    UploadReadiness m_uploadReady;
    NVSBaseTask* m_task = nullptr;
    std::shared_ptr<std::atomic<bool>> m_stopCompressing;
    State m_state = State::Editing;
    bool m_cancelling = false;
};
