#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <functional>
#include <optional>

namespace testing_support {

/// A part of a test that must run in a process of its own (a crash on purpose, say). The test
/// binary starts itself again with GRAFLINK_TEST_CHILD_ROLE naming the role; TestMain then runs the
/// role's body instead of the tests, and the body's result is the exit status.
class ChildRole {
  public:
    /// Registers `body` under `name`; define roles at namespace scope.
    ChildRole(const QString& name, std::function<int()> body);

    /// Starts this test binary as the child `name`, with `environment` added to ours, and waits
    /// for it to end (30 s at most). Returns the child's process id, or 0 when it did not start.
    static qint64 run(QProcess& process, const QString& name, const QProcessEnvironment& environment = {});

    /// For TestMain: whether this process was started as a child.
    static bool isRequested();
    /// For TestMain: the exit status of the role the environment asks for, if it asks for one.
    static std::optional<int> runRequested();
};

} // namespace testing_support
