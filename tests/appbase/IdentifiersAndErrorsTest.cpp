#include "appbase/GenerateUniqueID.h"
#include "appbase/NVSAlertUtilities.h"
#include "appbase/TechnicalLogFolder.h"

#include <QDir>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(UniqueIdentifiers, AreCanonicalUpperCaseAndNew) {
    const QString id = GenerateUniqueID::generateUniqueID();
    EXPECT_TRUE(QRegularExpression(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s)
                    .match(id)
                    .hasMatch())
        << id.toStdString();
    EXPECT_NE(GenerateUniqueID::generateUniqueID(), id);
}

/// A presenter that answers as a user pressing a chosen button would.
class ChoosingPresenter : public AlertPresenter {
  public:
    explicit ChoosingPresenter(QString choice) : m_choice(std::move(choice)) {}
    int runModal(Style style, const QString&, const QString&, const QStringList& buttonTitles) override {
        lastStyle = style;
        return FirstButtonReturn + static_cast<int>(std::max<qsizetype>(buttonTitles.indexOf(m_choice), 0));
    }
    Style lastStyle = Style::Warning;

  private:
    QString m_choice;
};

TEST(Alerts, GoThroughTheInstalledPresenterWithTheirStyle) {
    auto presenter = std::make_shared<ChoosingPresenter>(u"Later"_s);
    NVSAlertUtilities::setPresenter(presenter);
    const QStringList buttons{u"OK"_s, u"No"_s, u"Later"_s};
    EXPECT_EQ(NVSAlertUtilities::runCriticalAlertPanel(u"t"_s, u"m"_s, buttons), 1002);
    EXPECT_EQ(presenter->lastStyle, AlertPresenter::Style::Critical);
    NVSAlertUtilities::runInformationalAlertPanel(u"t"_s, u"m"_s, buttons);
    EXPECT_EQ(presenter->lastStyle, AlertPresenter::Style::Informational);
    NVSAlertUtilities::setPresenter(nullptr);
    // Without windows the default button answers.
    EXPECT_EQ(NVSAlertUtilities::runWarningAlertPanel(u"t"_s, u"m"_s, buttons), 1000);
}

TEST(TechnicalLogFolder, IsCreatedBelowTheUsersStateFolder) {
    bool created = false;
    const QString path = TechnicalLogFolder::defaultTechnicalLogsDestinationDirectory(&created);
    EXPECT_TRUE(created);
    EXPECT_EQ(path, qEnvironmentVariable("XDG_STATE_HOME") + u"/Norvane/Logs/Graflink"_s);
    EXPECT_TRUE(QDir(path).exists());
}

} // namespace
