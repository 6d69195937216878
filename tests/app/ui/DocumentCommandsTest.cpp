#include "app/AppTestEnvironment.h"
#include "app/DataSourceAutoExporter.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "app/ui/DataSourceFeedSignIn.h"
#include "app/ui/DataSourcePlaylistExport.h"
#include "app/ui/FeedAuthenticationDialog.h"
#include "app/ui/GraflinkDocumentWindowController.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/ui/NVSCGDataSourceWindowController.h"
#include "testkit/MemorySecretStore.h"
#include "testkit/TestHelpers.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QUndoStack>

namespace {

class DocumentCommands : public AppTestEnvironment {};

// The export itself (the extension, the remembered path) is the menu export's: see its tests.
TEST_F(DocumentCommands, ExportToPlaylistWritesWhatIsChosenAndNothingWhenCancelled) {
    DataSourceAutoExporter exporter(*logger, *defaults); // registers the exporter's defaults
    NVSCGDataSource dataSource;
    NVSCGDataSourceWindowController editor(dataSource);
    DataSourcePlaylistExport window(editor, *logger, *defaults);
    QString answer;
    window.setSaveChooser([&](QWidget*, const QString&, std::function<void(const QString&)> chosen) {
        if (!answer.isEmpty())
            chosen(answer);
    });
    window.exportToXPLS(); // cancelled
    EXPECT_TRUE(dataSource.exportPath().isEmpty());
    EXPECT_FALSE(dataSource.isDocumentEdited());

    answer = temp.filePath(u"results.xpls"_s);
    window.exportToXPLS();
    EXPECT_EQ(dataSource.exportPath(), answer);
    dataSource.close();
}

TEST_F(DocumentCommands, ADataSourcesFeedSignInKeepsTheSecretInTheKeychainAndIsUndoable) {
    const testing_support::SharedMemorySecretStore keychain;
    NVSCGDataSource dataSource;
    dataSource.setDataSourceURL(QUrl(u"http://127.0.0.1:9/results.xml"_s));
    NVSCGDataSourceWindowController editor(dataSource);
    DataSourceFeedSignIn signIn(editor);
    signIn.action()->trigger();
    auto* dialog = editor.findChild<FeedAuthenticationDialog*>();
    ASSERT_TRUE(dialog);
    auto* scheme = dialog->findChild<QComboBox*>(u"schemeComboBox"_s);
    scheme->setCurrentIndex(scheme->findData(int(platform::FeedAuthentication::Scheme::Basic)));
    dialog->findChild<QLineEdit*>(u"userField"_s)->setText(u"editor"_s);
    dialog->findChild<QLineEdit*>(u"secretField"_s)->setText(u"pa55"_s);
    dialog->accept();
    ASSERT_TRUE(testing_support::waitUntil([&] { return dataSource.feedAuthentication().isEnabled(); }));
    EXPECT_EQ(dataSource.feedAuthentication().user, u"editor"_s);
    EXPECT_EQ(keychain.store->secrets(), QList<QString>{u"pa55"_s});
    editor.undoStack()->undo();
    EXPECT_FALSE(dataSource.feedAuthentication().isEnabled());
    dataSource.close();
}

TEST_F(DocumentCommands, ANewDocumentIsSavedOrDiscardedBeforeItsWindowCloses) {
    struct Case {
        int answer;
        bool closes;
        bool saved;
    };
    for (const Case& c : {Case{QMessageBox::Cancel, false, false}, Case{QMessageBox::Save, true, true},
                          Case{QMessageBox::Discard, true, false}}) {
        std::unique_ptr<GraflinkDocument> document = makeDocument();
        GraflinkDocumentWindowController window(*document);
        window.show();
        const QString path = temp.filePath(u"new-%1.graflink"_s.arg(c.answer));
        window.files().setSaveChooser(
            [&](QWidget*, const QString&, std::function<void(const QString&)> chosen) { chosen(path); });
        int asked = 0;
        window.files().setCloseQuestion([&](QWidget*, std::function<void(int)> answered) {
            ++asked;
            answered(c.answer);
        });
        window.makeNewVariable(u"a/b"_s);
        QSignalSpy closed(&window, &GraflinkDocumentWindowController::windowClosed);
        window.close();
        testing_support::spinFor(std::chrono::milliseconds(50));
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(closed.size(), c.closes ? 1 : 0) << c.answer;
        EXPECT_EQ(QFileInfo::exists(path), c.saved) << c.answer;
        EXPECT_EQ(document->filePath().isEmpty(), !c.saved);
    }
}

// New Variable with nothing chosen used to be two undo steps and keep the default path.
TEST_F(DocumentCommands, NewVariableWithoutAPathIsOneUndoStepAndHasNoPath) {
    std::unique_ptr<GraflinkDocument> document = makeDocument();
    GraflinkDocumentWindowController window(*document);
    window.makeNewVariable(QString());
    ASSERT_EQ(document->variables().count(), 1);
    EXPECT_EQ(document->variables().variables().first()->XPath().value_or(u"none"_s), QString());
    QUndoStack* undo = window.undoStack();
    EXPECT_EQ(undo->count(), 1);
    undo->undo();
    EXPECT_EQ(document->variables().count(), 0);
}

} // namespace
