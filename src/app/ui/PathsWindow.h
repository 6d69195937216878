#pragma once

#include <QWidget>

class GraflinkDocument;
class QLabel;
class QListView;
class QSortFilterProxyModel;
class QStringListModel;

/// The paths of the document's feed (its inventory), with a filter box. Enter, a double-click or
/// New Variable makes exactly one variable of the selected path.
class PathsWindow : public QWidget {
    Q_OBJECT
  public:
    explicit PathsWindow(GraflinkDocument& document, QWidget* parent = nullptr);

    /// The selected path; empty when none is selected.
    QString selectedPath() const;
    QListView* listView() const { return m_list; }
    void selectPath(const QString& path);

  Q_SIGNALS:
    /// The user asked for a variable of `path` (empty: no path selected).
    void newVariableRequested(const QString& path);

  private:
    void inventoryChanged();

    GraflinkDocument& m_document;
    QStringListModel* m_paths;
    QSortFilterProxyModel* m_filtered;
    QListView* m_list;
    QLabel* m_count;
};
