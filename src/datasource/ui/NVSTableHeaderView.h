#pragma once

#include <QHeaderView>
#include <functional>

/// A horizontal header that hands its contextual menu to its owner (`menuRequested`, also from
/// the keyboard) and lets its owner swallow a mouse press (`setHitTestVeto`).
class NVSTableHeaderView : public QHeaderView {
    Q_OBJECT
  public:
    /// Gets a press position in the header's coordinates; true keeps the press from the header.
    using HitTestVeto = std::function<bool(const QPoint& position)>;

    explicit NVSTableHeaderView(QWidget* parent = nullptr);
    void setHitTestVeto(HitTestVeto veto) { m_veto = std::move(veto); }

  Q_SIGNALS:
    /// `position` in the header's coordinates; `section` is the logical index there, or -1.
    void menuRequested(const QPoint& position, int section);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    HitTestVeto m_veto;
};
