#include "app/ui/CGSettingsPopover.h"

#include "app/GraflinkDocument.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

CGSettingsPopover::CGSettingsPopover(GraflinkDocument& document, QWidget* parent)
    : QFrame(parent, Qt::Popup), m_document(document), m_address(new QLineEdit(this)),
      m_port(new QSpinBox(this)), m_type(new QComboBox(this)), m_password(new QLineEdit(this)) {
    setObjectName(QStringLiteral("CGSettingsPopover"));
    setAccessibleName(tr("CG server settings"));
    setFrameShape(QFrame::StyledPanel);
    m_port->setRange(1, 65535);
    m_type->addItem(tr("Generation 1"), 1);
    m_type->addItem(tr("Generation 2"), 2);
    m_password->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout(this);
    const auto row = [&](const QString& label, QWidget* field) {
        form->addRow(label, field);
        field->setAccessibleName(QString(label).remove(QLatin1Char('&')));
    };
    row(tr("&Address"), m_address);
    row(tr("P&ort"), m_port);
    row(tr("API &type"), m_type);
    row(tr("Pass&word"), m_password);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* connectButton = buttons->addButton(tr("&Connect"), QDialogButtonBox::AcceptRole);
    connectButton->setDefault(true);
    connectButton->setAccessibleName(tr("Connect"));
    buttons->addButton(QDialogButtonBox::Cancel)->setAccessibleName(tr("Cancel"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CGSettingsPopover::connectPushed);
    connect(buttons, &QDialogButtonBox::rejected, this, &CGSettingsPopover::cancelPushed);
    connect(m_address, &QLineEdit::returnPressed, this, &CGSettingsPopover::connectPushed);
    connect(m_password, &QLineEdit::returnPressed, this, &CGSettingsPopover::connectPushed);
}

void CGSettingsPopover::showBelow(QWidget* anchor) {
    m_address->setText(m_document.CGServerIPAddress());
    m_port->setValue(int(m_document.CGServerPortNumber()));
    m_type->setCurrentIndex(std::max(0, m_type->findData(m_document.CGServerType())));
    m_password->setText(m_document.CGServerPassword());
    adjustSize();
    if (anchor)
        move(anchor->mapToGlobal(QPoint(0, anchor->height())));
    show();
    m_address->setFocus();
    m_address->selectAll();
}

void CGSettingsPopover::connectPushed() {
    m_document.setCGServerIPAddress(m_address->text().trimmed());
    m_document.setCGServerPortNumber(quint64(m_port->value()));
    m_document.setCGServerType(m_type->currentData().toInt());
    m_document.setCGServerPassword(m_password->text());
    m_document.applyCGServerSettings();
    close();
}

void CGSettingsPopover::cancelPushed() {
    close();
}
