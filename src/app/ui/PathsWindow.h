#pragma once

#include <QWidget>

class FeedProbe;
class GraflinkDocument;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTimer;
class QTreeView;

/// The path workbench: the document's feed (its inventory) as a tree of elements, a repeated
/// element folded into one node, with the value each leaf gives, a filter box, and a test field that
/// evaluates any XPath or key path against the fetched feed as a refresh would, showing the value, the number
/// of matches, or why nothing matched. Enter, a double-click or New Variable makes exactly one variable of
/// the selected path (or of the tested one, from the test field).
class PathsWindow : public QWidget {
    Q_OBJECT
  public:
    /// Column 0: an element's path; column 1: its value (what the filter compares).
    static constexpr int PathRole = Qt::UserRole + 1;

    /// Values come from `probe` (not owned) once it has fetched the feed.
    PathsWindow(GraflinkDocument& document, FeedProbe& probe, QWidget* parent = nullptr);

    /// The selected path; empty when none is selected.
    QString selectedPath() const;
    QTreeView* pathsView() const { return m_view; }
    QLineEdit* testField() const { return m_test; }
    QLabel* testResult() const { return m_result; }
    void selectPath(const QString& path);

  Q_SIGNALS:
    /// The user asked for a variable of `path` (empty: no path selected).
    /// `valueType` is the type the path's value looks like (a GraflinkVariable::ValueType), or -1
    /// when there is no value to tell.
    void newVariableRequested(const QString& path, int valueType);

  private:
    void rebuild();
    void runTest();
    void requestVariable(const QString& path);
    /// "N paths", or "M of N paths" while the filter hides some.
    void updateCount();
    /// The variable type a value looks like: number, HTML or text.
    static int valueTypeOf(const QString& value);
    static QString typeName(int valueType);

    GraflinkDocument& m_document;
    FeedProbe& m_probe;
    QStandardItemModel* m_paths;
    QSortFilterProxyModel* m_filtered;
    QTreeView* m_view;
    QLineEdit* m_test;
    QLabel* m_result;
    QLabel* m_count;
    QTimer* m_testDelay;
};
