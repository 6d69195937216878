#include "testkit/ChildRole.h"

#include <QCoreApplication>
#include <QMap>

namespace testing_support {

namespace {

const char* const RoleVariable = "GRAFLINK_TEST_CHILD_ROLE";

QMap<QString, std::function<int()>>& roles() {
    static QMap<QString, std::function<int()>> registered;
    return registered;
}

} // namespace

ChildRole::ChildRole(const QString& name, std::function<int()> body) {
    roles().insert(name, std::move(body));
}

qint64 ChildRole::run(QProcess& process, const QString& name, const QProcessEnvironment& environment) {
    QProcessEnvironment childEnvironment = QProcessEnvironment::systemEnvironment();
    childEnvironment.insert(environment);
    childEnvironment.insert(QString::fromLatin1(RoleVariable), name);
    process.setProcessEnvironment(childEnvironment);
    process.start(QCoreApplication::applicationFilePath(), {});
    if (!process.waitForStarted(5000))
        return 0;
    const qint64 pid = process.processId();
    process.waitForFinished(30000);
    return pid;
}

bool ChildRole::isRequested() {
    return qEnvironmentVariableIsSet(RoleVariable);
}

std::optional<int> ChildRole::runRequested() {
    const QString name = qEnvironmentVariable(RoleVariable);
    if (name.isEmpty())
        return std::nullopt;
    const auto role = roles().constFind(name);
    return role == roles().cend() ? 2 : (*role)();
}

} // namespace testing_support
