#include "appbase/ui/MessageBoxAlertPresenter.h"

#include "appbase/NVSAlertUtilities.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

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
    const int response =
        NVSAlertUtilities::runWarningAlertPanel(u"Replace file?"_s, u"It exists."_s, buttons);
    NVSAlertUtilities::setPresenter(nullptr);
    return response;
}

TEST(MessageBoxAlerts, AnswerWithTheChosenButtonsPosition) {
    const QStringList buttons{u"OK"_s, u"No"_s, u"Later"_s};
    QString shown;
    EXPECT_EQ(runAndChoose(u"Later"_s, buttons, &shown), 1002);
    EXPECT_EQ(shown, u"Replace file?|It exists."_s);
    EXPECT_EQ(runAndChoose(u"OK"_s, buttons), 1000);
    EXPECT_EQ(runAndChoose(u"No"_s, buttons), 1001);
    EXPECT_EQ(runAndChoose(u"OK"_s, {}), 1000) << "without titles, one default button";
}

} // namespace
