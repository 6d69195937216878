#pragma once

#include <QModelIndex>
#include <QWidget>

class QTableView;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

/// The find bar under a table: finds text in the cells shown (any case), moves the table's current
/// cell to the next or previous match and says which match of how many it is. The rows stay as they
/// are (hiding rows is the filter's job).
class TableFindBar : public QWidget {
    Q_OBJECT
  public:
    /// Searching starts this long after the last key press.
    static constexpr int SearchDelay = 150;

    explicit TableFindBar(QTableView& view, QWidget* parent = nullptr);

    QLineEdit* field() const { return m_field; }
    QPushButton* previousButton() const { return m_previous; }
    QPushButton* nextButton() const { return m_next; }
    /// Focuses the field with its text selected (Ctrl+F).
    void activate();
    void findNext();
    void findPrevious();
    /// "3 of 12", "No match" or empty.
    QString countText() const;

  private:
    void find(int step);
    void settleTyping();
    QList<QModelIndex> matches() const;

    QTableView& m_view;
    QLineEdit* m_field;
    QPushButton* m_previous;
    QPushButton* m_next;
    QLabel* m_count;
    QTimer* m_typing;
};
