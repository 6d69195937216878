#include "appbase/ui/MessageBoxAlertPresenter.h"

#include "appbase/NVSAlertUtilities.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

/// Runs an alert and clicks the button titled `choice` once the box is up.
int runAndChoose(const QString& choice, const QStringList& buttons, QString* shownText = nullptr) {
    auto presenter = std::make_shared<MessageBoxAlertPresenter>();
    presenter->setAboutToRun([choice, shownText](QMessageBox& box) {
        if (shownText)
            *shownText = box.text() + QLatin1Char('|') + box.informativeText();
        QTimer::singleShot(0, &box, [&box, choice] {
            for (QAbstractButton* button : box.buttons())
                if (button->text() == choice)
                    button->click();
        });
    });
    NVSAlertUtilities::setPresenter(presenter);
    const int response = NVSAlertUtilities::runWarningAlertPanel(QStringLiteral("Replace file?"),
                                                                 QStringLiteral("It exists."), buttons);
    NVSAlertUtilities::setPresenter(nullptr);
    return response;
}

TEST(MessageBoxAlerts, AnswerWithTheChosenButtonsPosition) {
    const QStringList buttons{QStringLiteral("OK"), QStringLiteral("No"), QStringLiteral("Later")};
    QString shown;
    EXPECT_EQ(runAndChoose(QStringLiteral("Later"), buttons, &shown), 1002);
    EXPECT_EQ(shown, QStringLiteral("Replace file?|It exists."));
    EXPECT_EQ(runAndChoose(QStringLiteral("OK"), buttons), 1000);
    EXPECT_EQ(runAndChoose(QStringLiteral("No"), buttons), 1001);
}

TEST(MessageBoxAlerts, WithoutButtonTitlesShowOneDefaultButton) {
    EXPECT_EQ(runAndChoose(QStringLiteral("OK"), {}), 1000);
}

} // namespace
