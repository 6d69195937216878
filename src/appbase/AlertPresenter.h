#pragma once

#include <QString>
#include <QStringList>

/// Shows a modal alert and returns the response: 1000 for the first button, 1001 for the second,
/// and so on. The desktop program installs a message-box presenter; the command line and tests
/// install their own. Called on the main thread.
class AlertPresenter {
  public:
    enum class Style { Warning = 0, Informational = 1, Critical = 2 };
    static constexpr int FirstButtonReturn = 1000;

    virtual ~AlertPresenter();
    virtual int runModal(Style style, const QString& title, const QString& message,
                         const QStringList& buttonTitles) = 0;
};

/// The presenter of programs without windows: writes the alert to the console and answers with
/// the default (first) button.
class ConsoleAlertPresenter : public AlertPresenter {
  public:
    int runModal(Style style, const QString& title, const QString& message,
                 const QStringList& buttonTitles) override;
};
