#pragma once

#include "platform/Error.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <optional>

/// The observable state of a long-running task (an upload, an archive being made), for a window
/// that shows its name, a status line, a progress bar and a cancel button.
///
/// Threads: the object lives on the main thread and its properties change there only, so that
/// observers are always told on the main thread. Work running elsewhere reports through the
/// `…Asynchronously…` setters, which may be called from any thread and apply their change later
/// on the main queue, in the order posted. `shouldCancel` may be read from any thread.
class NVSBaseTask : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString taskName READ taskName CONSTANT)
    Q_PROPERTY(int taskStatus READ taskStatus NOTIFY taskStatusChanged)
    Q_PROPERTY(QString taskStatusString READ taskStatusString NOTIFY taskStatusStringChanged)
    Q_PROPERTY(bool taskRequiresProgress READ taskRequiresProgress NOTIFY taskRequiresProgressChanged)
    Q_PROPERTY(double taskProgressRatio READ taskProgressRatio NOTIFY taskProgressRatioChanged)
    Q_PROPERTY(QString errorDescription READ errorDescription NOTIFY errorChanged)
    Q_PROPERTY(bool shouldCancel READ shouldCancel WRITE setShouldCancel NOTIFY shouldCancelChanged)
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY taskStatusChanged)
    Q_PROPERTY(QString statusImage READ statusImage NOTIFY taskStatusChanged)
    Q_PROPERTY(QString statusIconName READ statusIconName NOTIFY taskStatusChanged)

  public:
    enum Status { NotStarted = 0, Busy = 1, Done = 2, Failed = 3 };
    Q_ENUM(Status)

    explicit NVSBaseTask(QString taskName, QObject* parent = nullptr);
    ~NVSBaseTask() override;

    QString taskName() const { return m_taskName; }
    int taskStatus() const { return m_taskStatus; }
    QString taskStatusString() const { return m_taskStatusString; }
    bool taskRequiresProgress() const { return m_taskRequiresProgress; }
    /// Between 0 and 1.
    double taskProgressRatio() const { return m_taskProgressRatio; }
    const std::optional<platform::Error>& error() const { return m_error; }
    /// The error's description, or an empty string when there is no error.
    QString errorDescription() const;

    bool shouldCancel() const { return m_shouldCancel.load(std::memory_order_acquire); }
    /// Asks the task to stop; main thread.
    void setShouldCancel(bool shouldCancel);

    bool isBusy() const { return m_taskStatus == Busy; }
    /// "NewCheckmark" when done, "NewCross" when failed, empty otherwise.
    QString statusImage() const;
    /// The freedesktop icon of statusImage(): empty, "emblem-ok-symbolic" or "dialog-error-symbolic".
    QString statusIconName() const;

    void setStatusAsynchronouslyTo(int status, const QString& description);
    void setRequiresProgressAsynchronouslyTo(bool requiresProgress);
    /// Clamped to 0…1.
    void setProgressAsynchronouslyTo(double ratio);

  Q_SIGNALS:
    void taskStatusChanged();
    void taskStatusStringChanged();
    void taskRequiresProgressChanged();
    void taskProgressRatioChanged();
    void errorChanged();
    void shouldCancelChanged();

  protected:
    /// Main thread.
    void setError(std::optional<platform::Error> error);

  private:
    const QString m_taskName;
    int m_taskStatus = NotStarted;
    QString m_taskStatusString;
    bool m_taskRequiresProgress = false;
    double m_taskProgressRatio = 0.0;
    std::optional<platform::Error> m_error;
    std::atomic<bool> m_shouldCancel{false};
};
