#include "app/ui/DataSourceFeedSignIn.h"

#include "app/ui/FeedAuthenticationDialog.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/ui/NVSCGDataSourceWindowController.h"
#include "platform/SecretStore.h"

#include <QAction>
#include <QMenu>
#include <QUndoStack>

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
            if (settings != dataSource.feedAuthentication())
                m_window.undoStack()->push(FeedAuthenticationDialog::changeStep(
                    [&dataSource] { return dataSource.feedAuthentication(); },
                    [&dataSource](const platform::FeedAuthentication& value) {
                        dataSource.setFeedAuthentication(value);
                    },
                    settings));
        },
        &m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
