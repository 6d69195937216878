#include "app/NVSAppleScriptActionsController.h"

#include "appbase/NVSLogController.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

NVSAppleScriptActionsControllerDelegate::~NVSAppleScriptActionsControllerDelegate() = default;

NVSAppleScriptActionsController::NVSAppleScriptActionsController(
    const QString& actionsFolderPath, NVSAppleScriptActionsControllerDelegate* delegate,
    NVSLogController* logger, QObject* parent)
    : QObject(parent), m_folderPath(actionsFolderPath), m_delegate(delegate),
      m_logger(logger ? logger : &NVSLogController::sharedLogController()) {}

NVSAppleScriptActionsController::~NVSAppleScriptActionsController() = default;

QList<NVSAppleScriptAction> NVSAppleScriptActionsController::actions() const {
    QList<NVSAppleScriptAction> found;
    if (m_folderPath.isEmpty())
        return found;
    const QFileInfoList entries =
        QDir(m_folderPath).entryInfoList(QDir::Files | QDir::Executable, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (!entry.isFile() || entry.fileName().startsWith(QLatin1Char('.')))
            continue;
        // "Flash Lower Third.sh" is the action "Flash Lower Third".
        const qsizetype dot = entry.fileName().lastIndexOf(QLatin1Char('.'));
        const QString name = dot > 0 ? entry.fileName().left(dot) : entry.fileName();
        found.append({name, entry.absoluteFilePath()});
    }
    return found;
}

QStringList NVSAppleScriptActionsController::actionNames() const {
    QStringList names;
    for (const NVSAppleScriptAction& action : actions())
        names.append(action.name);
    return names;
}

std::shared_ptr<NVSAppleScriptAction>
NVSAppleScriptActionsController::actionWithName(const QString& name) const {
    for (const NVSAppleScriptAction& action : actions())
        if (action.name == name)
            return std::make_shared<NVSAppleScriptAction>(action);
    return nullptr;
}

void NVSAppleScriptActionsController::executeAction(const NVSAppleScriptAction& action,
                                                    const QList<NVSAppleScriptParameter>& parameters,
                                                    const std::function<void(bool)>& completionHandler) {
    QStringList arguments;
    for (const NVSAppleScriptParameter& parameter : parameters)
        arguments.append(parameter.string);
    // Detached: the refresh never waits for an action, and finished actions leave no zombies.
    QProcess process;
    process.setProgram(action.executablePath);
    process.setArguments(arguments);
    process.setWorkingDirectory(m_folderPath);
    const bool started = process.startDetached();
    if (!started)
        m_logger->logMessageWithLevel(1, false, QStringLiteral("The action “%@” could not be started: %@"),
                                      action.name, process.errorString());
    if (completionHandler)
        completionHandler(started);
}
