#pragma once

#include <QLineEdit>

/// The line edit that edits a column title in place over its header section. One per table:
/// starting a new edit first commits the one in progress (`switchEditingTarget`). Return, Tab
/// or leaving it commits; Escape cancels.
class NVSTableHeaderFieldEditor : public QLineEdit {
    Q_OBJECT
  public:
    explicit NVSTableHeaderFieldEditor(QWidget* parent = nullptr);

    /// The section being edited, or -1.
    int section() const { return m_section; }
    void begin(int section, const QString& title, const QRect& geometry);
    /// Ends the edit in progress, keeping its text; nothing when none is.
    void switchEditingTarget();
    void cancel();

  Q_SIGNALS:
    void committed(int section, const QString& title);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    int m_section = -1;
};
