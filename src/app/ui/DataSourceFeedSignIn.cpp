#include "app/ui/DataSourceFeedSignIn.h"

#include "app/GraflinkDocumentFeedAuth.h"
#include "app/ui/FeedAuthenticationDialog.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/ui/NVSCGDataSourceWindowController.h"
#include "platform/SecretStore.h"
#include "platform/ui/SetValueCommand.h"

#include <QAction>
#include <QMenu>
#include <QUndoStack>

namespace {

// The settings as the keys of a document's file: a plain value an undo step can hold.
QVariant keys(const platform::FeedAuthentication& settings) {
    QVariantMap dictionary;
    GraflinkDocumentFeedAuth::write(settings, dictionary);
    return dictionary;
}

} // namespace

DataSourceFeedSignIn::DataSourceFeedSignIn(NVSCGDataSourceWindowController& window)
    : QObject(&window), m_window(window), m_action(new QAction(tr("Feed &Sign-in…"), &window)) {
    connect(m_action, &QAction::triggered, this, &DataSourceFeedSignIn::edit);
    window.fileMenu()->insertAction(window.closeAction(), m_action);
}

void DataSourceFeedSignIn::edit() {
    NVSCGDataSource& dataSource = m_window.dataSource();
    auto* dialog = new FeedAuthenticationDialog(
        dataSource.feedAuthentication(), [&dataSource] { return dataSource.dataSourceURL(); },
        platform::SecretStore::shared(),
        [this, &dataSource](const platform::FeedAuthentication& settings) {
            if (settings == dataSource.feedAuthentication())
                return;
            m_window.undoStack()->push(new platform::SetValueCommand(
                tr("Change Feed Sign-in"), [&dataSource] { return keys(dataSource.feedAuthentication()); },
                [&dataSource](const QVariant& value) {
                    dataSource.setFeedAuthentication(GraflinkDocumentFeedAuth::read(value.toMap()));
                },
                keys(settings)));
        },
        &m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
