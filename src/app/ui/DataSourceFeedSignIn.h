#pragma once

#include <QObject>

class NVSCGDataSourceWindowController;
class QAction;

/// Feed Sign-in… in a data source's window: the same dialog as a Graflink document's, for the
/// data source's feed; the settings change is one step on the window's undo stack.
class DataSourceFeedSignIn : public QObject {
    Q_OBJECT
  public:
    /// Adds the command to the window's File menu; lives as long as the window.
    explicit DataSourceFeedSignIn(NVSCGDataSourceWindowController& window);

    QAction* action() const { return m_action; }
    void edit();

  private:
    NVSCGDataSourceWindowController& m_window;
    QAction* m_action;
};
