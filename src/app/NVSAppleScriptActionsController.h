#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class NVSLogController;

/// The optional operations the actions controller tells its delegate about. The program's
/// delegate implements them all as doing nothing.
class NVSAppleScriptActionsControllerDelegate {
  public:
    virtual ~NVSAppleScriptActionsControllerDelegate();
    virtual void countdownValueDidChange(const QVariant&) {}
    virtual void projectItemsDidChangeForProjectWithUniqueID(const QVariant&) {}
    virtual void projectsDidChange() {}
    virtual void appleScriptActionsArrayDidChange() {}
    virtual void logErrorMessage(const QVariant&) {}
};

/// One action: an executable file of the actions folder.
struct NVSAppleScriptAction {
    QString name;
    QString executablePath;
};

/// One parameter of an action run: a string handed to the program as one argument.
struct NVSAppleScriptParameter {
    static NVSAppleScriptParameter parameterWithString(const QString& text) { return {text}; }
    QString string;
};

/// The actions of a folder: every executable regular file is an action named by its file name
/// without extension. Running one starts the program with the parameters as its arguments and
/// returns at once; the program's outcome is not waited for. A program that cannot be started is
/// logged at level 1 with the action's name and the reason. Main thread.
class NVSAppleScriptActionsController : public QObject {
    Q_OBJECT
  public:
    /// The user default naming the actions folder.
    static inline const QString FolderPathKey = QStringLiteral("AppleScriptsFolderPath");

    /// `logger` null: the process's technical log.
    NVSAppleScriptActionsController(const QString& actionsFolderPath,
                                    NVSAppleScriptActionsControllerDelegate* delegate,
                                    NVSLogController* logger = nullptr, QObject* parent = nullptr);
    ~NVSAppleScriptActionsController() override;

    QString actionsFolderPath() const { return m_folderPath; }
    /// The action names, sorted, read from the folder at each call (the folder may change).
    QStringList actionNames() const;
    std::shared_ptr<NVSAppleScriptAction> actionWithName(const QString& name) const;
    /// Starts the action without waiting; `completionHandler` (may be empty) is told whether the
    /// program could be started.
    void executeAction(const NVSAppleScriptAction& action, const QList<NVSAppleScriptParameter>& parameters,
                       const std::function<void(bool started)>& completionHandler = {});

  private:
    QList<NVSAppleScriptAction> actions() const;

    QString m_folderPath;
    NVSAppleScriptActionsControllerDelegate* m_delegate;
    NVSLogController* m_logger;
};
