#include "app/FeedProbe.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "app/ui/CGSettingsPopover.h"
#include "app/ui/DocumentWindowEnvironment.h"
#include "app/ui/FeedAuthenticationDialog.h"
#include "app/ui/GraflinkDocumentWindowController.h"
#include "app/ui/PathsWindow.h"
#include "app/ui/PreferencesWindowController.h"
#include "app/ui/RecentDocuments.h"
#include "testkit/MemorySecretStore.h"
#include "testkit/TestHelpers.h"
#include "testkit/WidgetChecks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>

namespace {

const QByteArray Feed = "<scores><home>3</home><away>1</away><team>M-104</team></scores>";

class DocumentWindow : public DocumentWindowEnvironment {
  protected:
    void SetUp() override {
        DocumentWindowEnvironment::SetUp();
        server->serve("/feed.xml", testing_support::LoopbackHttpServer::Reply::text(Feed, "application/xml"));
        document = makeDocument();
        ASSERT_TRUE(pointAt(*document, u"/feed.xml"_s));
        ASSERT_TRUE(
            document->saveToPath(temp.filePath(u"scores.graflink"_s), GraflinkDocument::DocumentTypeName));
        showWindow();
    }

    template <typename T> T* child(const char* name) const {
        return window->findChild<T*>(QLatin1String(name));
    }
};

TEST_F(DocumentWindow, PathsWindowMakesExactlyOneVariablePerDoubleClick) {
    QTest::mouseClick(child<QPushButton>("getPathsButton"), Qt::LeftButton);
    PathsWindow* paths = window->pathsWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] {
        return document->inventoriedElements().contains(u"scores/away"_s);
    })) << document->inventoriedElements().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(paths->isVisible());
    EXPECT_EQ(testing_support::unnamedControls(*paths), QStringList());
    EXPECT_EQ(testing_support::sharedMnemonics(*paths), QStringList());
    paths->selectPath(u"scores/away"_s);
    QTreeView* list = paths->pathsView();
    const QRect cell = list->visualRect(list->currentIndex());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center()); // a double-click's first press
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(document->variables().count(), 1);
    EXPECT_EQ(document->variables().variables().first()->XPath(), u"scores/away"_s);
    window->undoStack()->undo();
    EXPECT_EQ(document->variables().count(), 0);

    // The test field evaluates as a refresh would; Enter makes a variable of the tested path, of
    // the type the field showed.
    ASSERT_TRUE(testing_support::waitUntil([&] { return window->feedProbe()->hasFeed(); }));
    const struct {
        QString path;
        QString shown;
        int type;
    } tested[] = {{u"scores/home"_s, u"“3” · number · 1 match"_s, GraflinkVariable::Number},
                  {u"scores/team"_s, u"“M-104” · text · 1 match"_s, GraflinkVariable::PlainText}};
    for (const auto& t : tested) {
        paths->testField()->clear();
        QTest::keyClicks(paths->testField(), t.path);
        ASSERT_TRUE(testing_support::waitUntil([&] { return paths->testResult()->text() == t.shown; }))
            << paths->testResult()->text().toStdString();
        QTest::keyClick(paths->testField(), Qt::Key_Return);
        ASSERT_EQ(document->variables().count(), &t - tested + 1);
        EXPECT_EQ(document->variables().variables().last()->XPath(), t.path);
        EXPECT_EQ(document->variables().variables().last()->valueType(), t.type);
    }
}

TEST_F(DocumentWindow, PathsWindowFoldsRepeatedElementsIntoOneNode) {
    server->serve("/list.xml", testing_support::LoopbackHttpServer::Reply::text(
                                   "<list><item kind=\"x\"><n>a</n></item><item kind=\"y\"><n>b</n></item>"
                                   "<item kind=\"z\"><n>c</n></item></list>",
                                   "application/xml"));
    document->setSourceURLString(server->url(u"/list.xml"_s).toString());
    QTest::mouseClick(child<QPushButton>("getPathsButton"), Qt::LeftButton);
    PathsWindow* paths = window->pathsWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] {
        const QModelIndexList items =
            paths->pathsView()->model()->match(paths->pathsView()->model()->index(0, 0), Qt::DisplayRole,
                                               u"item ×3"_s, 1, Qt::MatchExactly | Qt::MatchRecursive);
        if (items.isEmpty())
            return false;
        paths->pathsView()->setCurrentIndex(items.first());
        return true;
    }));
    EXPECT_EQ(paths->selectedPath(), u"list/item"_s);
    // Attributes are listed beside the elements, with their values.
    for (const auto& [path, value] :
         {std::pair{u"list/item/n"_s, "a"}, std::pair{u"list/item/@kind"_s, "x"}}) {
        paths->selectPath(path);
        EXPECT_TRUE(testing_support::waitUntil([&] {
            return paths->pathsView()->currentIndex().siblingAtColumn(1).data().toString().startsWith(
                QLatin1String(value));
        })) << path.toStdString();
    }
}

TEST_F(DocumentWindow, TwoVariablesOnOneFieldAreSaidOnceUntilTheBindingChanges) {
    window->makeNewVariable(u"scores/home"_s);
    window->makeNewVariable(u"scores/away"_s);
    const auto bind = [&](int row, const char* field) {
        GraflinkVariable* variable = document->variables().variables().at(row);
        variable->setCGProjectName(u"Scoreboard"_s);
        variable->setCGProjectItemName(QString::fromUtf8(field));
    };
    bind(0, "Home");
    bind(1, "Home");
    auto* message = child<QLabel>("messageLabel");
    ASSERT_TRUE(testing_support::waitUntil([&] { return message->isVisible(); }));
    EXPECT_EQ(message->text(), QStringLiteral("Rows 1 and 2 both send to Scoreboard ▸ Home: the field on air "
                                              "flickers between their values. Bind each field once."));
    bind(1, "Away");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !message->isVisible(); }));
}

TEST_F(DocumentWindow, ServerSettingsChangeOnConnectOnly) {
    CGSettingsPopover* popover = window->CGSettingsPopoverWidget();
    for (const bool connect : {false, true}) {
        QTest::mouseClick(child<QPushButton>("CGSettingsButton"), Qt::LeftButton);
        ASSERT_TRUE(popover->isVisible());
        popover->addressField()->setText(u"127.0.0.1"_s);
        popover->portField()->setValue(1); // nothing listens there: the client keeps retrying
        if (connect)
            popover->connectPushed();
        else
            QTest::keyClick(popover, Qt::Key_Escape);
        EXPECT_FALSE(popover->isVisible());
        EXPECT_EQ(document->CGServerPortNumber(), connect ? 1u : 2001u);
        EXPECT_EQ(document->hasCGClient(), connect);
    }
}

TEST_F(DocumentWindow, FilterChooserSetsThePathUndoablyAndCancelChangesNothing) {
    QString answer;
    window->setFilterChooser(
        [&](QWidget*, const QString& folder, std::function<void(const QString&)> chosen) {
            EXPECT_EQ(folder, temp.path()) << "the document's folder";
            if (!answer.isEmpty())
                chosen(answer);
        });
    window->selectJavascriptFilter(); // cancelled
    EXPECT_FALSE(document->javascriptFilterPath());
    answer = temp.filePath(u"filter.js"_s);
    window->selectJavascriptFilter();
    EXPECT_EQ(document->javascriptFilterPath(), answer);
    window->undoStack()->undo();
    EXPECT_FALSE(document->javascriptFilterPath());
}

TEST_F(DocumentWindow, EveryControlIsNamedForScreenReadersAndEveryShortcutIsUnique) {
    EXPECT_EQ(testing_support::unnamedControls(*window), QStringList());
    EXPECT_EQ(testing_support::sharedShortcuts(*window), QStringList());
    EXPECT_EQ(testing_support::sharedMnemonics(*window), QStringList());
    // Tab goes through the table, not round inside it.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto* table = child<QTableView>("variablesTableView");
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), child<QPushButton>("addVariableButton"));
}

TEST_F(DocumentWindow, FeedSignInKeepsTheTokenInTheKeychainAndIsUndoable) {
    const testing_support::SharedMemorySecretStore keychain;
    QTest::mouseClick(child<QPushButton>("feedSignInButton"), Qt::LeftButton);
    auto* dialog = window->findChild<FeedAuthenticationDialog*>();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(testing_support::unnamedControls(*dialog), QStringList());
    auto* scheme = dialog->findChild<QComboBox*>(u"schemeComboBox"_s);
    scheme->setCurrentIndex(scheme->findData(int(platform::FeedAuthentication::Scheme::Bearer)));
    QTest::keyClicks(dialog->findChild<QLineEdit*>(u"secretField"_s), u"t0ken"_s);
    dialog->accept();
    ASSERT_TRUE(testing_support::waitUntil([&] {
        return document->feedAuthentication().scheme == platform::FeedAuthentication::Scheme::Bearer;
    }));
    EXPECT_EQ(keychain.store->secrets(), QList<QString>{u"t0ken"_s});
    window->undoStack()->undo();
    EXPECT_FALSE(document->feedAuthentication().isEnabled());
    window->undoStack()->redo();
    EXPECT_TRUE(document->feedAuthentication().isEnabled());
}

TEST_F(DocumentWindow, TheStaleAlarmIsSetUndoablyAndShowsInTheStatusLine) {
    auto* stale = child<QSpinBox>("staleAfterSpinBox");
    auto* status = child<QLabel>("refreshStatusLabel");
    EXPECT_EQ(stale->text(), u"Off"_s);
    EXPECT_TRUE(status->text().startsWith(u"Last refresh"_s)) << status->text().toStdString();
    stale->setValue(1);
    Q_EMIT stale->editingFinished();
    EXPECT_EQ(document->staleAfterSeconds(), 1.0);
    server->serve("/feed.xml", testing_support::LoopbackHttpServer::Reply::text("down", "text/plain", 503));
    ASSERT_TRUE(testing_support::waitUntil([&] { return status->text().startsWith(u"⚠ STALE"_s); }));
    window->undoStack()->undo();
    EXPECT_EQ(document->staleAfterSeconds(), 0.0);
    EXPECT_EQ(stale->text(), u"Off"_s);
    EXPECT_FALSE(status->text().startsWith(u"⚠ STALE"_s));
}

// Closing the window stops auto-refresh; the next window comes back as this one was left.
TEST_F(DocumentWindow, RevertDropsTheEditsAndClosingStopsAutoRefresh) {
    window->makeNewVariable(u"scores/home"_s);
    ASSERT_EQ(document->variables().count(), 1);
    window->revertToSaved();
    EXPECT_EQ(document->variables().count(), 0);
    EXPECT_EQ(window->undoStack()->count(), 0);

    QTest::mouseClick(child<QAbstractButton>("autoRefreshCheckBox"), Qt::LeftButton);
    ASSERT_TRUE(document->isRefreshTimerRunning());
    window->resize(1100, 610);
    window->close();
    EXPECT_FALSE(document->isRefreshTimerRunning());
    GraflinkDocumentWindowController reopened(*document);
    EXPECT_EQ(reopened.size(), QSize(1100, 610));
}

TEST(RecentDocuments, NewestFirstWithoutDuplicatesOrMissingFiles) {
    QTemporaryDir dir;
    platform::UserDefaults defaults(dir.filePath(u"d.conf"_s));
    RecentDocuments recent(defaults);
    QStringList files;
    for (int i = 0; i < RecentDocuments::Maximum + 2; ++i) {
        files.append(dir.filePath(u"%1.graflink"_s.arg(i)));
        testing_support::writeFile(files.last(), "x");
        recent.add(files.last());
    }
    recent.add(files.at(5)); // again: moves to the front
    QFile::remove(files.at(11));
    const QStringList listed = recent.paths();
    ASSERT_EQ(listed.size(), RecentDocuments::Maximum - 1);
    EXPECT_EQ(listed.first(), files.at(5));
    EXPECT_EQ(listed.at(1), files.at(10));
    EXPECT_EQ(listed.count(files.at(5)), 1);

    QMenu menu;
    recent.attach(&menu);
    QString opened;
    QObject::connect(&recent, &RecentDocuments::openRequested, &menu,
                     [&](const QString& path) { opened = path; });
    Q_EMIT menu.aboutToShow();
    menu.actions().first()->trigger();
    EXPECT_EQ(opened, files.at(5));
    EXPECT_EQ(menu.actions().first()->text(), u"&1 5.graflink"_s);
}

TEST(Preferences, ChoosingStoresThePathCancellingKeepsItAndClearClearsIt) {
    QTemporaryDir dir;
    platform::UserDefaults defaults(dir.filePath(u"d.conf"_s));
    PreferencesWindowController preferences(defaults);
    QString answer = u"/srv/actions"_s;
    QString startedAt;
    preferences.setChooser([&](QWidget*, bool, const QString& current) {
        startedAt = current;
        return answer;
    });
    preferences.selectAppleScriptsFolder();
    EXPECT_EQ(defaults.stringForKey(PreferencesWindowController::AppleScriptsFolderPathKey), answer);
    answer.clear();
    preferences.selectAppleScriptsFolder();
    preferences.dataSourceExportSelectStillImageFolder();
    EXPECT_EQ(startedAt, QString()) << "the image chooser starts where the image is: none yet";
    EXPECT_EQ(defaults.stringForKey(PreferencesWindowController::AppleScriptsFolderPathKey),
              u"/srv/actions"_s);
    EXPECT_FALSE(defaults.stringForKey(PreferencesWindowController::DataSourceExportStillImagePathKey));
    preferences.selectAppleScriptsFolder();
    EXPECT_EQ(startedAt, u"/srv/actions"_s);
    auto* clear = preferences.findChild<QPushButton*>(u"clearActionsFolderButton"_s);
    ASSERT_TRUE(clear && clear->isEnabled());
    clear->click();
    EXPECT_FALSE(defaults.stringForKey(PreferencesWindowController::AppleScriptsFolderPathKey));
    EXPECT_FALSE(clear->isEnabled());
    EXPECT_EQ(testing_support::unnamedControls(preferences), QStringList());
    EXPECT_EQ(testing_support::sharedMnemonics(preferences), QStringList());
}

} // namespace
