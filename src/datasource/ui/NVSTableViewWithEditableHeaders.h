#pragma once

#include <QTableView>
#include <functional>

class NVSTableHeaderFieldEditor;
class NVSTableHeaderView;

/// A table whose column titles are edited in place in the header (double-click, F2, or
/// `editHeaderOfColumnAtIndex`), one edit at a time; whose selection is shown emphasised while
/// its owner says so (two tables showing the same rows highlight together); and whose mouse
/// presses its owner may swallow (`setHitTestVeto`).
class NVSTableViewWithEditableHeaders : public QTableView {
    Q_OBJECT
  public:
    /// Gets a press position; its x is in the viewport's coordinates (a press on the header
    /// gives y = 0). True keeps the press from the table.
    using HitTestVeto = std::function<bool(const QPoint& position)>;

    explicit NVSTableViewWithEditableHeaders(QWidget* parent = nullptr);
    ~NVSTableViewWithEditableHeaders() override;

    NVSTableHeaderView* headerView() const { return m_header; }
    NVSTableHeaderFieldEditor* fieldEditor() const { return m_fieldEditor; }
    bool shouldEmphasizeRows() const { return m_shouldEmphasizeRows; }
    /// Shows the selection in the active colours even while another widget has the focus.
    void setShouldEmphasizeRows(bool emphasize);
    /// Opens the title editor over a column whose header the model lets edit (its header has
    /// an edit-role value), ending any edit in progress first.
    void editHeaderOfColumnAtIndex(int logicalIndex);
    void setHitTestVeto(HitTestVeto veto);
    /// Room kept free under the rows, so that a neighbour with a horizontal scroll bar and this
    /// table end their rows at the same height.
    void setBottomMargin(int pixels);

  Q_SIGNALS:
    void didBecomeFirstResponder();
    void didResignFirstResponder();

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void commitTitle(int section, const QString& title);

    NVSTableHeaderView* m_header;
    NVSTableHeaderFieldEditor* m_fieldEditor;
    HitTestVeto m_veto;
    bool m_shouldEmphasizeRows = false;
};
