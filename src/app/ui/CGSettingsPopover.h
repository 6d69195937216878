#pragma once

#include <QFrame>

class GraflinkDocument;
class QComboBox;
class QLineEdit;
class QSpinBox;

/// The CG server settings of a document in a popup under the button that opened it: Address,
/// Port, API type and Password. Connect (Enter) stores them in the document and connects; Cancel,
/// Esc or a click outside closes it and leaves the connection alone.
class CGSettingsPopover : public QFrame {
    Q_OBJECT
  public:
    explicit CGSettingsPopover(GraflinkDocument& document, QWidget* parent = nullptr);

    /// Fills the fields from the document and shows the popup below `anchor`.
    void showBelow(QWidget* anchor);
    void connectPushed();
    void cancelPushed();

    QLineEdit* addressField() const { return m_address; }
    QSpinBox* portField() const { return m_port; }
    QComboBox* typeField() const { return m_type; }
    QLineEdit* passwordField() const { return m_password; }

  private:
    GraflinkDocument& m_document;
    QLineEdit* m_address;
    QSpinBox* m_port;
    QComboBox* m_type;
    QLineEdit* m_password;
};
